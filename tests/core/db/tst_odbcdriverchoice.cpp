#include "db/ErrorNumbers.h"
#include "db/OdbcHandle.h"
#include "db/SqlServerDriver.h"
#include "support/Failure.h"

#include <QTest>

using quorvane::Failure;
using namespace quorvane::db;

Q_DECLARE_METATYPE(quorvane::db::SqlServerDriver)

class TestOdbcDriverChoice : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void registeredNames()
    {
        QCOMPARE(DriverName(SqlServerDriver::OdbcDriver18), QStringLiteral("ODBC Driver 18 for SQL Server"));
        QCOMPARE(DriverName(SqlServerDriver::OdbcDriver17), QStringLiteral("ODBC Driver 17 for SQL Server"));
        QCOMPARE(DriverName(SqlServerDriver::NativeClient11), QStringLiteral("SQL Server Native Client 11.0"));
        QCOMPARE(DriverName(SqlServerDriver::SqlServer), QStringLiteral("SQL Server"));
        QCOMPARE(DriverName(SqlServerDriver::FreeTds), QStringLiteral("FreeTDS"));
    }

    void picksTheMostPreferred_data()
    {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<SqlServerDriver>("picked");

        QTest::newRow("Driver 17 before FreeTDS")
            << QStringList { "FreeTDS", "ODBC Driver 17 for SQL Server" } << SqlServerDriver::OdbcDriver17;
        QTest::newRow("only the driver every Windows has")
            << QStringList { "SQL Server" } << SqlServerDriver::SqlServer;
        QTest::newRow("Driver 18 first, whatever the list's order")
            << QStringList { "SQL Server", "FreeTDS", "SQL Server Native Client 11.0", "ODBC Driver 17 for SQL Server",
                             "ODBC Driver 18 for SQL Server" }
            << SqlServerDriver::OdbcDriver18;
        QTest::newRow("names compared without regard to case")
            << QStringList { "sql server native client 11.0", "SQL SERVER" } << SqlServerDriver::NativeClient11;
        QTest::newRow("only FreeTDS") << QStringList { "PostgreSQL Unicode", "FreeTDS" } << SqlServerDriver::FreeTds;
    }

    void picksTheMostPreferred()
    {
        QFETCH(QStringList, installed);
        QTEST(PickSqlServerDriver(installed), "picked");
    }

    void refusesWithoutADriver_data()
    {
        QTest::addColumn<QStringList>("installed");

        QTest::newRow("none installed") << QStringList();
        QTest::newRow("other drivers and other versions")
            << QStringList { "Microsoft Access Driver (*.mdb, *.accdb)", "SQL Server Native Client 10.0",
                             "ODBC Driver 13 for SQL Server", "SQL Server Native Client 11.0 (x86)" };
    }

    // The failure names every driver looked for, so that the user knows what to install.
    void refusesWithoutADriver()
    {
        QFETCH(QStringList, installed);
        try {
            PickSqlServerDriver(installed);
            QFAIL("a driver was picked");
        } catch (const Failure& failure) {
            QCOMPARE(failure.number(), kErrorBadConnectionString);
            for (const SqlServerDriver driver : kSqlServerDrivers)
                QVERIFY2(failure.description().contains(QLatin1Char('"') + DriverName(driver) + QLatin1Char('"')),
                         qPrintable(failure.description()));
        }
    }

    // The driver manager of this machine has FreeTDS registered, as the end-to-end tests need.
    void readsTheRegisteredDrivers()
    {
        const QStringList installed = InstalledOdbcDrivers(NewOdbcEnvironment());
        QVERIFY2(installed.contains(QStringLiteral("FreeTDS"), Qt::CaseInsensitive), qPrintable(installed.join(", ")));
        QCOMPARE(PickSqlServerDriver(installed), SqlServerDriver::FreeTds);
    }

    // Windows takes the most preferred installed driver; elsewhere connections go through FreeTDS.
    void platformDriver()
    {
#ifdef _WIN32
        QCOMPARE(PlatformSqlServerDriver(), PickSqlServerDriver(InstalledOdbcDrivers(NewOdbcEnvironment())));
#else
        QCOMPARE(PlatformSqlServerDriver(), SqlServerDriver::FreeTds);
#endif
    }
};

QTEST_GUILESS_MAIN(TestOdbcDriverChoice)
#include "tst_odbcdriverchoice.moc"
