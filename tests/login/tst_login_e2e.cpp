// CONNECT in the login window through the real ODBC driver against the SQL Server stand-in: every
// outcome a user can meet, as the user meets it, each against a stand-in of its own.
#include "LoginEndToEnd.h"
#include "WhileOpen.h"
#include "db/OdbcConnection.h"
#include "log/Clock.h"
#include "log/ErrorReport.h"
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
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <memory>

using namespace quorvane;
using quorvane::test::filesBelow;
using quorvane::test::kLoginRefused;
using quorvane::test::kNoServer;
using quorvane::test::RecordingMessageSink;
using quorvane::test::StandinProcess;
using quorvane::test::whileOpen;

namespace {

const QString kUser = QStringLiteral("navuser");
const QString kPassword = QStringLiteral("Nav#2006");
const QString kNotNavision = QStringLiteral("The selected database is not a valid Navision 4.0 Database");

// One login; NAV is a Navision database, PLAIN has no per-user table, and ORPHANED has one whose
// only row belongs to no user of the database. Adding the key to Cronus$Ledger fails.
QJsonObject catalogue(const QString& password)
{
    QJsonObject fixture = QJsonDocument::fromJson(R"({"databases": [
  {"name": "NAV", "users": [{"name": "navuser", "sid": "0x0A0B"}], "navision_user_table": {"sids": ["0x0A0B"]},
   "tables": [{"name": "Cronus$Ledger", "columns": [{"name": "No_", "nullable": false}],
               "primary_key": {"name": "Cronus$Ledger$0", "columns": ["No_"]}}]},
  {"name": "PLAIN", "users": [{"name": "navuser", "sid": "0x0A0B"}]},
  {"name": "ORPHANED", "users": [{"name": "navuser", "sid": "0x0A0B"}], "navision_user_table": {"sids": ["0x0C0D"]}}],
 "faults": [{"database": "NAV", "table": "Cronus$Ledger", "statement": "add",
             "error": {"number": 1505, "message": "The CREATE UNIQUE INDEX statement terminated."}}]})")
                              .object();
    fixture.insert("logins", QJsonArray { QJsonObject { { "name", kUser }, { "password", password } } });
    return fixture;
}

// Fills the login fields as the user does, then edits the port in the built connection string by
// hand: the template always names port 1433, the stand-in listens elsewhere; `beforePassword` is
// typed in front of the password's keyword. Then presses CONNECT.
void connectAs(const frmLogin& form, const QString& database, const QString& password, quint16 port,
               const QString& beforePassword = {})
{
    test::typeLogin(form, QStringLiteral("127.0.0.1"), database, kUser, password);
    auto* txtConnect = form.findChild<QPlainTextEdit*>("txtConnect");
    txtConnect->setPlainText(txtConnect->toPlainText()
                                 .replace(",1433;", QStringLiteral(",%1;").arg(port))
                                 .replace(";Password=", beforePassword + QStringLiteral(";Password=")));
    QTest::mouseClick(form.findChild<QPushButton*>("cmdConnect"), Qt::LeftButton);
}

// The login window as the program builds it, over the real ODBC driver, with its messages
// recorded instead of shown.
struct LoginUnderTest
{
    explicit LoginUnderTest(const QString& applicationFolder)
        : platform { messages, settings, clock, db::odbcConnectionFactory(), applicationFolder }
        , report(messages, applicationFolder)
        , form(platform, report, gstrConnectPass)
    { }

    RecordingMessageSink messages;
    QtSettingsStore settings { test::LoginTestFolders::settingsTitle() };
    const SystemClock clock;
    const Platform platform;
    const ErrorReport report;
    QString gstrConnectPass;
    frmLogin form;
};

// Counts the paint events a window gets while the wait cursor shows.
struct PaintsDuringWait final : QObject
{
    bool eventFilter(QObject*, QEvent* event) override
    {
        counted += event->type() == QEvent::Paint && waitCursorShows() ? 1 : 0;
        return false;
    }
    static bool waitCursorShows()
    {
        return QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    }
    int counted = 0;
};

} // namespace

class tst_login_e2e : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void outcomeOfConnect_data();
    void outcomeOfConnect();
    void refusedConnectionString_data();
    void refusedConnectionString();
    void passwordIsInNoFileTheProgramWrote();
    void slowCheckKeepsWindowPaintedAndDeaf_data();
    void slowCheckKeepsWindowPaintedAndDeaf();

private:
    test::LoginTestFolders m_folders;
};

void tst_login_e2e::initTestCase()
{
    m_folders.startProgram();
}

void tst_login_e2e::init()
{
    m_folders.startTest();
}

void tst_login_e2e::cleanup()
{
    m_folders.endTest();
}

void tst_login_e2e::outcomeOfConnect_data()
{
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("typedPassword");
    QTest::addColumn<QString>("message");
    // How the password stands in the connection string handed on.
    QTest::addColumn<QString>("passwordValue");
    const QString none;
    const QString odd = QStringLiteral(" a;b=c'd \"e ");
    QTest::newRow("Navision database") << true << "NAV" << kPassword << none << kPassword;
    QTest::newRow("no per-user table") << true << "PLAIN" << kPassword << kNotNavision << none;
    QTest::newRow("per-user table without a matching user") << true << "ORPHANED" << kPassword << kNotNavision << none;
    QTest::newRow("wrong password") << true << "NAV" << QString("nav#2006") << kLoginRefused << none;
    QTest::newRow("nothing listening") << false << "NAV" << kPassword << kNoServer << none;
    QTest::newRow("unknown database") << true << "NOSUCH" << kPassword << kNoServer << none;
    QTest::newRow("empty password") << true << "NAV" << none << none << none;
    QTest::newRow("password with ; = ' blanks and a quote")
        << true << "NAV" << odd << none << QStringLiteral("\" a;b=c'd \"\"e \"");
}

void tst_login_e2e::outcomeOfConnect()
{
    QFETCH(bool, listening);
    QFETCH(QString, database);
    QFETCH(QString, typedPassword);
    QFETCH(QString, message);
    QFETCH(QString, passwordValue);
    // The login's own password is the one typed, but for the row that types a wrong one.
    StandinProcess standin(catalogue(message == kLoginRefused ? kPassword : typedPassword));
    QVERIFY(standin.started());
    if (!listening)
        standin.stop();
    LoginUnderTest login(m_folders.applicationFolder());
    const RecordingMessageSink& messages = login.messages;
    const QString& gstrConnectPass = login.gstrConnectPass;
    frmLogin& form = login.form;

    whileOpen(form, false, [&] {
        connectAs(form, database, typedPassword, standin.port());
        if (message.isEmpty())
            return;
        // Refused: the window stays as the user left it, the password still off the screen.
        QVERIFY(form.isVisible());
        QCOMPARE(form.findChild<QPlainTextEdit*>("txtConnect")->toPlainText(),
                 standin.connectionString(database, kUser, QStringLiteral("%PW%")));
        QCOMPARE(form.findChild<QLineEdit*>("txtPW")->text(), typedPassword);
    });

    QCOMPARE(messages.texts, message.isEmpty() ? QStringList() : QStringList { message });
    QCOMPARE(gstrConnectPass, message.isEmpty() ? standin.connectionString(database, kUser, passwordValue) : QString());
    QCOMPARE(form.result(), message.isEmpty() ? QDialog::Accepted : QDialog::Rejected);
    const bool checked = message.isEmpty() || message == kNotNavision; // the database check was sent
    QCOMPARE(standin.sqlTexts().filter(QStringLiteral("[dbo].[$ndo$usrproperty]")).size(), checked ? 1 : 0);
    QCOMPARE(filesBelow(m_folders.applicationFolder(), kPassword), QStringList()); // nothing reported
}

void tst_login_e2e::refusedConnectionString_data()
{
    QTest::addColumn<QString>("edit"); // typed in front of the password in the built connection string
    QTest::addColumn<QString>("refusal");
    QTest::newRow("unknown keyword") << ";Bogus Option=1"
                                     << "The connection string keyword \"Bogus Option\" is not supported.";
    QTest::newRow("value the driver cannot take") << ";Connect Timeout=soon"
                                                  << "\"Connect Timeout\" must be a whole number of seconds.";
}

// A connection string edited by hand that cannot be used as written: the unexpected outcome, with
// the reason on the next line, and nothing sent to the server.
void tst_login_e2e::refusedConnectionString()
{
    QFETCH(QString, edit);
    QFETCH(QString, refusal);
    StandinProcess standin(catalogue(kPassword));
    QVERIFY(standin.started());
    LoginUnderTest login(m_folders.applicationFolder());
    const RecordingMessageSink& messages = login.messages;
    const QString& gstrConnectPass = login.gstrConnectPass;
    frmLogin& form = login.form;

    whileOpen(form, false, [&] { connectAs(form, QStringLiteral("NAV"), kPassword, standin.port(), edit); });

    QCOMPARE(messages.texts, QStringList { QStringLiteral("An unexpected error has occurred.\r\n") + refusal });
    QVERIFY(!messages.texts.first().contains(kPassword));
    QCOMPARE(gstrConnectPass, QString());
    QCOMPARE(standin.statements(), QJsonArray());
}

// The whole way from the login window through a fix run that logs its statements to a file and
// reports a failed table: the password is in none of the files written on the way.
void tst_login_e2e::passwordIsInNoFileTheProgramWrote()
{
    const QString password = QStringLiteral(" Qx7;Zv='k \"9 ");
    StandinProcess standin(catalogue(password));
    QVERIFY(standin.started());
    RecordingMessageSink messages;
    QtSettingsStore settings(test::LoginTestFolders::settingsTitle());
    const SystemClock clock;
    const Platform platform { messages, settings, clock, db::odbcConnectionFactory(), m_folders.applicationFolder() };
    frmMain window(platform, [&](frmMain& owner, bool) {
        frmLogin login(platform, owner.errorReport(), owner.gstrConnectPass, &owner);
        whileOpen(login, false, [&] {
            connectAs(login, QStringLiteral("NAV"), QStringLiteral(" Qx7;Zv='k \"8 "), standin.port());
            QCOMPARE(messages.texts, QStringList { kLoginRefused });
            connectAs(login, QStringLiteral("NAV"), password, standin.port());
        });
    });
    QVERIFY(window.Form_Load());

    test::rebuildTheOnlyTable(window);

    QCOMPARE(messages.texts.size(), 2); // the refused login and the failed key
    for (const QString& piece : { QStringLiteral("Qx7"), QStringLiteral("Zv='k") }) {
        QCOMPARE(filesBelow(m_folders.applicationFolder(), piece), QStringList({ "ErrorLog.txt", "QuorvaneLog.txt" }));
        QCOMPARE(m_folders.settingsHolding(piece), test::LoginTestFolders::kSettingsStored);
    }
}

void tst_login_e2e::slowCheckKeepsWindowPaintedAndDeaf_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<bool>("silent"); // a server that takes the connection and never answers
    QTest::addColumn<QString>("message");
    QTest::newRow("check answered late, Navision database") << "NAV" << false << QString();
    QTest::newRow("check answered late, no per-user table") << "PLAIN" << false << kNotNavision;
    QTest::newRow("silent server until the login time-out") << "NAV" << true << kNoServer;
}

// While CONNECT waits on the server, the window keeps painting; a click on CONNECT, Enter and
// closing the window are all dropped, and the outcome is the one a quick server gives.
void tst_login_e2e::slowCheckKeepsWindowPaintedAndDeaf()
{
    QFETCH(QString, database);
    QFETCH(bool, silent);
    QFETCH(QString, message);
    QJsonObject fixture = catalogue(kPassword);
    fixture.insert("faults", QJsonArray { QJsonObject { { "statement", "check" }, { "delay_ms", 1500 } } });
    StandinProcess standin(fixture);
    QVERIFY(standin.started());
    QTcpServer silentServer;
    QVERIFY(silentServer.listen(QHostAddress::LocalHost));
    LoginUnderTest login(m_folders.applicationFolder());
    const RecordingMessageSink& messages = login.messages;
    const QString& gstrConnectPass = login.gstrConnectPass;
    frmLogin& form = login.form;
    auto& cmdConnect = *form.findChild<QPushButton*>("cmdConnect");

    QList<bool> closed;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&] {
        if (!PaintsDuringWait::waitCursorShows())
            return;
        form.update();
        if (!closed.isEmpty())
            return;
        // The way the window system delivers them: to the window.
        QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, cmdConnect.mapTo(&form, cmdConnect.rect().center()));
        QTest::keyClick(form.windowHandle(), Qt::Key_Return);
        closed.append(form.close());
    });
    PaintsDuringWait paints;
    form.installEventFilter(&paints);
    timer.start(10);

    whileOpen(form, false, [&] {
        // The login time-out the template leaves to the driver is 15 s; the silent server's row
        // shortens it.
        connectAs(form, database, kPassword, silent ? silentServer.serverPort() : standin.port(),
                  silent ? QStringLiteral(";Connect Timeout=2") : QString());
    });

    QCOMPARE(closed, QList<bool> { false });
    QVERIFY(paints.counted > 0);
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(messages.texts, message.isEmpty() ? QStringList() : QStringList { message });
    QCOMPARE(form.result(), message.isEmpty() ? QDialog::Accepted : QDialog::Rejected);
    QCOMPARE(gstrConnectPass.isEmpty(), !message.isEmpty());
    QCOMPARE(standin.sqlTexts().filter(QStringLiteral("[dbo].[$ndo$usrproperty]")).size(), silent ? 0 : 1);
}

QTEST_MAIN(tst_login_e2e)
#include "tst_login_e2e.moc"
