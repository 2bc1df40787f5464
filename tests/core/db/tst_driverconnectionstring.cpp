#include "db/DriverConnectionString.h"
#include "db/ErrorNumbers.h"
#include "support/Failure.h"

#include <QTest>

using quorvane::Failure;
using namespace quorvane::db;

Q_DECLARE_METATYPE(quorvane::db::SqlServerDriver)

namespace {

constexpr auto kFreeTds = SqlServerDriver::FreeTds;
constexpr auto kDriver18 = SqlServerDriver::OdbcDriver18;
constexpr auto kDriver17 = SqlServerDriver::OdbcDriver17;
constexpr auto kNativeClient = SqlServerDriver::NativeClient11;
constexpr auto kClassic = SqlServerDriver::SqlServer;

// What a request holds besides its connection string: the login time-out, then, when there are,
// the instance whose port the Browser service must give, the packet size set as an attribute and
// Windows authentication.
QString restOf(const OdbcConnectRequest& request)
{
    QStringList rest { QString::number(request.loginTimeoutSeconds) + QLatin1Char('s') };
    if (!request.instanceName.isEmpty())
        rest.append(QStringLiteral("lookup ") + request.browserHost + QLatin1Char('\\') + request.instanceName);
    if (request.packetSizeBytes != 0)
        rest.append(QString::number(request.packetSizeBytes) + QStringLiteral(" bytes"));
    if (request.integratedSecurity)
        rest.append(QStringLiteral("integrated"));
    return rest.join(QStringLiteral(", "));
}

} // namespace

// The ODBC connection string each SQL Server driver receives for an OLE DB style one, under its own
// keywords; MSDASQL passes the keywords on as written.
class TestDriverConnectionString : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void translates_data()
    {
        QTest::addColumn<SqlServerDriver>("driver");
        QTest::addColumn<QString>("oleDb");
        QTest::addColumn<QString>("odbc");
        QTest::addColumn<QString>("rest"); // as restOf() writes it
        const auto row = [](const char* name, SqlServerDriver driver, const QString& oleDb, const QString& odbc,
                            const char* rest) { QTest::newRow(name) << driver << oleDb << odbc << QString(rest); };

        const auto freeTds = [](const QString& server, const QString& rest = QString()) {
            return QStringLiteral("Driver=FreeTDS;%1;TDS_Version=7.4;ClientCharset=UTF-8;Encryption=request;%2")
                .arg(server, rest);
        };
        const QString templateString = QStringLiteral("Provider=sqloledb;Network Library=DBMSSOCN;Data Source=NAVSRV,"
                                                      "1433;Initial Catalog=NAV;User ID=sa;Password=Secr3t!;");
        const QString login = QStringLiteral("Database=NAV;UID=sa;PWD=Secr3t!;");
        const QString integrated = QStringLiteral(
            "Provider=sqloledb;Data Source=db1,1433;Initial Catalog=NAV;User ID=CORP\\anna;Password=pw;"
            "Integrated Security=SSPI;");

        // The login window's template, encryption for the data and the Connect Timeout reach FreeTDS
        // in the end-to-end tests.
        row("keywords in any case, blanks around them, empty pairs", kFreeTds,
            " ;; PROVIDER = SQLOLEDB.1 ;  data source = NAVSRV ; INITIAL catalog= NAV ;user ID =sa ; "
            "password = pw ",
            freeTds("Server=NAVSRV;Port=1433", "Database=NAV;UID=sa;PWD=pw;"), "15s");
        row("no provider means SQL Server; ODBC-style aliases", kFreeTds, "Server=NAVSRV;Database=NAV;UID=sa;PWD=pw",
            freeTds("Server=NAVSRV;Port=1433", "Database=NAV;UID=sa;PWD=pw;"), "15s");
        row("the last of a repeated keyword wins, aliases included", kFreeTds,
            "Data Source=old;Address=a;Addr=b;Network Address=new,1500;database=a;Initial Catalog=b",
            freeTds("Server=new;Port=1500", "Database=b;"), "15s");
        row("a port typed behind an instance wins over the template's", kFreeTds, "Data Source=NAVSRV\\NAV40,1433,1433",
            freeTds("Server=NAVSRV;Port=1433"), "15s");
        row("an instance on this computer", kFreeTds, "Data Source=.\\NAV,1433", freeTds("Server=localhost"),
            "15s, lookup localhost\\NAV");
        row("(local) with an instance and blanks", kFreeTds, "Data Source= (local) \\ NAV ",
            freeTds("Server=localhost"), "15s, lookup localhost\\NAV");
        row("quoted values with doubled quotes", kFreeTds,
            "Initial Catalog='Cronus; Ltd';User ID=\"o\"\"brien\";Password='it''s'",
            freeTds("Server=localhost;Port=1433", "Database={Cronus; Ltd};UID=o\"brien;PWD=it's;"), "15s");
        row("Connection Timeout of 0: no limit", kFreeTds, "Data Source=db1;Connection Timeout=0",
            freeTds("Server=db1;Port=1433"), "0s");
        row("application, workstation, packet size; Persist Security Info has no effect", kFreeTds,
            "Data Source=db1;Application Name=Quorvane;Workstation ID=PC7;Packet Size=8192;Persist Security "
            "Info=False",
            freeTds("Server=db1;Port=1433", "PacketSize=8192;APP=Quorvane;WSID=PC7;"), "15s");
        row("Integrated Security=False: user name and password", kFreeTds,
            "Data Source=db1;Integrated Security=False;User ID=sa;Password=pw",
            freeTds("Server=db1;Port=1433", "UID=sa;PWD=pw;"), "15s");
        row("MSDASQL passes the keywords on as written and keeps the time-out for itself", kFreeTds,
            "Provider=MSDASQL.1;Driver={ODBC Driver 18 for SQL Server};Server=tcp:db1,1433;UID=sa;PWD='p;w}';"
            "Connect Timeout=7;Encrypt=yes",
            "Driver={ODBC Driver 18 for SQL Server};Server=tcp:db1,1433;UID=sa;PWD={p;w}}};Encrypt=yes;", "7s");

        // The Microsoft drivers: TCP/IP always, and they find an instance's port themselves.
        const QString tls = QStringLiteral("Encrypt=no;TrustServerCertificate=yes;");
        const QString tlsRequired = QStringLiteral("Encrypt=yes;TrustServerCertificate=no;");
        const QString driver18 = QStringLiteral("Driver={ODBC Driver 18 for SQL Server};");
        const QString classic = QStringLiteral("Driver={SQL Server};");
        const QString tcp = QStringLiteral("Network=DBMSSOCN;");
        row("18: the login window's template", kDriver18, templateString,
            driver18 + "Server=tcp:NAVSRV,1433;" + tls + login, "15s");
        row("SQL Server: the login window's template", kClassic, templateString,
            classic + "Server=NAVSRV,1433;" + tcp + login, "15s");
        row("18: the driver asks the Browser service for the instance", kDriver18,
            "Data Source=NAVSRV\\NAV40,1433;Connect Timeout=5", driver18 + "Server=tcp:NAVSRV\\NAV40;" + tls, "5s");
        row("18: no Data Source", kDriver18, "Initial Catalog=NAV",
            driver18 + "Server=tcp:localhost,1433;" + tls + "Database=NAV;", "15s");
        row("SQL Server: (local)", kClassic, "Data Source= (LOCAL) ,1433", classic + "Server=(local),1433;" + tcp,
            "15s");
        row("SQL Server: an instance on this computer", kClassic, "Data Source=.\\NAV,1433",
            classic + "Server=(local)\\NAV;" + tcp, "15s");
        row("18: Use Encryption for Data", kDriver18, "Data Source=db1;Use Encryption for Data=yes",
            driver18 + "Server=tcp:db1,1433;" + tlsRequired, "15s");
        row("18: encryption with any certificate", kDriver18,
            "Data Source=db1;Use Encryption for Data=yes;Trust Server Certificate=True",
            driver18 + "Server=tcp:db1,1433;Encrypt=yes;TrustServerCertificate=yes;", "15s");
#ifndef Q_OS_WIN // a file every Linux machine has
        row("18: a pinned certificate", kDriver18, "Data Source=db1;Server Certificate=/dev/null",
            driver18 + "Server=tcp:db1,1433;" + tlsRequired + "ServerCertificate=/dev/null;", "15s");
#endif
        row("18: Use Encryption for Data=False", kDriver18, "Data Source=db1;Use Encryption for Data=False",
            driver18 + "Server=tcp:db1,1433;" + tls, "15s");
        row("18: Integrated Security, user name and password left out", kDriver18, integrated,
            driver18 + "Server=tcp:db1,1433;" + tls + "Trusted_Connection=Yes;Database=NAV;", "15s, integrated");
        row("18: application, workstation; packet size as an attribute", kDriver18,
            "Data Source=db1;Application Name=Quorvane;Workstation ID=PC7;Packet Size=8192",
            driver18 + "Server=tcp:db1,1433;" + tls + "APP=Quorvane;WSID=PC7;", "15s, 8192 bytes");
        // Driver 17 quotes as Driver 18 does, "SQL Server" as Native Client does.
        row("18: password with ; and }: braces, } doubled", kDriver18, "Data Source=db1;User ID=sa;Password='p;w}d'",
            driver18 + "Server=tcp:db1,1433;" + tls + "UID=sa;PWD={p;w}}d};", "15s");
        row("17: a database name with = and {", kDriver17, "Data Source=db1;Initial Catalog='a=b{c'",
            "Driver={ODBC Driver 17 for SQL Server};Server=tcp:db1,1433;" + tls + "Database={a=b{c};", "15s");
        row("Native Client: } needs no braces", kNativeClient, "Data Source=db1;User ID=sa;Password='p}w'",
            "Driver={SQL Server Native Client 11.0};Server=tcp:db1,1433;" + tls + "UID=sa;PWD=p}w;", "15s");
        // Blanks at either end, a leading "{" and empty values, in each of the two ways of quoting.
        row("18: a password with blanks at either end, an empty user", kDriver18,
            "Data Source=db1;User ID='';Password='  pass  '",
            driver18 + "Server=tcp:db1,1433;" + tls + "UID=;PWD={  pass  };", "15s");
        row("Native Client: a password with blanks, a user with a leading {, an empty database", kNativeClient,
            "Data Source=db1;Initial Catalog='';User ID='{=\"''';Password='  pass  '",
            "Driver={SQL Server Native Client 11.0};Server=tcp:db1,1433;" + tls
                + "Database=;UID={{=\"'};PWD={  pass  };",
            "15s");
    }

    void translates()
    {
        QFETCH(SqlServerDriver, driver);
        QFETCH(QString, oleDb);
        const OdbcConnectRequest request = TranslateConnectionString(oleDb, driver);
        QTEST(request.connectionString, "odbc");
        QTEST(restOf(request), "rest");
        QCOMPARE(request.driver, driver);
    }

    // Refusals name what is wrong, but never anything that may be part of the password: a password
    // holding ";" that the user did not quote splits into pieces that look like further keywords.
    // Zq8, Xv7, Yw6 and Frobnicate stand in the strings only as parts of a password.
    void refuses_data()
    {
        QTest::addColumn<SqlServerDriver>("driver");
        QTest::addColumn<QString>("oleDb");
        QTest::addColumn<QString>("named");
        const auto row = [](const char* name, SqlServerDriver driver, const char* oleDb, const char* named) {
            QTest::newRow(name) << driver << QString(oleDb) << QString(named);
        };
        row("another provider", kFreeTds, "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=nav.mdb",
            "Microsoft.Jet.OLEDB.4.0");
        row("another network library", kFreeTds, "Network Library=DBNMPNTW;Data Source=db1", "DBNMPNTW");
        row("integrated security neither SSPI nor true nor false", kFreeTds, "Integrated Security=Kerberos",
            "Integrated Security");
        row("more ports than a typed one and the template's", kFreeTds, "Server=db1,1,2,1433", "Server");
        row("port out of range", kFreeTds, "Server=db1,70000", "Server");
        row("packet size too small", kFreeTds, "Packet Size=64", "Packet Size");
        row("encryption neither true nor false", kFreeTds, "Use Encryption for Data=maybe", "Use Encryption for Data");
        row("pair without equals sign", kFreeTds, "Data Source=db1;Initial Catalog", "not well formed");
        row("unterminated quote", kFreeTds, "Initial Catalog='NAV", "not well formed");
        row("a value the SQL Server driver cannot receive", kFreeTds, "Initial Catalog='N};AV'", "Initial Catalog");
        row("password piece like a provider", kFreeTds, "Password=Zq8;Provider=Xv7", "");
        row("password piece like a bad port", kFreeTds, "PWD=Zq8;Data Source=Xv7,Yw6", "");
        row("password piece without equals sign", kFreeTds, "Password=Zq8;Xv7", "");
        row("password the driver cannot receive", kFreeTds, "Password='Zq8};Xv7'", "");
        row("quote inside a quoted password not doubled", kFreeTds, "Password='Zq8'Xv7'", "");
        row("SQL Server: encryption it cannot give", kClassic,
            "Data Source=db1;User ID=sa;Password='Zq8';Use Encryption for Data=True", "Use Encryption for Data");
        row("SQL Server: encryption behind an unquoted password", kClassic,
            "Data Source=db1;Password=Zq8;Use Encryption for Data=True", "after the password");
        row("Native Client: a password with } and ;", kNativeClient, "Data Source=db1;Password='Zq8;}Xv7'", "password");
        row("Native Client: a database with } and ;", kNativeClient, "Initial Catalog='N;}AV'", "Initial Catalog");
        row("18: password piece like an unknown keyword", kDriver18,
            "Data Source=db1;User ID=sa;Password=Zq8;Frobnicate=Xv7;", "after the password");
        row("18: password piece like a network library", kDriver18, "Password=Zq8;Network Library=Xv7",
            "after the password");
        row("18: packet size too large", kDriver18, "Packet Size=40000", "Packet Size");
        row("17: a pinned certificate", kDriver17, "Server Certificate=/dev/null", "Server Certificate");
        row("a certificate pinned and any trusted", kFreeTds,
            "Server Certificate=/dev/null;Trust Server Certificate=True", "Server Certificate");
        row("a pinned certificate that cannot be read", kFreeTds, "Server Certificate=/nonexistent",
            "Server Certificate");
    }

    void refuses()
    {
        QFETCH(SqlServerDriver, driver);
        QFETCH(QString, oleDb);
        QFETCH(QString, named);
        try {
            TranslateConnectionString(oleDb, driver);
            QFAIL("the connection string was accepted");
        } catch (const Failure& failure) {
            QCOMPARE(failure.number(), kErrorBadConnectionString);
            QVERIFY2(failure.description().contains(named, Qt::CaseInsensitive), qPrintable(failure.description()));
            for (const char* secret : { "Zq8", "Xv7", "Yw6", "Frobnicate", "};" })
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
        QCOMPARE(TranslateConnectionString(QStringLiteral("Data Source=db1"), driver).driver, kDriver17);
        QCOMPARE(asked, 1);
    }

    // What the user is shown of a connection string while the program reads from it.
    void describesTarget_data()
    {
        QTest::addColumn<QString>("oleDb");
        QTest::addColumn<QString>("shown"); // server | database
        const auto row = [](const char* name, const char* oleDb, const char* shown) {
            QTest::newRow(name) << QString(oleDb) << QString(shown);
        };

        row("the login window's template",
            "Provider=sqloledb;Network Library=DBMSSOCN;Data Source=NAVSRV,"
            "1433;Initial Catalog=CRONUS;User ID=sa;Password=Zq8;",
            "NAVSRV,1433 | CRONUS");
        row("aliases, the last one wins, quoted values",
            "Server=old;Addr=NAVSRV\\NAV40;Database=a;Initial Catalog='Cronus; Ltd'", "NAVSRV\\NAV40 | Cronus; Ltd");
        row("neither named", "User ID=sa;Password=Zq8", " | ");
        row("behind an unquoted password: may be part of it", "Data Source=db1;Password=Zq8;Initial Catalog=Xv7",
            "db1 | ");
        row("behind a quoted password", "Password='Zq8;Xv7';Data Source=db1;Database=NAV", "db1 | NAV");
        row("not well formed", "Data Source=db1;Initial Catalog='NAV", " | ");
    }

    void describesTarget()
    {
        QFETCH(QString, oleDb);
        const ConnectionTarget target = DescribeConnectionTarget(oleDb);
        QTEST(target.server + QStringLiteral(" | ") + target.database, "shown");
    }
};

QTEST_GUILESS_MAIN(TestDriverConnectionString)
#include "tst_driverconnectionstring.moc"
