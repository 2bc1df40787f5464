// Named instances found through the SQL Server Browser service and Windows (domain) logins, from
// the login window through the real ODBC driver to the stand-in, as a Navision installation uses
// them. The stand-in answers as the Browser on UDP port 1434, so these tests never run at once.
#include "LoginEndToEnd.h"
#include "WhileOpen.h"
#include "db/ConnectionString.h"
#include "db/ErrorNumbers.h"
#include "db/InstanceLookup.h"
#include "db/OdbcConnection.h"
#include "log/Clock.h"
#include "log/ErrorReport.h"
#include "log/Failure.h"
#include "login/QtSettingsStore.h"
#include "login/frmLogin.h"
#include "main/Platform.h"
#include "main/TableListModel.h"
#include "main/frmMain.h"
#include "support/FilesHolding.h"
#include "support/RecordingMessageSink.h"
#include "support/StandinProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QUdpSocket>
#include <memory>

using namespace quorvane;
using quorvane::test::filesBelow;
using quorvane::test::kLoginRefused;
using quorvane::test::kNoServer;
using quorvane::test::RecordingMessageSink;
using quorvane::test::StandinProcess;
using quorvane::test::whileOpen;

namespace {

const QString kSqlUser = QStringLiteral("navuser");
const QString kSqlPassword = QStringLiteral("Nav#2006");
const QString kDomainUser = QStringLiteral("CORP\\anna");
const QString kDomainPassword = QStringLiteral("Wq4;Anna 'Dom\"2006");
// The connection time-out the failing rows give, so that they wait no longer than needed.
constexpr int kShortTimeoutSeconds = 4;
const QString kShortTimeout = QStringLiteral("Connect Timeout=%1;").arg(kShortTimeoutSeconds);

// A Navision database NAV whose per-user table holds a SQL login's user and a domain account's
// user (a Windows SID); Cronus$Ledger's key can be rebuilt.
QJsonObject catalogue()
{
    QJsonObject fixture = QJsonDocument::fromJson(R"({"databases": [
  {"name": "NAV",
   "users": [{"name": "navuser", "sid": "0x0A0B"},
             {"name": "CORP\\anna", "sid": "0x010500000000000515000000A1B2C3D4E5F60718293A4B5C51040000"}],
   "navision_user_table": {"sids": ["0x010500000000000515000000A1B2C3D4E5F60718293A4B5C51040000", "0x0A0B"]},
   "tables": [{"name": "Cronus$Ledger", "columns": [{"name": "No_", "nullable": false}],
               "primary_key": {"name": "Cronus$Ledger$0", "columns": ["No_"]}}]}]})")
                              .object();
    fixture.insert(
        "logins",
        QJsonArray { QJsonObject { { "name", kSqlUser }, { "password", kSqlPassword } },
                     QJsonObject { { "name", kDomainUser }, { "password", kDomainPassword }, { "windows", true } } });
    return fixture;
}

// Types the login fields as the user does, adds `edit` to the built connection string by hand and
// presses CONNECT.
void connectAs(const frmLogin& form, const QString& server, const QString& user, const QString& password,
               const QString& edit = QString())
{
    test::typeLogin(form, server, QStringLiteral("NAV"), user, password);
    auto* txtConnect = form.findChild<QPlainTextEdit*>("txtConnect");
    txtConnect->setPlainText(txtConnect->toPlainText() + edit);
    QTest::mouseClick(form.findChild<QPushButton*>("cmdConnect"), Qt::LeftButton);
}

QJsonObject primaryKeyOf(const QJsonObject& state, const QString& table)
{
    for (const QJsonValue& candidate : state["databases"][0]["tables"].toArray()) {
        if (candidate["name"].toString() == table)
            return candidate["primary_key"].toObject();
    }
    return {};
}

} // namespace

class tst_instance_login_e2e : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void outcomeOfConnect_data();
    void outcomeOfConnect();
    void domainLoginRunsARebuild_data();
    void domainLoginRunsARebuild();
    void integratedSecurityWithoutTicketSaysWhatToType();
    void browserNamesTheReleasePlayed_data();
    void browserNamesTheReleasePlayed();

private:
    Platform platform(RecordingMessageSink& messages, QtSettingsStore& settings, const SystemClock& clock) const
    {
        return { messages, settings, clock, db::odbcConnectionFactory(), m_folders.applicationFolder() };
    }

    test::LoginTestFolders m_folders;
};

void tst_instance_login_e2e::initTestCase()
{
    m_folders.startProgram();
    // No Kerberos ticket can be found, whatever the machine holds.
    qputenv("KRB5CCNAME",
            QFile::encodeName(QStringLiteral("FILE:") + QDir(m_folders.configHome()).filePath("no-ticket")));
}

void tst_instance_login_e2e::init()
{
    m_folders.startTest();
}

void tst_instance_login_e2e::cleanup()
{
    m_folders.endTest();
}

void tst_instance_login_e2e::outcomeOfConnect_data()
{
    QTest::addColumn<QStringList>("standinOptions");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message"); // empty: the login succeeds

    const QStringList nav { QStringLiteral("--instance"), QStringLiteral("NAV") };
    const QString success;
    QTest::newRow("instance found through the Browser")
        << nav << "127.0.0.1\\NAV" << kSqlUser << kSqlPassword << success;
    QTest::newRow("instance named in another case") << nav << "127.0.0.1\\nav" << kSqlUser << kSqlPassword << success;
    QTest::newRow("instance on this computer as (local)")
        << nav << "(local)\\NAV" << kSqlUser << kSqlPassword << success;
    QTest::newRow("unknown instance") << nav << "127.0.0.1\\NAVISION" << kSqlUser << kSqlPassword << kNoServer;
    QTest::newRow("no Browser answering") << QStringList() << "127.0.0.1\\NAV" << kSqlUser << kSqlPassword << kNoServer;
    QTest::newRow("a port typed behind the instance wins over the Browser")
        << QStringList() << "127.0.0.1\\NOSUCH,%PORT%" << kSqlUser << kSqlPassword << success;
    QTest::newRow("a port typed behind the server wins over the template's")
        << QStringList() << "127.0.0.1,%PORT%" << kSqlUser << kSqlPassword << success;
    QTest::newRow("domain login") << QStringList() << "127.0.0.1,%PORT%" << kDomainUser << kDomainPassword << success;
    QTest::newRow("domain login with domain and user in another case") << QStringList() << "127.0.0.1,%PORT%"
                                                                       << "corp\\ANNA" << kDomainPassword << success;
    QTest::newRow("domain login at a named instance")
        << nav << "127.0.0.1\\NAV" << kDomainUser << kDomainPassword << success;
    QTest::newRow("domain login, wrong password")
        << QStringList() << "127.0.0.1,%PORT%" << kDomainUser << "Wq4;Anna 'Dom\"2007" << kLoginRefused;
    QTest::newRow("domain login, another domain") << QStringList() << "127.0.0.1,%PORT%"
                                                  << "OTHER\\anna" << kDomainPassword << kLoginRefused;
    QTest::newRow("domain account typed without its domain") << QStringList() << "127.0.0.1,%PORT%"
                                                             << "anna" << kDomainPassword << kLoginRefused;
    QTest::newRow("SQL login typed with a domain") << QStringList() << "127.0.0.1,%PORT%"
                                                   << "CORP\\navuser" << kSqlPassword << kLoginRefused;
}

void tst_instance_login_e2e::outcomeOfConnect()
{
    QFETCH(QStringList, standinOptions);
    QFETCH(QString, server);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, message);
    StandinProcess standin(catalogue(), standinOptions);
    QVERIFY(standin.started());
    QVERIFY(standin.port() != db::kDefaultSqlServerPort);
    RecordingMessageSink messages;
    QtSettingsStore settings(test::LoginTestFolders::settingsTitle());
    const SystemClock clock;
    const ErrorReport report(messages, m_folders.applicationFolder());
    QString gstrConnectPass;
    const Platform platform = this->platform(messages, settings, clock);
    frmLogin form(platform, report, gstrConnectPass);

    QElapsedTimer elapsed;
    whileOpen(form, false, [&] {
        elapsed.start();
        // "%PORT%" in the server stands for the stand-in's TCP port.
        connectAs(form, server.replace(QStringLiteral("%PORT%"), QString::number(standin.port())), user, password,
                  message.isEmpty() ? QString() : kShortTimeout);
    });

    QCOMPARE(messages.texts, message.isEmpty() ? QStringList() : QStringList { message });
    QCOMPARE(form.result(), message.isEmpty() ? QDialog::Accepted : QDialog::Rejected);
    QCOMPARE(gstrConnectPass.isEmpty(), !message.isEmpty());
    // The database check went to the stand-in exactly when the login was accepted.
    QCOMPARE(standin.sqlTexts().filter(QStringLiteral("[dbo].[$ndo$usrproperty]")).size(), message.isEmpty() ? 1 : 0);
    if (message == kNoServer) {
        // Within the time-out (give or take the driver's start), not after the driver's own 16 s;
        // the error log names the instance that was not found.
        QVERIFY2(elapsed.elapsed() < (kShortTimeoutSeconds + 3) * 1000, qPrintable(QString::number(elapsed.elapsed())));
        QFile errorLog(QDir(m_folders.applicationFolder()).filePath(QStringLiteral("ErrorLog.txt")));
        QVERIFY(errorLog.open(QIODevice::ReadOnly));
        const QString record = QString::fromUtf8(errorLog.readAll());
        const QString instance = server.mid(server.indexOf(QLatin1Char('\\')) + 1);
        QVERIFY2(record.contains(QStringLiteral("instance \"%1\"").arg(instance)), qPrintable(record));
    }
    QCOMPARE(filesBelow(m_folders.applicationFolder(), password).filter(QStringLiteral(" holds ")), QStringList());
}

void tst_instance_login_e2e::domainLoginRunsARebuild_data()
{
    QTest::addColumn<QString>("release");
    QTest::newRow("2000, nothing encrypted") << QStringLiteral("2000");
    QTest::newRow("2016, the login encrypted") << QStringLiteral("2016");
}

// A domain account from the login window through a rebuild that logs its statements: the
// Navision check passes, the key is rebuilt clustered, and the domain password is in no file the
// program wrote on the way.
void tst_instance_login_e2e::domainLoginRunsARebuild()
{
    QFETCH(QString, release);
    StandinProcess standin(catalogue(), StandinProcess::releaseOptions(release) + QStringList { "--instance", "NAV" });
    QVERIFY(standin.started());
    RecordingMessageSink messages;
    QtSettingsStore settings(test::LoginTestFolders::settingsTitle());
    const SystemClock clock;
    const Platform platform = this->platform(messages, settings, clock);
    frmMain window(platform, [&](frmMain& owner, bool) {
        frmLogin login(platform, owner.errorReport(), owner.gstrConnectPass, &owner);
        whileOpen(login, false, [&] {
            connectAs(login, QStringLiteral("127.0.0.1\\NAV"), kDomainUser, QStringLiteral("Wq4;Anna 'Dom\"2005"));
            QCOMPARE(messages.texts, QStringList { kLoginRefused });
            connectAs(login, QStringLiteral("127.0.0.1\\NAV"), kDomainUser, kDomainPassword);
        });
    });
    QVERIFY(window.Form_Load());

    QCOMPARE(standin.sqlTexts().filter(QStringLiteral("[dbo].[$ndo$usrproperty]")).size(), 1);

    test::rebuildTheOnlyTable(window);

    QCOMPARE(messages.texts, QStringList { kLoginRefused });
    QCOMPARE(primaryKeyOf(standin.state(), QStringLiteral("Cronus$Ledger"))["clustered"].toBool(), true);
    for (const QString& piece :
         { QStringLiteral("Wq4;Anna"), QStringLiteral("Dom\"2006"), QStringLiteral("Dom\"2005") }) {
        QCOMPARE(filesBelow(m_folders.applicationFolder(), piece), QStringList { "QuorvaneLog.txt" });
        QCOMPARE(m_folders.settingsHolding(piece), test::LoginTestFolders::kSettingsStored);
    }
}

// Integrated Security needs a Kerberos ticket of the account logged on here; without one the
// login fails, and the error record says what to type instead.
void tst_instance_login_e2e::integratedSecurityWithoutTicketSaysWhatToType()
{
    StandinProcess standin(catalogue());
    QVERIFY(standin.started());
    RecordingMessageSink messages;
    QtSettingsStore settings(test::LoginTestFolders::settingsTitle());
    const SystemClock clock;
    const Platform platform = this->platform(messages, settings, clock);
    const ErrorReport report(messages, m_folders.applicationFolder());
    QString gstrConnectPass;
    frmLogin form(platform, report, gstrConnectPass);
    whileOpen(form, false, [&] {
        connectAs(form, QStringLiteral("127.0.0.1,%1").arg(standin.port()), kDomainUser, kDomainPassword,
                  QStringLiteral("Integrated Security=SSPI;") + kShortTimeout);
    });

    QCOMPARE(messages.texts, QStringList { kNoServer });
    QVERIFY(gstrConnectPass.isEmpty());
    QFile errorLog(QDir(m_folders.applicationFolder()).filePath(QStringLiteral("ErrorLog.txt")));
    QVERIFY(errorLog.open(QIODevice::ReadOnly));
    const QString record = QString::fromUtf8(errorLog.readAll());
    QVERIFY2(record.contains(QStringLiteral("type the user name as DOMAIN\\user with its password instead")),
             qPrintable(record));
    QCOMPARE(filesBelow(m_folders.applicationFolder(), kDomainPassword), QStringList { "ErrorLog.txt" });
}

void tst_instance_login_e2e::browserNamesTheReleasePlayed_data()
{
    QTest::addColumn<QString>("release");
    QTest::addColumn<QString>("version"); // as the release's LOGINACK names it
    QTest::newRow("2000") << "2000"
                          << "8.00.2039";
    QTest::newRow("2016") << "2016"
                          << "13.0.6300";
}

// The Browser's answer to a request for the instance (CLNT_UCAST_INST) describes the release the
// instance plays.
void tst_instance_login_e2e::browserNamesTheReleasePlayed()
{
    QFETCH(QString, release);
    QFETCH(QString, version);
    StandinProcess standin(catalogue(), StandinProcess::releaseOptions(release) + QStringList { "--instance", "NAV" });
    QVERIFY(standin.started());
    QUdpSocket socket;
    QVERIFY(socket.bind(QHostAddress::LocalHost, 0));
    QCOMPARE(socket.writeDatagram(QByteArray("\x04NAV", 5), QHostAddress::LocalHost, db::kBrowserPort), 5);
    QTRY_VERIFY(socket.hasPendingDatagrams());
    QByteArray reply(int(socket.pendingDatagramSize()), Qt::Uninitialized);
    QCOMPARE(socket.readDatagram(reply.data(), reply.size()), reply.size());
    const QString expected
        = QStringLiteral(";InstanceName;NAV;IsClustered;No;Version;%1;tcp;%2;;").arg(version).arg(standin.port());
    QVERIFY2(QString::fromLatin1(reply.mid(3)).endsWith(expected), reply.constData());
    QCOMPARE(reply.left(1), QByteArray("\x05"));
}

QTEST_MAIN(tst_instance_login_e2e)
#include "tst_instance_login_e2e.moc"
