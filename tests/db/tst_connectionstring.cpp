#include "db/ConnectionString.h"
#include "db/ErrorNumbers.h"
#include "log/Failure.h"

#include <QTest>

using quorvane::Failure;
using namespace quorvane::db;

namespace {

// How a driver reads a value in braces: by the ODBC rule ("}}" stands for "}") or as FreeTDS 1.3
// does (up to the first "}" that a ";" follows, "}}" kept as two characters; measured).
enum class BraceRule { Odbc, FreeTds13 };

// Reads one value back out of an ODBC connection string the way the driver does.
QString odbcValue(const QString& odbc, const QString& keyword, BraceRule rule)
{
    QString found;
    qsizetype position = 0;
    while (position < odbc.size()) {
        const qsizetype equals = odbc.indexOf(QLatin1Char('='), position);
        if (equals < 0)
            break;
        const QString key = odbc.mid(position, equals - position);
        QString value;
        position = equals + 1;
        if (position < odbc.size() && odbc.at(position) == QLatin1Char('{')) {
            ++position;
            if (rule == BraceRule::FreeTds13) {
                const qsizetype close = odbc.indexOf(QLatin1String("};"), position);
                value = odbc.mid(position, close - position);
                position = close + 1;
            } else {
                for (;;) {
                    const qsizetype close = odbc.indexOf(QLatin1Char('}'), position);
                    value += odbc.mid(position, close - position);
                    position = close + 1;
                    if (position >= odbc.size() || odbc.at(position) != QLatin1Char('}'))
                        break;
                    value += QLatin1Char('}');
                    ++position;
                }
            }
        } else {
            const qsizetype end = odbc.indexOf(QLatin1Char(';'), position);
            value = odbc.mid(position, (end < 0 ? odbc.size() : end) - position);
            position = end < 0 ? odbc.size() : end;
        }
        ++position;
        if (key.compare(keyword, Qt::CaseInsensitive) == 0)
            found = value;
    }
    return found;
}

QString oleDbQuoted(QString value)
{
    value.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + value + QLatin1Char('"');
}

} // namespace

class TestConnectionString : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void translates_data()
    {
        QTest::addColumn<QString>("oleDb");
        QTest::addColumn<QString>("odbc");
        QTest::addColumn<int>("loginTimeout");

        const auto sqlServer = [](const QString& server, const QString& rest = QString()) {
            return QStringLiteral("Driver=FreeTDS;%1;TDS_Version=7.4;ClientCharset=UTF-8;Encryption=request;%2")
                .arg(server, rest);
        };

        QTest::newRow("the login window's template")
            << "Provider=sqloledb;Network Library=DBMSSOCN;Data Source=NAVSRV,1433;Initial Catalog=NAV;User ID=sa;"
               "Password=Secr3t!;"
            << sqlServer("Server=NAVSRV;Port=1433", "Database=NAV;UID=sa;PWD=Secr3t!;") << 15;
        QTest::newRow("keywords in any case, blanks around them")
            << "  PROVIDER = SQLOLEDB.1 ;  data source = NAVSRV ; INITIAL catalog= NAV ;user ID =sa ; password = pw "
            << sqlServer("Server=NAVSRV;Port=1433", "Database=NAV;UID=sa;PWD=pw;") << 15;
        QTest::newRow("no provider means SQL Server; ODBC-style aliases")
            << "Server=NAVSRV;Database=NAV;UID=sa;PWD=pw"
            << sqlServer("Server=NAVSRV;Port=1433", "Database=NAV;UID=sa;PWD=pw;") << 15;
        QTest::newRow("Address") << "Address=10.0.0.5,1500" << sqlServer("Server=10.0.0.5;Port=1500") << 15;
        QTest::newRow("Addr") << "Addr=db1" << sqlServer("Server=db1;Port=1433") << 15;
        QTest::newRow("Network Address") << "Network Address=db1" << sqlServer("Server=db1;Port=1433") << 15;
        QTest::newRow("named instance: the browser service finds the port")
            << "Data Source=NAVSRV\\NAV40" << sqlServer("Server=NAVSRV\\NAV40") << 15;
        QTest::newRow("a port wins over an instance")
            << "Data Source=NAVSRV\\NAV40,2433" << sqlServer("Server=NAVSRV;Port=2433") << 15;
        QTest::newRow("(local)") << "Data Source=(local),1433" << sqlServer("Server=localhost;Port=1433") << 15;
        QTest::newRow("the last of a repeated keyword wins, aliases included")
            << "Data Source=old;Server=new;database=a;Initial Catalog=b"
            << sqlServer("Server=new;Port=1433", "Database=b;") << 15;
        QTest::newRow("quoted values with doubled quotes")
            << "Initial Catalog='Cronus; Ltd';User ID=\"o\"\"brien\";Password='it''s'"
            << sqlServer("Server=localhost;Port=1433", "Database={Cronus; Ltd};UID=o\"brien;PWD=it's;") << 15;
        QTest::newRow("empty pairs") << ";;Data Source=db1;;" << sqlServer("Server=db1;Port=1433") << 15;
        QTest::newRow("Connect Timeout") << "Data Source=db1;Connect Timeout=5" << sqlServer("Server=db1;Port=1433")
                                         << 5;
        QTest::newRow("Connection Timeout of 0: no limit")
            << "Data Source=db1;Connection Timeout=0" << sqlServer("Server=db1;Port=1433") << 0;
        QTest::newRow("application, workstation, packet size")
            << "Data Source=db1;Application Name=Quorvane;Workstation ID=PC7;Packet Size=8192"
            << sqlServer("Server=db1;Port=1433", "PacketSize=8192;APP=Quorvane;WSID=PC7;") << 15;
        QTest::newRow("Use Encryption for Data")
            << "Data Source=db1;Use Encryption for Data=True"
            << "Driver=FreeTDS;Server=db1;Port=1433;TDS_Version=7.4;ClientCharset=UTF-8;Encryption=require;" << 15;
        QTest::newRow("Persist Security Info has no effect")
            << "Persist Security Info=False;Data Source=db1" << sqlServer("Server=db1;Port=1433") << 15;
        QTest::newRow("MSDASQL passes the keywords on as written")
            << "Provider=MSDASQL;Driver={ODBC Driver 18 for SQL Server};Server=tcp:db1,1433;UID=sa;PWD='p;w}';"
               "Encrypt=yes"
            << "Driver={ODBC Driver 18 for SQL Server};Server=tcp:db1,1433;UID=sa;PWD={p;w}}};Encrypt=yes;" << 15;
        QTest::newRow("MSDASQL keeps the time-out for itself")
            << "Provider=MSDASQL.1;DSN=nav;Connect Timeout=7;DSN=nav2"
            << "DSN=nav2;" << 7;
    }

    void translates()
    {
        QFETCH(QString, oleDb);
        QFETCH(QString, odbc);
        QFETCH(int, loginTimeout);

        const OdbcConnectRequest request = TranslateConnectionString(oleDb);
        QCOMPARE(request.connectionString, odbc);
        QCOMPARE(request.loginTimeoutSeconds, loginTimeout);
    }

    void passwordReachesTheDriverIntact_data()
    {
        QTest::addColumn<QString>("password");

        QTest::newRow("semicolon") << "pa;ss";
        QTest::newRow("equals") << "pa=ss";
        QTest::newRow("single quote") << "pa'ss";
        QTest::newRow("double quote") << "pa\"ss";
        QTest::newRow("braces") << "{pass}";
        QTest::newRow("closing brace") << "pa}ss";
        QTest::newRow("semicolon and closing brace") << "pa;}ss}";
        QTest::newRow("blanks around") << "  pass  ";
        QTest::newRow("everything at once") << "}{;=\"' ;}}";
        QTest::newRow("beyond Latin-1") << "päß€日本";
        QTest::newRow("empty") << "";
    }

    void passwordReachesTheDriverIntact()
    {
        QFETCH(QString, password);

        // SQL Server goes to FreeTDS under the ODBC names; MSDASQL passes the keywords on as written
        // to a driver that follows the ODBC rule.
        const struct
        {
            QString provider, userKeyword, passwordKeyword;
            BraceRule rule;
        } providers[] = { { "sqloledb", "UID", "PWD", BraceRule::FreeTds13 },
                          { "MSDASQL", "User ID", "Password", BraceRule::Odbc } };
        for (const auto& [provider, userKeyword, passwordKeyword, rule] : providers) {
            const OdbcConnectRequest request
                = TranslateConnectionString(QStringLiteral("Provider=%1;Data Source=db1;Password=%2;User ID=sa")
                                                .arg(provider, oleDbQuoted(password)));
            // A braced value at the very end would keep its closing brace with FreeTDS 1.3.
            QVERIFY(request.connectionString.endsWith(QLatin1Char(';')));
            QCOMPARE(odbcValue(request.connectionString, passwordKeyword, rule), password);
            QCOMPARE(odbcValue(request.connectionString, userKeyword, rule), QStringLiteral("sa"));
        }
    }

    void refuses_data()
    {
        QTest::addColumn<QString>("oleDb");
        QTest::addColumn<QString>("named");

        QTest::newRow("another provider") << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=nav.mdb"
                                          << "Microsoft.Jet.OLEDB.4.0";
        QTest::newRow("another network library") << "Network Library=DBNMPNTW;Data Source=db1"
                                                 << "DBNMPNTW";
        QTest::newRow("unknown keyword") << "Data Source=db1;Trusted_Connection=yes"
                                         << "Trusted_Connection";
        QTest::newRow("port that is no number") << "Data Source=db1,14x3"
                                                << "Data Source";
        QTest::newRow("port out of range") << "Server=db1,70000"
                                           << "Server";
        QTest::newRow("time-out that is no number") << "Connect Timeout=soon"
                                                    << "Connect Timeout";
        QTest::newRow("negative time-out") << "Connection Timeout=-1"
                                           << "Connection Timeout";
        QTest::newRow("packet size too small") << "Packet Size=64"
                                               << "Packet Size";
        QTest::newRow("encryption neither true nor false") << "Use Encryption for Data=maybe"
                                                           << "Use Encryption for Data";
        QTest::newRow("pair without equals sign") << "Data Source=db1;Initial Catalog"
                                                  << "not well formed";
        QTest::newRow("unterminated quote") << "Initial Catalog='NAV"
                                            << "not well formed";
        QTest::newRow("text after a closing quote") << "Initial Catalog='NAV'x"
                                                    << "not well formed";
        QTest::newRow("empty keyword") << "=value"
                                       << "not well formed";
        QTest::newRow("a value the SQL Server driver cannot receive") << "Initial Catalog='N};AV'"
                                                                      << "Initial Catalog";
    }

    void refuses()
    {
        QFETCH(QString, oleDb);
        QFETCH(QString, named);

        try {
            TranslateConnectionString(oleDb);
            QFAIL("the connection string was accepted");
        } catch (const Failure& failure) {
            QCOMPARE(failure.number(), kErrorFail);
            QVERIFY2(failure.description().contains(named), qPrintable(failure.description()));
        }
    }

    // A password holding ";" that the user did not quote splits into pieces that look like further
    // keywords; refusing them must not show any of it.
    void passwordNeverInDescription_data()
    {
        QTest::addColumn<QString>("oleDb");
        QTest::addColumn<QStringList>("secrets");

        QTest::newRow("looks like an unknown keyword")
            << "Data Source=db1;User ID=sa;Password=Zq8;Frobnicate=Xv7;" << QStringList { "Zq8", "Frobnicate", "Xv7" };
        QTest::newRow("looks like a provider") << "Password=Zq8;Provider=Xv7" << QStringList { "Zq8", "Xv7" };
        QTest::newRow("looks like a network library")
            << "Password=Zq8;Network Library=Xv7" << QStringList { "Zq8", "Xv7" };
        QTest::newRow("looks like a bad time-out") << "PWD=Zq8;Connect Timeout=Xv7" << QStringList { "Zq8", "Xv7" };
        QTest::newRow("looks like a bad port") << "PWD=Zq8;Data Source=Xv7,Yw6" << QStringList { "Zq8", "Xv7", "Yw6" };
        QTest::newRow("piece without equals sign") << "Password=Zq8;Xv7" << QStringList { "Zq8", "Xv7" };
        QTest::newRow("starts with a quote") << "Password='Zq8" << QStringList { "Zq8" };
        QTest::newRow("cannot be passed to the driver") << "Password='Zq8};Xv7'" << QStringList { "Zq8", "Xv7", "};" };
        QTest::newRow("quote inside quotes not doubled") << "Password='Zq8'Xv7'" << QStringList { "Zq8", "Xv7" };
    }

    void passwordNeverInDescription()
    {
        QFETCH(QString, oleDb);
        QFETCH(QStringList, secrets);

        try {
            TranslateConnectionString(oleDb);
            QFAIL("the connection string was accepted");
        } catch (const Failure& failure) {
            for (const QString& secret : secrets) {
                QVERIFY2(!failure.description().contains(secret), qPrintable(failure.description()));
                QVERIFY(!QString::fromUtf8(failure.what()).contains(secret));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestConnectionString)
#include "tst_connectionstring.moc"
