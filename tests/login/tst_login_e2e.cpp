// CONNECT in the login window through the real ODBC driver against the SQL Server stand-in: every
// outcome a user can meet, as the user meets it, each against a stand-in of its own.
#include "db/OdbcConnection.h"
#include "log/Clock.h"
#include "log/ErrorReport.h"
#include "login/QtSettingsStore.h"
#include "login/frmLogin.h"
#include "main/Platform.h"
#include "main/TableListModel.h"
#include "main/frmMain.h"
#include "support/RecordingMessageSink.h"
#include "support/StandinProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <QTreeView>
#include <functional>
#include <memory>

using namespace quorvane;
using quorvane::test::RecordingMessageSink;
using quorvane::test::StandinProcess;

namespace {

const QString kTitle = QStringLiteral("Quorvane");
const QString kServer = QStringLiteral("127.0.0.1");
const QString kUser = QStringLiteral("navuser");
const QString kPassword = QStringLiteral("Nav#2006");
const QString kCheckQuery = QStringLiteral(
    "select a.name, a.sid from sysusers a, [dbo].[$ndo$usrproperty] b Where a.sid = b.sid order by a.name");

const QString kNotNavision = QStringLiteral("The selected database is not a valid Navision 4.0 Database");
const QString kNoServer = QStringLiteral("Could not connect to the passed server.");
const QString kLoginRefused = QStringLiteral("The Login information entered was invalid.");

QJsonObject keyedTable(const QString& name)
{
    return QJsonObject {
        { "name", name },
        { "columns", QJsonArray { QJsonObject { { "name", "No_" }, { "nullable", false } } } },
        { "primary_key",
          QJsonObject { { "name", name + QStringLiteral("$0") },
                        { "columns", QJsonArray { QJsonObject { { "name", "No_" } } } } } },
    };
}

// One login; NAV is a Navision database, PLAIN has no per-user table, and ORPHANED has one whose
// only row belongs to no user of the database. Adding a key to Cronus$Ledger fails.
QJsonObject catalogue(const QString& password)
{
    const QJsonArray users { QJsonObject { { "name", "dbo" }, { "sid", "0x01" } },
                             QJsonObject { { "name", kUser }, { "sid", "0x0A0B" } } };
    const QJsonArray databases {
        QJsonObject { { "name", "NAV" },
                      { "users", users },
                      { "navision_user_table", QJsonObject { { "sids", QJsonArray { "0x0A0B" } } } },
                      { "tables", QJsonArray { keyedTable("Cronus$Item"), keyedTable("Cronus$Ledger") } } },
        QJsonObject { { "name", "PLAIN" }, { "users", users }, { "tables", QJsonArray {} } },
        QJsonObject { { "name", "ORPHANED" },
                      { "users", users },
                      { "navision_user_table", QJsonObject { { "sids", QJsonArray { "0x0C0D" } } } },
                      { "tables", QJsonArray {} } },
    };
    const QJsonArray faults { QJsonObject {
        { "database", "NAV" },
        { "table", "Cronus$Ledger" },
        { "statement", "add" },
        { "error",
          QJsonObject { { "number", 1505 },
                        { "message",
                          "The CREATE UNIQUE INDEX statement terminated because a duplicate key was "
                          "found for the object name 'dbo.Cronus$Ledger'." } } } } };
    return QJsonObject { { "logins", QJsonArray { QJsonObject { { "name", kUser }, { "password", password } } } },
                         { "databases", databases },
                         { "faults", faults } };
}

QString connectString(quint16 port, const QString& database, const QString& passwordValue)
{
    return QStringLiteral("Provider=sqloledb;Network Library=DBMSSOCN;Data Source=%1,%2;Initial Catalog=%3;"
                          "User ID=%4;Password=%5;")
        .arg(kServer, QString::number(port), database, kUser, passwordValue);
}

template <typename T> T& control(const QWidget& window, const char* name)
{
    T* found = window.findChild<T*>(QLatin1String(name));
    Q_ASSERT(found != nullptr);
    return *found;
}

// Fills the login fields as the user does and then edits the built connection string by hand:
// the template always names port 1433, the stand-in listens elsewhere.
void enterLogin(const frmLogin& form, const QString& database, const QString& password, quint16 port)
{
    control<QLineEdit>(form, "txtServer").setText(kServer);
    control<QLineEdit>(form, "txtDB").setText(database);
    control<QLineEdit>(form, "txtUser").setText(kUser);
    QLineEdit& txtPW = control<QLineEdit>(form, "txtPW");
    txtPW.clear();
    QTest::keyClicks(&txtPW, password);

    QPlainTextEdit& txtConnect = control<QPlainTextEdit>(form, "txtConnect");
    QTextCursor cursor = txtConnect.document()->find(QStringLiteral(",1433;"));
    QVERIFY(!cursor.isNull());
    cursor.setPosition(cursor.selectionStart() + 1);
    cursor.setPosition(cursor.position() + 4, QTextCursor::KeepAnchor);
    txtConnect.setTextCursor(cursor);
    QTest::keyClicks(&txtConnect, QString::number(port));
    QCOMPARE(txtConnect.toPlainText(), connectString(port, database, QStringLiteral("%PW%")));
}

void clickConnect(const frmLogin& form)
{
    QPushButton& cmdConnect = control<QPushButton>(form, "cmdConnect");
    QVERIFY(cmdConnect.isEnabled());
    QTest::mouseClick(&cmdConnect, Qt::LeftButton);
}

// Shows the window modally and runs the actions inside its event loop; a window still open
// afterwards is closed as the user closes it.
void whileOpen(frmLogin& form, const std::function<void()>& actions)
{
    QTimer::singleShot(0, &form, [&] {
        const auto closer = qScopeGuard([&] {
            if (form.isVisible())
                form.close();
        });
        QCOMPARE(QApplication::activeModalWidget(), &form);
        actions();
    });
    form.OpenForm(false);
    QVERIFY(!form.isVisible());
}

// Every file below root whose bytes hold the text, as 8-bit text or as UTF-16.
QStringList filesHolding(const QString& root, const QString& text)
{
    const QByteArray utf16(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    QStringList found;
    QDirIterator files(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (!file.open(QIODevice::ReadOnly)) {
            found.append(file.fileName() + QStringLiteral(" (unreadable)"));
            continue;
        }
        const QByteArray bytes = file.readAll();
        if (bytes.contains(text.toUtf8()) || bytes.contains(text.toLatin1()) || bytes.contains(utf16))
            found.append(file.fileName());
    }
    return found;
}

QStringList filesBelow(const QString& root)
{
    QStringList names;
    QDirIterator files(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext())
        names.append(QFileInfo(files.next()).fileName());
    names.sort();
    return names;
}

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
    void passwordIsInNoFileTheProgramWrote();

private:
    // The settings store keeps its folder once it has been used, so one folder serves every test;
    // init() empties it.
    QTemporaryDir m_configHome;
    std::unique_ptr<QTemporaryDir> m_applicationFolder;
};

void tst_login_e2e::initTestCase()
{
    QVERIFY(m_configHome.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_configHome.path()));
    QVERIFY(QtSettingsStore(kTitle).fileName().startsWith(m_configHome.path()));
}

void tst_login_e2e::init()
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, kTitle, kTitle).clear();
    m_applicationFolder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_applicationFolder->isValid());
}

void tst_login_e2e::cleanup()
{
    m_applicationFolder.reset();
    QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
}

void tst_login_e2e::outcomeOfConnect_data()
{
    QTest::addColumn<QString>("loginPassword");
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("typedPassword");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("checkSent");
    // How the password stands in the connection string handed on; empty when the press is refused.
    QTest::addColumn<QString>("passwordValue");

    const QString none;
    const QString quoteAndBlanks = QStringLiteral(" a;b=c'd \"e ");
    const QString innerBlank = QStringLiteral("pass word=1");
    QTest::newRow("Navision database") << kPassword << true << "NAV" << kPassword << none << true << kPassword;
    QTest::newRow("no per-user table") << kPassword << true << "PLAIN" << kPassword << kNotNavision << true << none;
    QTest::newRow("per-user table without a matching user")
        << kPassword << true << "ORPHANED" << kPassword << kNotNavision << true << none;
    QTest::newRow("wrong password") << kPassword << true << "NAV" << QStringLiteral("nav#2006") << kLoginRefused
                                    << false << none;
    QTest::newRow("nothing listening") << kPassword << false << "NAV" << kPassword << kNoServer << false << none;
    QTest::newRow("unknown database") << kPassword << true << "NOSUCH" << kPassword << kNoServer << false << none;
    QTest::newRow("empty password") << none << true << "NAV" << none << none << true << none;
    QTest::newRow("password with ; = ' blanks and a quote")
        << quoteAndBlanks << true << "NAV" << quoteAndBlanks << none << true << QStringLiteral("\" a;b=c'd \"\"e \"");
    QTest::newRow("password with = and an inner blank")
        << innerBlank << true << "NAV" << innerBlank << none << true << innerBlank;
}

void tst_login_e2e::outcomeOfConnect()
{
    QFETCH(QString, loginPassword);
    QFETCH(bool, listening);
    QFETCH(QString, database);
    QFETCH(QString, typedPassword);
    QFETCH(QString, message);
    QFETCH(bool, checkSent);
    QFETCH(QString, passwordValue);

    StandinProcess standin(catalogue(loginPassword));
    QVERIFY(standin.started());
    const quint16 port = standin.port();
    if (!listening)
        standin.stop();

    RecordingMessageSink messages;
    QtSettingsStore settings(kTitle);
    const SystemClock clock;
    const Platform platform { messages, settings, clock, db::odbcConnectionFactory(), m_applicationFolder->path() };
    const ErrorReport report(messages, m_applicationFolder->path());
    QString gstrConnectPass;
    frmLogin form(platform, report, gstrConnectPass);

    whileOpen(form, [&] {
        enterLogin(form, database, typedPassword, port);
        clickConnect(form);
        if (message.isEmpty())
            return;
        // Refused: the window stays as the user left it, the password still off the screen.
        QVERIFY(form.isVisible());
        QCOMPARE(control<QPlainTextEdit>(form, "txtConnect").toPlainText(),
                 connectString(port, database, QStringLiteral("%PW%")));
        QCOMPARE(control<QLineEdit>(form, "txtPW").text(), typedPassword);
    });

    QCOMPARE(messages.texts, message.isEmpty() ? QStringList() : QStringList { message });
    QCOMPARE(gstrConnectPass, message.isEmpty() ? connectString(port, database, passwordValue) : QString());
    QCOMPARE(form.result(), message.isEmpty() ? QDialog::Accepted : QDialog::Rejected);
    QCOMPARE(standin.sqlTexts().contains(kCheckQuery), checkSent);
    QCOMPARE(settings.read(QStringLiteral("Settings"), QStringLiteral("Server"), QString()), kServer);
    QCOMPARE(settings.read(QStringLiteral("Settings"), QStringLiteral("DB"), QString()), database);
    QCOMPARE(settings.read(QStringLiteral("Settings"), QStringLiteral("User"), QString()), kUser);
    QVERIFY(!QFile::exists(QDir(m_applicationFolder->path()).filePath(QStringLiteral("ErrorLog.txt"))));
}

// The whole way from the login window through a fix run that logs its statements to a file and
// reports a failed table: the password is in none of the files written on the way.
void tst_login_e2e::passwordIsInNoFileTheProgramWrote()
{
    const QString password = QStringLiteral(" Qx7;Zv='k \"9 ");
    StandinProcess standin(catalogue(password));
    QVERIFY(standin.started());

    RecordingMessageSink messages;
    QtSettingsStore settings(kTitle);
    const SystemClock clock;
    const Platform platform { messages, settings, clock, db::odbcConnectionFactory(),
                              QDir::toNativeSeparators(m_applicationFolder->path()) };
    frmMain window(platform, [&](frmMain& owner, bool) {
        frmLogin login(platform, owner.errorReport(), owner.gstrConnectPass, &owner);
        // Without the countdown: the test does not wait eleven seconds for CONNECT.
        whileOpen(login, [&] {
            enterLogin(login, QStringLiteral("NAV"), QStringLiteral(" Qx7;Zv='k \"8 "), standin.port());
            clickConnect(login);
            QCOMPARE(messages.texts, QStringList { kLoginRefused });
            enterLogin(login, QStringLiteral("NAV"), password, standin.port());
            clickConnect(login);
        });
    });
    QVERIFY(window.Form_Load());

    auto& lvTables = control<QTreeView>(window, "lvTables");
    auto* items = qobject_cast<TableListModel*>(lvTables.model());
    QVERIFY(items != nullptr);
    QCOMPARE(items->itemCount(), 2);
    for (int row = 0; row < items->itemCount(); ++row)
        QVERIFY(items->setData(items->index(row, 0), Qt::Checked, Qt::CheckStateRole));
    control<QCheckBox>(window, "chkLog").setChecked(true);
    QTest::mouseClick(&control<QPushButton>(window, "cmdExecute"), Qt::LeftButton);
    QTRY_VERIFY(!window.isRunInProgress());

    QCOMPARE(messages.texts.size(), 2); // the refused login and the failed table
    QCOMPARE(filesBelow(m_applicationFolder->path()), QStringList({ "ErrorLog.txt", "QuorvaneLog.txt" }));
    QCOMPARE(filesBelow(m_configHome.path()), QStringList { "Quorvane.conf" });
    for (const QString& root : { m_applicationFolder->path(), m_configHome.path() }) {
        for (const QString& piece : { QStringLiteral("Qx7"), QStringLiteral("Zv='k") })
            QVERIFY2(filesHolding(root, piece).isEmpty(), qPrintable(filesHolding(root, piece).join(u',')));
    }
}

QTEST_MAIN(tst_login_e2e)
#include "tst_login_e2e.moc"
