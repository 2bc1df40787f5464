#include "db/ErrorNumbers.h"
#include "db/OdbcHandle.h"
#include "db/SqlServerDriver.h"
#include "support/Failure.h"

#include <QTest>

using quorvane::Failure;
using namespace quorvane::db;

class TestOdbcDriverChoice : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void picksTheMostPreferred_data()
    {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("picked"); // empty: none, and the failure names every driver looked for

        QTest::newRow("Driver 17 before FreeTDS")
            << QStringList { "FreeTDS", "ODBC Driver 17 for SQL Server" } << "ODBC Driver 17 for SQL Server";
        QTest::newRow("only the driver every Windows has") << QStringList { "SQL Server" } << "SQL Server";
        QTest::newRow("Driver 18 first, whatever the list's order")
            << QStringList { "SQL Server", "FreeTDS", "SQL Server Native Client 11.0", "ODBC Driver 17 for SQL Server",
                             "ODBC Driver 18 for SQL Server" }
            << "ODBC Driver 18 for SQL Server";
        QTest::newRow("names compared without regard to case")
            << QStringList { "sql server native client 11.0", "SQL SERVER" } << "SQL Server Native Client 11.0";
        QTest::newRow("only FreeTDS") << QStringList { "PostgreSQL Unicode", "FreeTDS" } << "FreeTDS";
        QTest::newRow("none installed") << QStringList() << "";
        QTest::newRow("other drivers and other versions")
            << QStringList { "Microsoft Access Driver (*.mdb, *.accdb)", "SQL Server Native Client 10.0",
                             "ODBC Driver 13 for SQL Server", "SQL Server Native Client 11.0 (x86)" }
            << "";
    }

    void picksTheMostPreferred()
    {
        QFETCH(QStringList, installed);
        QFETCH(QString, picked);
        try {
            QCOMPARE(DriverName(PickSqlServerDriver(installed)), picked);
        } catch (const Failure& failure) {
            QVERIFY2(picked.isEmpty(), qPrintable(failure.description()));
            QCOMPARE(failure.number(), kErrorBadConnectionString);
            for (const char* name : { "ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server",
                                      "SQL Server Native Client 11.0", "SQL Server", "FreeTDS" })
                QVERIFY2(failure.description().contains(QLatin1Char('"') + QLatin1String(name) + QLatin1Char('"')),
                         qPrintable(failure.description()));
        }
    }

    // The driver manager of this machine has FreeTDS registered, as the end-to-end tests need;
    // Windows takes the most preferred installed driver, elsewhere connections go through FreeTDS.
    void platformDriver()
    {
        const QStringList installed = InstalledOdbcDrivers(NewOdbcEnvironment());
        QVERIFY2(installed.contains(QStringLiteral("FreeTDS"), Qt::CaseInsensitive), qPrintable(installed.join(", ")));
        QCOMPARE(PickSqlServerDriver(installed), SqlServerDriver::FreeTds);
#ifdef _WIN32
        QCOMPARE(PlatformSqlServerDriver(), PickSqlServerDriver(installed));
#else
        QCOMPARE(PlatformSqlServerDriver(), SqlServerDriver::FreeTds);
#endif
    }
};

QTEST_GUILESS_MAIN(TestOdbcDriverChoice)
#include "tst_odbcdriverchoice.moc"
