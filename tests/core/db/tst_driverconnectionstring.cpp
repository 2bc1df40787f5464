#include "DriverReads.h"
#include "db/DriverConnectionString.h"
#include "db/ErrorNumbers.h"
#include "support/Failure.h"

#include <QTest>

using quorvane::Failure;
using namespace quorvane::db;

class TestDriverConnectionString : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void translates_data()
    {
        QTest::addColumn<QString>("oleDb");
        QTest::addColumn<QString>("odbc");
        QTest::addColumn<int>("loginTimeout");
        // "host\\instance" when the instance's port must first be asked from host's Browser service.
        QTest::addColumn<QString>("lookup");

        const auto sqlServer = [](const QString& server, const QString& rest = QString()) {
            return QStringLiteral("Driver=FreeTDS;%1;TDS_Version=7.4;ClientCharset=UTF-8;Encryption=request;%2")
                .arg(server, rest);
        };

        QTest::newRow("the login window's template")
            << "Provider=sqloledb;Network Library=DBMSSOCN;Data Source=NAVSRV,1433;Initial Catalog=NAV;User ID=sa;"
               "Password=Secr3t!;"
            << sqlServer("Server=NAVSRV;Port=1433", "Database=NAV;UID=sa;PWD=Secr3t!;") << 15 << QString();
        QTest::newRow("keywords in any case, blanks around them, empty pairs")
            << " ;; PROVIDER = SQLOLEDB.1 ;  data source = NAVSRV ; INITIAL catalog= NAV ;user ID =sa ; password = pw "
            << sqlServer("Server=NAVSRV;Port=1433", "Database=NAV;UID=sa;PWD=pw;") << 15 << QString();
        QTest::newRow("no provider means SQL Server; ODBC-style aliases")
            << "Server=NAVSRV;Database=NAV;UID=sa;PWD=pw"
            << sqlServer("Server=NAVSRV;Port=1433", "Database=NAV;UID=sa;PWD=pw;") << 15 << QString();
        QTest::newRow("the last of a repeated keyword wins, aliases included")
            << "Data Source=old;Address=a;Addr=b;Network Address=new,1500;database=a;Initial Catalog=b"
            << sqlServer("Server=new;Port=1500", "Database=b;") << 15 << QString();
        QTest::newRow("named instance: the browser service finds the port")
            << "Data Source=NAVSRV\\NAV40" << sqlServer("Server=NAVSRV") << 15 << "NAVSRV\\NAV40";
        QTest::newRow("the template's port behind an instance: the browser service finds the port")
            << "Provider=sqloledb;Network Library=DBMSSOCN;Data Source=NAVSRV\\NAV40,1433;Initial Catalog=NAV;"
            << sqlServer("Server=NAVSRV", "Database=NAV;") << 15 << "NAVSRV\\NAV40";
        QTest::newRow("a port other than the template's wins over an instance")
            << "Data Source=NAVSRV\\NAV40,2433" << sqlServer("Server=NAVSRV;Port=2433") << 15 << QString();
        QTest::newRow("a port typed behind an instance wins over the template's")
            << "Data Source=NAVSRV\\NAV40,1433,1433" << sqlServer("Server=NAVSRV;Port=1433") << 15 << QString();
        QTest::newRow("a port typed behind the server wins over the template's")
            << "Data Source=NAVSRV,2433,1433" << sqlServer("Server=NAVSRV;Port=2433") << 15 << QString();
        QTest::newRow("an instance on this computer")
            << "Data Source=.\\NAV,1433" << sqlServer("Server=localhost") << 15 << "localhost\\NAV";
        QTest::newRow("(local) with an instance and blanks")
            << "Data Source= (local) \\ NAV " << sqlServer("Server=localhost") << 15 << "localhost\\NAV";
        QTest::newRow("(local)") << "Data Source=(local),1433" << sqlServer("Server=localhost;Port=1433") << 15
                                 << QString();
        QTest::newRow("quoted values with doubled quotes")
            << "Initial Catalog='Cronus; Ltd';User ID=\"o\"\"brien\";Password='it''s'"
            << sqlServer("Server=localhost;Port=1433", "Database={Cronus; Ltd};UID=o\"brien;PWD=it's;") << 15
            << QString();
        QTest::newRow("Connection Timeout of 0: no limit")
            << "Data Source=db1;Connection Timeout=0" << sqlServer("Server=db1;Port=1433") << 0 << QString();
        QTest::newRow("application, workstation, packet size; Persist Security Info has no effect")
            << "Data Source=db1;Application Name=Quorvane;Workstation ID=PC7;Packet Size=8192;Persist Security "
               "Info=False"
            << sqlServer("Server=db1;Port=1433", "PacketSize=8192;APP=Quorvane;WSID=PC7;") << 15 << QString();
        QTest::newRow("Use Encryption for Data, Connect Timeout")
            << "Data Source=db1;Use Encryption for Data=True;Connect Timeout=5"
            << "Driver=FreeTDS;Server=db1;Port=1433;TDS_Version=7.4;ClientCharset=UTF-8;Encryption=require;" << 5
            << QString();
        QTest::newRow("Integrated Security: the driver's trusted connection, user name and password left out")
            << "Provider=sqloledb;Data Source=db1,1433;Initial Catalog=NAV;User ID=CORP\\anna;Password=pw;"
               "Integrated Security=SSPI;"
            << sqlServer("Server=db1;Port=1433", "Trusted_Connection=Yes;Database=NAV;") << 15 << QString();
        QTest::newRow("Trusted_Connection=yes")
            << "Data Source=db1;Trusted_Connection=yes;User ID=sa"
            << sqlServer("Server=db1;Port=1433", "Trusted_Connection=Yes;") << 15 << QString();
        QTest::newRow("Integrated Security=False: user name and password")
            << "Data Source=db1;Integrated Security=False;User ID=sa;Password=pw"
            << sqlServer("Server=db1;Port=1433", "UID=sa;PWD=pw;") << 15 << QString();
        QTest::newRow("MSDASQL passes the keywords on as written and keeps the time-out for itself")
            << "Provider=MSDASQL.1;Driver={ODBC Driver 18 for SQL Server};Server=tcp:db1,1433;UID=sa;PWD='p;w}';"
               "Connect Timeout=7;Encrypt=yes"
            << "Driver={ODBC Driver 18 for SQL Server};Server=tcp:db1,1433;UID=sa;PWD={p;w}}};Encrypt=yes;" << 7
            << QString();
    }

    void translates()
    {
        QFETCH(QString, oleDb);
        const OdbcConnectRequest request = TranslateConnectionString(oleDb);
        QTEST(request.connectionString, "odbc");
        QTEST(request.loginTimeoutSeconds, "loginTimeout");
        const QString lookup = request.instanceName.isEmpty()
            ? QString()
            : request.browserHost + QLatin1Char('\\') + request.instanceName;
        QTEST(lookup, "lookup");
    }

    void passwordReachesTheDriverIntact_data()
    {
        QTest::addColumn<QString>("password");

        QTest::newRow("semicolon and closing brace") << "pa;}ss}";
        QTest::newRow("blanks around") << "  pass  ";
        QTest::newRow("; = ' \" { } and blanks at once") << "}{;=\"' ;}}";
        QTest::newRow("beyond Latin-1") << "päß€日本";
        QTest::newRow("empty") << "";
    }

    // SQL Server goes to FreeTDS under the ODBC names; MSDASQL passes the keywords on as written to a
    // driver that follows the ODBC rule.
    void passwordReachesTheDriverIntact()
    {
        QFETCH(QString, password);
        const QString quoted = QLatin1Char('"') + QString(password).replace(u'"', QLatin1String("\"\"")) + u'"';
        for (const bool freeTds : { true, false }) {
            const QString odbc
                = TranslateConnectionString(QStringLiteral("Provider=%1;Data Source=db1;Password=%2;User ID=sa")
                                                .arg(QLatin1String(freeTds ? "sqloledb" : "MSDASQL"), quoted))
                      .connectionString;
            // A braced value at the very end would keep its closing brace with FreeTDS 1.3.
            QVERIFY(odbc.endsWith(QLatin1Char(';')));
            QCOMPARE(driverReads(odbc, freeTds ? "PWD" : "Password", freeTds), password);
        }
    }

    // Refusals name what is wrong, but never anything that may be part of the password: a password
    // holding ";" that the user did not quote splits into pieces that look like further keywords.
    void refuses_data()
    {
        QTest::addColumn<QString>("oleDb");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QStringList>("hidden");

        QTest::newRow("another provider") << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=nav.mdb"
                                          << "Microsoft.Jet.OLEDB.4.0" << QStringList();
        QTest::newRow("another network library") << "Network Library=DBNMPNTW;Data Source=db1"
                                                 << "DBNMPNTW" << QStringList();
        QTest::newRow("unknown keyword") << "Data Source=db1;Auto Translate=False"
                                         << "Auto Translate" << QStringList();
        QTest::newRow("integrated security neither SSPI nor true nor false") << "Integrated Security=Kerberos"
                                                                             << "Integrated Security" << QStringList();
        QTest::newRow("more ports than a typed one and the template's") << "Server=db1,1,2,1433"
                                                                        << "Server" << QStringList();
        QTest::newRow("port out of range") << "Server=db1,70000"
                                           << "Server" << QStringList();
        QTest::newRow("time-out that is no number") << "Connect Timeout=soon"
                                                    << "Connect Timeout" << QStringList();
        QTest::newRow("packet size too small") << "Packet Size=64"
                                               << "Packet Size" << QStringList();
        QTest::newRow("encryption neither true nor false") << "Use Encryption for Data=maybe"
                                                           << "Use Encryption for Data" << QStringList();
        QTest::newRow("pair without equals sign") << "Data Source=db1;Initial Catalog"
                                                  << "not well formed" << QStringList();
        QTest::newRow("unterminated quote") << "Initial Catalog='NAV"
                                            << "not well formed" << QStringList();
        QTest::newRow("a value the SQL Server driver cannot receive") << "Initial Catalog='N};AV'"
                                                                      << "Initial Catalog" << QStringList();
        QTest::newRow("password piece like an unknown keyword")
            << "Data Source=db1;User ID=sa;Password=Zq8;Frobnicate=Xv7;"
            << "" << QStringList { "Zq8", "Frobnicate", "Xv7" };
        QTest::newRow("password piece like a provider") << "Password=Zq8;Provider=Xv7"
                                                        << "" << QStringList { "Zq8", "Xv7" };
        QTest::newRow("password piece like a network library") << "Password=Zq8;Network Library=Xv7"
                                                               << "" << QStringList { "Zq8", "Xv7" };
        QTest::newRow("password piece like a bad port") << "PWD=Zq8;Data Source=Xv7,Yw6"
                                                        << "" << QStringList { "Zq8", "Xv7", "Yw6" };
        QTest::newRow("password piece without equals sign") << "Password=Zq8;Xv7"
                                                            << "" << QStringList { "Zq8", "Xv7" };
        QTest::newRow("password the driver cannot receive") << "Password='Zq8};Xv7'"
                                                            << "" << QStringList { "Zq8", "Xv7", "};" };
        QTest::newRow("quote inside a quoted password not doubled") << "Password='Zq8'Xv7'"
                                                                    << "" << QStringList { "Zq8", "Xv7" };
    }

    void refuses()
    {
        QFETCH(QString, oleDb);
        QFETCH(QString, named);
        QFETCH(QStringList, hidden);
        try {
            TranslateConnectionString(oleDb);
            QFAIL("the connection string was accepted");
        } catch (const Failure& failure) {
            QCOMPARE(failure.number(), kErrorBadConnectionString);
            QVERIFY2(failure.description().contains(named), qPrintable(failure.description()));
            for (const QString& secret : hidden)
                QVERIFY2(!failure.description().contains(secret), qPrintable(failure.description()));
        }
    }

    // What the user is shown of a connection string while the program reads from it.
    void describesTarget_data()
    {
        QTest::addColumn<QString>("oleDb");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("database");

        QTest::newRow("the login window's template")
            << "Provider=sqloledb;Network Library=DBMSSOCN;Data Source=NAVSRV,1433;Initial Catalog=CRONUS;User ID=sa;"
               "Password=Zq8;"
            << "NAVSRV,1433"
            << "CRONUS";
        QTest::newRow("aliases, the last one wins, quoted values")
            << "Server=old;Addr=NAVSRV\\NAV40;Database=a;Initial Catalog='Cronus; Ltd'"
            << "NAVSRV\\NAV40"
            << "Cronus; Ltd";
        QTest::newRow("neither named") << "User ID=sa;Password=Zq8"
                                       << ""
                                       << "";
        QTest::newRow("behind an unquoted password: may be part of it")
            << "Data Source=db1;Password=Zq8;Initial Catalog=Xv7"
            << "db1"
            << "";
        QTest::newRow("behind a quoted password") << "Password='Zq8;Xv7';Data Source=db1;Database=NAV"
                                                  << "db1"
                                                  << "NAV";
        QTest::newRow("not well formed") << "Data Source=db1;Initial Catalog='NAV"
                                         << ""
                                         << "";
    }

    void describesTarget()
    {
        QFETCH(QString, oleDb);
        const ConnectionTarget target = DescribeConnectionTarget(oleDb);
        QTEST(target.server, "server");
        QTEST(target.database, "database");
    }
};

QTEST_GUILESS_MAIN(TestDriverConnectionString)
#include "tst_driverconnectionstring.moc"
