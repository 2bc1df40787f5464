#include "db/DriverConnectionString.h"
#include "db/ErrorNumbers.h"
#include "db/OdbcErrors.h"
#include "db/OdbcHandle.h"
#include "db/ServerTrust.h"
#include "db/SqlServerDriver.h"
#include "support/Failure.h"

#include <QTest>

using quorvane::Failure;
using namespace quorvane::db;

Q_DECLARE_METATYPE(quorvane::db::SqlServerDriver)
using Records = QList<DiagnosticRecord>;
Q_DECLARE_METATYPE(Records)
Q_DECLARE_METATYPE(OdbcOperation)

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

// A diagnostic record as FreeTDS words it.
DiagnosticRecord tds(const char* state, std::int32_t native, const QString& text)
{
    return { QString::fromLatin1(state), native, QStringLiteral("[FreeTDS][SQL Server]") + text };
}

const QString kLoginFailed = QStringLiteral("Login failed for user 'sa'.");
const QString kCannotOpen = QStringLiteral("Cannot open database \"NAV\" requested by the login. The login failed.");
const QString kReferenced = QStringLiteral(
    "The constraint 'PK_Item' is being referenced by table 'Sales Line', foreign key constraint 'FK_Item'.");
const QString kCouldNotDrop = QStringLiteral("Could not drop constraint. See previous errors.");
const QString kHasKey = QStringLiteral("Table 'Item' already has a primary key defined on it.");
const QString kCouldNotCreate = QStringLiteral("Could not create constraint or index. See previous errors.");
const QString kUnreachable = QStringLiteral("Unable to connect: Adaptive Server is unavailable or does not exist");
const DiagnosticRecord kNoDataSource = tds("08001", 0, QStringLiteral("Unable to connect to data source"));

} // namespace

// Between the program and ODBC: the SQL Server driver picked from those installed, the ODBC
// connection string each driver receives for an OLE DB style one, under its own keywords (MSDASQL
// passes the keywords on as written), and the failures made of the driver's diagnostic records.
class TestOdbcTranslation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What each driver receives, or, with no ODBC string, the refusal and what it names. Refusals
    // never name anything that may be part of the password: a password holding ";" that the user
    // did not quote splits into pieces that look like further keywords. Zq8, Xv7, Yw6 and
    // Frobnicate stand in the strings only as parts of a password.
    void translates_data()
    {
        QTest::addColumn<SqlServerDriver>("driver");
        QTest::addColumn<QString>("oleDb");
        QTest::addColumn<QString>("odbc"); // empty: refused
        QTest::addColumn<QString>("rest"); // as restOf() writes it; refused: a part of the reason
        const auto row
            = [](const char* name, SqlServerDriver driver, const QString& oleDb, const QString& odbc,
                 const char* rest = "15s") { QTest::newRow(name) << driver << oleDb << odbc << QString(rest); };
        const auto refused = [&row](const char* name, const char* oleDb, const char* named,
                                    SqlServerDriver driver = kFreeTds) { row(name, driver, oleDb, QString(), named); };

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
            freeTds("Server=NAVSRV;Port=1433", "Database=NAV;UID=sa;PWD=pw;"));
        row("no provider means SQL Server; ODBC-style aliases", kFreeTds, "Server=NAVSRV;Database=NAV;UID=sa;PWD=pw",
            freeTds("Server=NAVSRV;Port=1433", "Database=NAV;UID=sa;PWD=pw;"));
        row("the last of a repeated keyword wins, aliases included", kFreeTds,
            "Data Source=old;Address=a;Addr=b;Network Address=new,1500;database=a;Initial Catalog=b",
            freeTds("Server=new;Port=1500", "Database=b;"));
        row("a port typed behind an instance wins over the template's", kFreeTds, "Data Source=NAVSRV\\NAV40,1433,1433",
            freeTds("Server=NAVSRV;Port=1433"));
        row("an instance on this computer, with blanks", kFreeTds, "Data Source= . \\ NAV ,1433",
            freeTds("Server=localhost"), "15s, lookup localhost\\NAV");
        row("quoted values with doubled quotes", kFreeTds,
            "Initial Catalog='Cronus; Ltd';User ID=\"o\"\"brien\";Password='it''s'",
            freeTds("Server=localhost;Port=1433", "Database={Cronus; Ltd};UID=o\"brien;PWD=it's;"));
        row("Connection Timeout of 0: no limit", kFreeTds, "Data Source=db1;Connection Timeout=0",
            freeTds("Server=db1;Port=1433"), "0s");
        row("application, workstation, packet size; Persist Security Info has no effect", kFreeTds,
            "Data Source=db1;Application Name=Quorvane;Workstation ID=PC7;Packet Size=8192;Persist Security "
            "Info=False",
            freeTds("Server=db1;Port=1433", "PacketSize=8192;APP=Quorvane;WSID=PC7;"));
        row("Integrated Security=False: user name and password", kFreeTds,
            "Data Source=db1;Integrated Security=False;User ID=sa;Password=pw",
            freeTds("Server=db1;Port=1433", "UID=sa;PWD=pw;"));
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
        // What a driver receives for "Data Source=db1" and more.
        const auto db1 = [](const char* driver, const QString& rest) {
            return QStringLiteral("Driver={%1};Server=tcp:db1,1433;%2").arg(QLatin1String(driver), rest);
        };
        const char* const v18 = "ODBC Driver 18 for SQL Server";
        const char* const nativeClient = "SQL Server Native Client 11.0";
        row("18: the login window's template", kDriver18, templateString,
            driver18 + "Server=tcp:NAVSRV,1433;" + tls + login);
        row("SQL Server: the login window's template", kClassic, templateString,
            classic + "Server=NAVSRV,1433;" + tcp + login);
        row("18: the driver asks the Browser service for the instance", kDriver18,
            "Data Source=NAVSRV\\NAV40,1433;Connect Timeout=5", driver18 + "Server=tcp:NAVSRV\\NAV40;" + tls, "5s");
        row("18: no Data Source", kDriver18, "Initial Catalog=NAV",
            driver18 + "Server=tcp:localhost,1433;" + tls + "Database=NAV;");
        row("SQL Server: (local)", kClassic, "Data Source= (LOCAL) ,1433", classic + "Server=(local),1433;" + tcp);
        row("SQL Server: an instance on this computer", kClassic, "Data Source=.\\NAV,1433",
            classic + "Server=(local)\\NAV;" + tcp);
        row("18: Use Encryption for Data", kDriver18, "Data Source=db1;Use Encryption for Data=yes",
            db1(v18, tlsRequired));
        row("18: encryption with any certificate", kDriver18,
            "Data Source=db1;Use Encryption for Data=yes;Trust Server Certificate=True",
            db1(v18, "Encrypt=yes;TrustServerCertificate=yes;"));
#ifndef Q_OS_WIN // a file every Linux machine has
        row("18: a pinned certificate", kDriver18, "Data Source=db1;Server Certificate=/dev/null",
            db1(v18, tlsRequired + "ServerCertificate=/dev/null;"));
#endif
        row("18: Use Encryption for Data=False", kDriver18, "Data Source=db1;Use Encryption for Data=False",
            db1(v18, tls));
        row("18: Integrated Security, user name and password left out", kDriver18, integrated,
            db1(v18, tls + "Trusted_Connection=Yes;Database=NAV;"), "15s, integrated");
        row("18: application, workstation; packet size as an attribute", kDriver18,
            "Data Source=db1;Application Name=Quorvane;Workstation ID=PC7;Packet Size=8192",
            db1(v18, tls + "APP=Quorvane;WSID=PC7;"), "15s, 8192 bytes");
        // Driver 17 quotes as Driver 18 does, "SQL Server" as Native Client does.
        row("18: password with ; and }: braces, } doubled", kDriver18, "Data Source=db1;User ID=sa;Password='p;w}d'",
            db1(v18, tls + "UID=sa;PWD={p;w}}d};"));
        row("17: a database name with = and {", kDriver17, "Data Source=db1;Initial Catalog='a=b{c'",
            db1("ODBC Driver 17 for SQL Server", tls + "Database={a=b{c};"));
        row("Native Client: } needs no braces", kNativeClient, "Data Source=db1;User ID=sa;Password='p}w'",
            db1(nativeClient, tls + "UID=sa;PWD=p}w;"));
        // Blanks at either end, a leading "{" and empty values, in each of the two ways of quoting.
        row("18: a password with blanks at either end, an empty user", kDriver18,
            "Data Source=db1;User ID='';Password='  pass  '", db1(v18, tls + "UID=;PWD={  pass  };"));
        row("Native Client: a password with blanks, a user with a leading {, an empty database", kNativeClient,
            "Data Source=db1;Initial Catalog='';User ID='{=\"''';Password='  pass  '",
            db1(nativeClient, tls + "Database=;UID={{=\"'};PWD={  pass  };"));

        refused("another provider", "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=nav.mdb", "Microsoft.Jet.OLEDB.4.0");
        refused("another network library", "Network Library=DBNMPNTW;Data Source=db1", "DBNMPNTW");
        refused("integrated security neither SSPI nor true nor false", "Integrated Security=Kerberos",
                "Integrated Security");
        refused("more ports than a typed one and the template's", "Server=db1,1,2,1433", "Server");
        refused("port out of range", "Server=db1,70000", "Server");
        refused("packet size too small", "Packet Size=64", "Packet Size");
        refused("encryption neither true nor false", "Use Encryption for Data=maybe", "Use Encryption for Data");
        refused("pair without equals sign", "Data Source=db1;Initial Catalog", "not well formed");
        refused("unterminated quote", "Initial Catalog='NAV", "not well formed");
        refused("a value the SQL Server driver cannot receive", "Initial Catalog='N};AV'", "Initial Catalog");
        refused("password piece like a provider", "Password=Zq8;Provider=Xv7", "");
        refused("password piece like a bad port", "PWD=Zq8;Data Source=Xv7,Yw6", "");
        refused("password piece without equals sign", "Password=Zq8;Xv7", "");
        refused("password the driver cannot receive", "Password='Zq8};Xv7'", "");
        refused("quote inside a quoted password not doubled", "Password='Zq8'Xv7'", "");
        refused("SQL Server: encryption it cannot give",
                "Data Source=db1;User ID=sa;Password='Zq8';Use Encryption for Data=True", "Use Encryption for Data",
                kClassic);
        refused("SQL Server: encryption behind an unquoted password",
                "Data Source=db1;Password=Zq8;Use Encryption for Data=True", "after the password", kClassic);
        refused("Native Client: a password with } and ;", "Data Source=db1;Password='Zq8;}Xv7'", "password",
                kNativeClient);
        refused("Native Client: a database with } and ;", "Initial Catalog='N;}AV'", "Initial Catalog", kNativeClient);
        refused("18: password piece like an unknown keyword", "Data Source=db1;User ID=sa;Password=Zq8;Frobnicate=Xv7;",
                "after the password", kDriver18);
        refused("18: password piece like a network library", "Password=Zq8;Network Library=Xv7", "after the password",
                kDriver18);
        refused("18: packet size too large", "Packet Size=40000", "Packet Size", kDriver18);
        refused("17: a pinned certificate", "Server Certificate=/dev/null", "Server Certificate", kDriver17);
        refused("a certificate pinned and any trusted", "Server Certificate=/dev/null;Trust Server Certificate=True",
                "Server Certificate");
        refused("a pinned certificate that cannot be read", "Server Certificate=/nonexistent", "Server Certificate");
    }

    void translates()
    {
        QFETCH(SqlServerDriver, driver);
        QFETCH(QString, oleDb);
        QFETCH(QString, odbc);
        QFETCH(QString, rest);
        try {
            const OdbcConnectRequest request = TranslateConnectionString(oleDb, driver);
            QCOMPARE(request.connectionString, odbc);
            QCOMPARE(restOf(request), rest);
        } catch (const Failure& failure) {
            const QString description = failure.description();
            QVERIFY2(odbc.isEmpty(), qPrintable(description));
            QCOMPARE(failure.number(), kErrorBadConnectionString);
            QVERIFY2(description.contains(rest, Qt::CaseInsensitive), qPrintable(description));
            for (const char* secret : { "Zq8", "Xv7", "Yw6", "Frobnicate", "};" })
                QVERIFY2(!description.contains(secret), qPrintable(description));
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

    void picksTheMostPreferred_data()
    {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("picked"); // empty: none, and the failure names every driver looked for

        QTest::newRow("Driver 17 before FreeTDS")
            << QStringList { "FreeTDS", "ODBC Driver 17 for SQL Server" } << "ODBC Driver 17 for SQL Server";
        QTest::newRow("Driver 18 first, whatever the list's order")
            << QStringList { "SQL Server", "FreeTDS", "SQL Server Native Client 11.0", "ODBC Driver 17 for SQL Server",
                             "ODBC Driver 18 for SQL Server" }
            << "ODBC Driver 18 for SQL Server";
        QTest::newRow("names compared without regard to case")
            << QStringList { "sql server native client 11.0", "SQL SERVER" } << "SQL Server Native Client 11.0";
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

    // The failure the program reports for the diagnostic records a driver hands over.
    void mapsDiagnostics_data()
    {
        QTest::addColumn<Records>("records");
        QTest::addColumn<OdbcOperation>("operation");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");

        const auto connect = OdbcOperation::Connect;
        const auto statement = OdbcOperation::Statement;

        QTest::newRow("server not reachable")
            << Records { tds("08001", 20009, kUnreachable), kNoDataSource } << connect << kErrorFail
            << kUnreachable + QStringLiteral("\nUnable to connect to data source");
        QTest::newRow("database cannot be opened, handed over after the login failure")
            << Records { tds("28000", 18456, kLoginFailed), tds("42000", 4060, kCannotOpen), kNoDataSource } << connect
            << kErrorFail << kCannotOpen + u'\n' + kLoginFailed;
        QTest::newRow("summary handed over before its cause")
            << Records { tds("42000", 3727, kCouldNotDrop), tds("42000", 3725, kReferenced) } << statement << 3725
            << kReferenced + u'\n' + kCouldNotDrop;
        QTest::newRow("informational messages are no errors")
            << Records { tds("42000", 1779, kHasKey), tds("42000", 1750, kCouldNotCreate),
                         tds("01000", 3621, "The statement has been terminated.") }
            << statement << 1779 << kHasKey + u'\n' + kCouldNotCreate;
        QTest::newRow("login time-out") << Records { tds("HYT00", 20003, "Adaptive Server connection timed out"),
                                                     kNoDataSource }
                                        << connect << kErrorFail << "Login timeout expired";
        QTest::newRow("driver manager") << Records {
            { "IM002", 0, "[unixODBC][Driver Manager]Data source name not found and no default driver specified" }
        } << connect << kErrorFail << "Data source name not found and no default driver specified";
        QTest::newRow("another driver's network error carries an operating-system number") << Records {
            { "08001", 10061, "[Microsoft][ODBC Driver 18 for SQL Server]TCP Provider: Error code 0x274D" }
        } << connect << kErrorFail << "TCP Provider: Error code 0x274D";
        QTest::newRow("another driver's server message") << Records {
            { "42S02", 208, "[Microsoft][ODBC Driver 18 for SQL Server][SQL Server]Invalid object name 'Item'." }
        } << statement << kErrorNoTable << "Invalid object name 'Item'.";
        QTest::newRow("failure without any record") << Records {} << statement << kErrorFail << "Unspecified error";
        // As FreeTDS 1.3.17 reports a connection the server closed while it answered a statement.
        QTest::newRow("connection closed by the server, handed over as a warning")
            << Records { tds("01000", 5701, "Changed database context to 'NAV'."),
                         tds("01000", 20017, "Unexpected EOF from the server") }
            << statement << kErrorFail << "Unexpected EOF from the server";
    }

    void mapsDiagnostics()
    {
        QFETCH(Records, records);
        QFETCH(OdbcOperation, operation);
        const quorvane::Failure failure = FailureFromDiagnostics(records, operation);
        QTEST(failure.description(), "description");
        QTEST(static_cast<int>(failure.number()), "number");
    }

    // A Microsoft driver that refused the server's certificate: told as such, with the two ways out.
    void certificateRefusedByTheDriver()
    {
        const auto refused = driverCertificateRefusal(
            quorvane::Failure(kErrorFail,
                              "SSL Provider: The certificate chain was issued by an authority that is not trusted.\n"
                              "Client unable to establish connection"));
        QVERIFY(refused);
        QCOMPARE(refused->number(), kErrorServerNotVerified);
        QCOMPARE(refused->description(),
                 "The server's certificate could not be verified (SSL Provider: The certificate chain was issued by "
                 "an authority that is not trusted. Client unable to establish connection). Add \"Server "
                 "Certificate=PATH\" with a copy of the server's certificate to accept exactly that one, or \"Trust "
                 "Server Certificate=True\" to accept any certificate.");
        QVERIFY(!driverCertificateRefusal(quorvane::Failure(kErrorFail, "TCP Provider: Error code 0x274D")));
    }
};

QTEST_GUILESS_MAIN(TestOdbcTranslation)
#include "tst_odbctranslation.moc"
