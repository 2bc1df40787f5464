#include "DriverReads.h"
#include "db/DriverConnectionString.h"
#include "db/ErrorNumbers.h"
#include "support/Failure.h"

#include <QTest>

using quorvane::Failure;
using namespace quorvane::db;

Q_DECLARE_METATYPE(quorvane::db::SqlServerDriver)

namespace {

constexpr auto kDriver18 = SqlServerDriver::OdbcDriver18;
constexpr auto kDriver17 = SqlServerDriver::OdbcDriver17;
constexpr auto kNativeClient = SqlServerDriver::NativeClient11;
constexpr auto kClassic = SqlServerDriver::SqlServer;

} // namespace

// The connection string each Microsoft driver receives for Provider=SQLOLEDB, under its own keywords.
class TestDriverConnectionStringDrivers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void translates_data()
    {
        QTest::addColumn<SqlServerDriver>("driver");
        QTest::addColumn<QString>("oleDb");
        QTest::addColumn<QString>("odbc");
        QTest::addColumn<int>("loginTimeout");
        QTest::addColumn<int>("packetSize");

        const QString tls = QStringLiteral("Encrypt=no;TrustServerCertificate=yes;");
        const QString tlsRequired = QStringLiteral("Encrypt=yes;TrustServerCertificate=yes;");
        const QString driver18 = QStringLiteral("Driver={ODBC Driver 18 for SQL Server};");
        const QString driver17 = QStringLiteral("Driver={ODBC Driver 17 for SQL Server};");
        const QString nativeClient = QStringLiteral("Driver={SQL Server Native Client 11.0};");
        const QString classic = QStringLiteral("Driver={SQL Server};");
        const QString tcp = QStringLiteral("Network=DBMSSOCN;");
        const QString templateString = QStringLiteral("Provider=sqloledb;Network Library=DBMSSOCN;Data Source=NAVSRV,"
                                                      "1433;Initial Catalog=NAV;User ID=sa;Password=Secr3t!;");
        const QString login = QStringLiteral("Database=NAV;UID=sa;PWD=Secr3t!;");

        QTest::newRow("18: the login window's template")
            << kDriver18 << templateString << driver18 + "Server=tcp:NAVSRV,1433;" + tls + login << 15 << 0;
        QTest::newRow("17: the login window's template")
            << kDriver17 << templateString << driver17 + "Server=tcp:NAVSRV,1433;" + tls + login << 15 << 0;
        QTest::newRow("Native Client: the login window's template")
            << kNativeClient << templateString << nativeClient + "Server=tcp:NAVSRV,1433;" + tls + login << 15 << 0;
        QTest::newRow("SQL Server: the login window's template")
            << kClassic << templateString << classic + "Server=NAVSRV,1433;" + tcp + login << 15 << 0;

        QTest::newRow("18: the driver asks the Browser service for the instance")
            << kDriver18 << "Data Source=NAVSRV\\NAV40,1433;Connect Timeout=5"
            << driver18 + "Server=tcp:NAVSRV\\NAV40;" + tls << 5 << 0;
        QTest::newRow("SQL Server: the driver asks the Browser service for the instance")
            << kClassic << "Data Source=NAVSRV\\NAV40" << classic + "Server=NAVSRV\\NAV40;" + tcp << 15 << 0;
        QTest::newRow("Native Client: a typed port wins over the instance")
            << kNativeClient << "Data Source=NAVSRV\\NAV40,2433,1433" << nativeClient + "Server=tcp:NAVSRV,2433;" + tls
            << 15 << 0;
        QTest::newRow("17: a port other than the template's")
            << kDriver17 << "Server=db1,2433" << driver17 + "Server=tcp:db1,2433;" + tls << 15 << 0;

        QTest::newRow("18: (local)") << kDriver18 << "Data Source=(local),1433"
                                     << driver18 + "Server=tcp:localhost,1433;" + tls << 15 << 0;
        QTest::newRow("18: no Data Source")
            << kDriver18 << "Initial Catalog=NAV" << driver18 + "Server=tcp:localhost,1433;" + tls + "Database=NAV;"
            << 15 << 0;
        QTest::newRow("Native Client: an instance on this computer")
            << kNativeClient << "Data Source=.\\NAV" << nativeClient + "Server=tcp:localhost\\NAV;" + tls << 15 << 0;
        QTest::newRow("SQL Server: (local)")
            << kClassic << "Data Source= (LOCAL) ,1433" << classic + "Server=(local),1433;" + tcp << 15 << 0;
        QTest::newRow("SQL Server: an instance on this computer")
            << kClassic << "Data Source=.\\NAV,1433" << classic + "Server=(local)\\NAV;" + tcp << 15 << 0;

        QTest::newRow("18: Use Encryption for Data") << kDriver18 << "Data Source=db1;Use Encryption for Data=True"
                                                     << driver18 + "Server=tcp:db1,1433;" + tlsRequired << 15 << 0;
        QTest::newRow("17: Use Encryption for Data") << kDriver17 << "Data Source=db1;Use Encryption for Data=yes"
                                                     << driver17 + "Server=tcp:db1,1433;" + tlsRequired << 15 << 0;
        QTest::newRow("Native Client: Use Encryption for Data")
            << kNativeClient << "Data Source=db1;Use Encryption for Data=True"
            << nativeClient + "Server=tcp:db1,1433;" + tlsRequired << 15 << 0;
        QTest::newRow("18: Use Encryption for Data=False")
            << kDriver18 << "Data Source=db1;Use Encryption for Data=False" << driver18 + "Server=tcp:db1,1433;" + tls
            << 15 << 0;
        QTest::newRow("SQL Server: Use Encryption for Data=False")
            << kClassic << "Data Source=db1;Use Encryption for Data=False" << classic + "Server=db1,1433;" + tcp << 15
            << 0;

        const QString integrated = QStringLiteral(
            "Provider=sqloledb;Data Source=db1,1433;Initial Catalog=NAV;User ID=CORP\\anna;Password=pw;"
            "Integrated Security=SSPI;");
        QTest::newRow("18: Integrated Security, user name and password left out")
            << kDriver18 << integrated
            << driver18 + "Server=tcp:db1,1433;" + tls + "Trusted_Connection=Yes;Database=NAV;" << 15 << 0;
        QTest::newRow("SQL Server: Integrated Security")
            << kClassic << integrated << classic + "Server=db1,1433;" + tcp + "Trusted_Connection=Yes;Database=NAV;"
            << 15 << 0;

        QTest::newRow("18: application, workstation; packet size as an attribute")
            << kDriver18 << "Data Source=db1;Application Name=Quorvane;Workstation ID=PC7;Packet Size=8192"
            << driver18 + "Server=tcp:db1,1433;" + tls + "APP=Quorvane;WSID=PC7;" << 15 << 8192;
        QTest::newRow("SQL Server: application, workstation; packet size as an attribute")
            << kClassic << "Data Source=db1;Application Name=Quorvane;Workstation ID=PC7;Packet Size=4096"
            << classic + "Server=db1,1433;" + tcp + "APP=Quorvane;WSID=PC7;" << 15 << 4096;

        QTest::newRow("18: password with ; and }: braces, } doubled")
            << kDriver18 << "Data Source=db1;User ID=sa;Password='p;w}d'"
            << driver18 + "Server=tcp:db1,1433;" + tls + "UID=sa;PWD={p;w}}d};" << 15 << 0;
        QTest::newRow("17: a database name with = and {")
            << kDriver17 << "Data Source=db1;Initial Catalog='a=b{c'"
            << driver17 + "Server=tcp:db1,1433;" + tls + "Database={a=b{c};" << 15 << 0;
        QTest::newRow("Native Client: } needs no braces")
            << kNativeClient << "Data Source=db1;User ID=sa;Password='p}w'"
            << nativeClient + "Server=tcp:db1,1433;" + tls + "UID=sa;PWD=p}w;" << 15 << 0;
        QTest::newRow("SQL Server: ; in braces") << kClassic << "Data Source=db1;User ID=sa;Password='p;w'"
                                                 << classic + "Server=db1,1433;" + tcp + "UID=sa;PWD={p;w};" << 15 << 0;
    }

    void translates()
    {
        QFETCH(SqlServerDriver, driver);
        QFETCH(QString, oleDb);
        const OdbcConnectRequest request = TranslateConnectionString(oleDb, driver);
        QTEST(request.connectionString, "odbc");
        QTEST(request.loginTimeoutSeconds, "loginTimeout");
        QTEST(request.packetSizeBytes, "packetSize");
        QCOMPARE(request.driver, driver);
        // The Microsoft drivers find an instance's port themselves.
        QVERIFY(request.browserHost.isEmpty());
        QVERIFY(request.instanceName.isEmpty());
        QCOMPARE(request.integratedSecurity, oleDb.contains(QLatin1String("Integrated Security=SSPI")));
    }

    void passwordReachesTheDriverIntact_data()
    {
        QTest::addColumn<SqlServerDriver>("driver");
        QTest::addColumn<QString>("password");

        for (const SqlServerDriver driver : { kDriver18, kDriver17 }) {
            const QByteArray name = DriverName(driver).toLatin1();
            QTest::addRow("%s: ; and } at once", name.constData()) << driver << "}{;=\"' ;}}";
            QTest::addRow("%s: } at the end", name.constData()) << driver << "pa;ss}";
        }
        for (const SqlServerDriver driver : { kDriver18, kDriver17, kNativeClient, kClassic }) {
            const QByteArray name = DriverName(driver).toLatin1();
            QTest::addRow("%s: blanks around", name.constData()) << driver << "  pass  ";
            QTest::addRow("%s: ; = { \" '", name.constData()) << driver << "{;=\"'";
            QTest::addRow("%s: } without braces", name.constData()) << driver << "pa}ss}";
            QTest::addRow("%s: beyond Latin-1", name.constData()) << driver << "päß€日本";
            QTest::addRow("%s: empty", name.constData()) << driver << "";
        }
    }

    void passwordReachesTheDriverIntact()
    {
        QFETCH(SqlServerDriver, driver);
        QFETCH(QString, password);
        const QString quoted = QLatin1Char('"') + QString(password).replace(u'"', QLatin1String("\"\"")) + u'"';
        const QString odbc
            = TranslateConnectionString(QStringLiteral("Data Source=db1;Password=%1;User ID=sa").arg(quoted), driver)
                  .connectionString;
        QCOMPARE(driverReads(odbc, "PWD", false), password);
    }

    // Refusals name what is wrong, but never anything that may be part of the password.
    void refuses_data()
    {
        QTest::addColumn<SqlServerDriver>("driver");
        QTest::addColumn<QString>("oleDb");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QStringList>("hidden");

        QTest::newRow("SQL Server: encryption it cannot give")
            << kClassic << "Data Source=db1;User ID=sa;Password='Zq8';Use Encryption for Data=True"
            << "Use Encryption for Data" << QStringList { "Zq8" };
        QTest::newRow("SQL Server: encryption behind an unquoted password")
            << kClassic << "Data Source=db1;Password=Zq8;Use Encryption for Data=True"
            << "after the password" << QStringList { "Zq8" };
        QTest::newRow("Native Client: a password with } and ;")
            << kNativeClient << "Data Source=db1;Password='Zq8;}Xv7'"
            << "password" << QStringList { "Zq8", "Xv7" };
        QTest::newRow("SQL Server: a password with } and blanks") << kClassic << "Data Source=db1;Password=' Zq8}Xv7'"
                                                                  << "password" << QStringList { "Zq8", "Xv7" };
        QTest::newRow("Native Client: a database with } and ;") << kNativeClient << "Initial Catalog='N;}AV'"
                                                                << "Initial Catalog" << QStringList();
        for (const SqlServerDriver driver : { kDriver18, kDriver17, kNativeClient, kClassic }) {
            const QByteArray name = DriverName(driver).toLatin1();
            QTest::addRow("%s: password piece like an unknown keyword", name.constData())
                << driver << "Data Source=db1;User ID=sa;Password=Zq8;Frobnicate=Xv7;"
                << "after the password" << QStringList { "Zq8", "Frobnicate", "Xv7" };
            QTest::addRow("%s: another network library", name.constData())
                << driver << "Network Library=DBNMPNTW;Data Source=db1"
                << "DBNMPNTW" << QStringList();
            QTest::addRow("%s: packet size too large", name.constData()) << driver << "Packet Size=40000"
                                                                         << "Packet Size" << QStringList();
        }
    }

    void refuses()
    {
        QFETCH(SqlServerDriver, driver);
        QFETCH(QString, oleDb);
        QFETCH(QString, named);
        QFETCH(QStringList, hidden);
        try {
            TranslateConnectionString(oleDb, driver);
            QFAIL("the connection string was accepted");
        } catch (const Failure& failure) {
            QCOMPARE(failure.number(), kErrorBadConnectionString);
            QVERIFY2(failure.description().contains(named, Qt::CaseInsensitive), qPrintable(failure.description()));
            for (const QString& secret : hidden)
                QVERIFY2(!failure.description().contains(secret), qPrintable(failure.description()));
        }
    }

    // The driver is asked for only when the string names SQL Server: MSDASQL names its own.
    void asksForTheDriverOnlyForSqlServer()
    {
        int asked = 0;
        const auto driver = [&asked] {
            ++asked;
            return kDriver17;
        };
        const OdbcConnectRequest passedOn
            = TranslateConnectionString(QStringLiteral("Provider=MSDASQL;DSN=nav;UID=sa;PWD=pw"), driver);
        QCOMPARE(passedOn.connectionString, QStringLiteral("DSN=nav;UID=sa;PWD=pw;"));
        QCOMPARE(asked, 0);
        const OdbcConnectRequest sqlServer = TranslateConnectionString(QStringLiteral("Data Source=db1"), driver);
        QCOMPARE(asked, 1);
        QCOMPARE(sqlServer.driver, kDriver17);
    }
};

QTEST_GUILESS_MAIN(TestDriverConnectionStringDrivers)
#include "tst_driverconnectionstring_drivers.moc"
