// CONNECT in the login window through the real ODBC driver against the SQL Server stand-in: every
// outcome a user can meet, as the user meets it, each against a stand-in of its own; named
// instances found through the SQL Server Browser service and Windows (domain) logins among them.
// The stand-in answers as the Browser on UDP port 1434, so these tests never run beside another
// program that does.
#include "LoginEndToEnd.h"
#include "db/DriverConnectionString.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTimer>

using namespace quorvane;
using namespace quorvane::test;

namespace {

// The connection time-out the failing rows give, so that they wait no longer than needed.
const QString kShortTimeout = QStringLiteral(";Connect Timeout=4");
const QString kCheckTable = QStringLiteral("[dbo].[$ndo$usrproperty]");
const QString kUnexpected = QStringLiteral("An unexpected error has occurred.\r\n");
// The stand-in's options that serve its databases as the named instance NAV.
const QStringList kNavInstance { QStringLiteral("--instance"), QStringLiteral("NAV") };

// One CONNECT: the stand-in's options, what the user types, and what the user meets.
struct Connect
{
    QStringList standinOptions {};
    // %PORT%: the stand-in's TCP port; %SILENT%: a server that takes the connection and never answers
    QString server = QStringLiteral("127.0.0.1,%PORT%");
    QString database = QStringLiteral("NAV");
    QString user = kSqlUser;
    QString password = kSqlPassword;
    QString edit {}; // typed in front of the password's keyword in the built connection string
    QString message {}; // empty: the login succeeds
    QString passwordValue = kSqlPassword; // how the password stands in the connection string handed on
    QString logged {}; // what the error log records; empty: there is no error log
    bool listening = true;
    bool waits = false; // the server takes its time (the stand-in answers the check late)
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

Q_DECLARE_METATYPE(Connect)

class tst_login_e2e : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_folders.startProgram();
        // No Kerberos ticket can be found, whatever the machine holds.
        qputenv("KRB5CCNAME",
                QFile::encodeName(QStringLiteral("FILE:") + QDir(m_folders.configHome()).filePath("no-ticket")));
    }

    void init() { m_folders.startTest(); }
    void cleanup() { m_folders.endTest(); }
    void outcomeOfConnect_data()
    {
        QTest::addColumn<Connect>("connect");
        const QString noTicket = QStringLiteral("type the user name as DOMAIN\\user with its password instead");
        const auto row = [](const char* name, const Connect& connect) { QTest::newRow(name) << connect; };
        row("Navision database", {});
        row("no per-user table", { .database = "PLAIN", .message = kNotNavision });
        row("wrong password", { .password = "nav#2006", .message = kLoginRefused });
        row("nothing listening", { .message = kNoServer, .listening = false });
        row("unknown database", { .database = "NOSUCH", .message = kNoServer });
        row("password with ; = ' blanks and a quote",
            { .password = " a;b=c'd \"e ", .passwordValue = QStringLiteral("\" a;b=c'd \"\"e \"") });
        row("instance found through the Browser", { .standinOptions = kNavInstance, .server = "127.0.0.1\\NAV" });
        row("unknown instance",
            { .standinOptions = kNavInstance,
              .server = "127.0.0.1\\NAVISION",
              .message = kNoServer,
              .logged = "instance \"NAVISION\"" });
        row("a port typed behind the instance wins over the Browser", { .server = "127.0.0.1\\NOSUCH,%PORT%" });
        // Integrated Security needs a Kerberos ticket of the account logged on here, and there is none.
        row("Integrated Security without a ticket",
            { .user = kDomainUser,
              .password = kDomainPassword,
              .edit = ";Integrated Security=SSPI",
              .message = kNoServer,
              .logged = noTicket });
        row("Trusted_Connection without a ticket",
            { .edit = ";trusted_connection=yes", .message = kNoServer, .logged = noTicket });
        // A connection string edited by hand that cannot be used as written: the reason on the next line.
        row("unknown keyword",
            { .edit = ";Bogus Option=1",
              .message = kUnexpected + "The connection string keyword \"Bogus Option\" is not supported." });
        // A server that takes its time; the login time-out the template leaves to the driver is 15 s,
        // the silent server's row shortens it.
        row("check answered late", { .waits = true });
        row("silent server until the login time-out",
            { .server = "127.0.0.1,%SILENT%", .edit = ";Connect Timeout=2", .message = kNoServer, .waits = true });
        row("value the driver cannot take",
            { .edit = ";Connect Timeout=soon",
              .message = kUnexpected + "\"Connect Timeout\" must be a whole number of seconds." });
    }

    void outcomeOfConnect()
    {
        QFETCH(Connect, connect);
        const bool accepted = connect.message.isEmpty();
        // The SQL login's own password is the one typed, but for the rows that type a wrong one.
        QJsonObject fixture = navCatalogue(connect.message == kLoginRefused ? kSqlPassword : connect.password);
        if (connect.waits)
            fixture.insert("faults", QJsonArray { QJsonObject { { "statement", "check" }, { "delay_ms", 1500 } } });
        StandinProcess standin(fixture, connect.standinOptions);
        QVERIFY(standin.started());
        QTcpServer silentServer;
        QVERIFY(silentServer.listen(QHostAddress::LocalHost));
        QVERIFY(standin.port() != db::kDefaultSqlServerPort);
        if (!connect.listening)
            standin.stop();
        LoginUnderTest login(m_folders.applicationFolder());
        frmLogin& form = login.form;
        auto& cmdConnect = *form.findChild<QPushButton*>("cmdConnect");

        // While CONNECT waits on the server, the window keeps painting; a click on CONNECT, Enter and
        // closing the window are all dropped.
        QList<bool> closed;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, this, [&] {
            if (!PaintsDuringWait::waitCursorShows())
                return;
            form.update();
            if (!closed.isEmpty())
                return;
            // The way the window system delivers them: to the window.
            QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {},
                              cmdConnect.mapTo(&form, cmdConnect.rect().center()));
            QTest::keyClick(form.windowHandle(), Qt::Key_Return);
            closed.append(form.close());
        });
        PaintsDuringWait paints;
        form.installEventFilter(&paints);
        timer.start(10);

        QString shown;
        whileOpen(form, false, [&] {
            shown = connectAs(form,
                              connect.server.replace(QStringLiteral("%PORT%"), QString::number(standin.port()))
                                  .replace(QStringLiteral("%SILENT%"), QString::number(silentServer.serverPort())),
                              connect.database, connect.user, connect.password, 0,
                              accepted ? connect.edit : kShortTimeout + connect.edit);
            if (accepted)
                return;
            // Refused: the window stays as the user left it, the password still off the screen.
            QVERIFY(form.isVisible());
            QCOMPARE(form.findChild<QPlainTextEdit*>("txtConnect")->toPlainText(), shown);
            QCOMPARE(form.findChild<QLineEdit*>("txtPW")->text(), connect.password);
        });

        QVERIFY(!closed.contains(true));
        QVERIFY(!QApplication::overrideCursor());
        if (connect.waits)
            QVERIFY(paints.counted > 0 && !closed.isEmpty());
        QCOMPARE(login.messages.texts, accepted ? QStringList() : QStringList { connect.message });
        QCOMPARE(login.gstrConnectPass, accepted ? shown.replace("%PW%", connect.passwordValue) : QString());
        QCOMPARE(form.result(), accepted ? QDialog::Accepted : QDialog::Rejected);
        // The database check was sent exactly when the login was accepted.
        QCOMPARE(standin.sqlTexts().filter(kCheckTable).size(), accepted || connect.message == kNotNavision ? 1 : 0);
        // Only what the message cannot tell is recorded, and never with the password.
        const QString folder = m_folders.applicationFolder();
        QCOMPARE(filesBelow(folder, connect.password),
                 connect.logged.isEmpty() ? QStringList() : QStringList { "ErrorLog.txt" });
        if (!connect.logged.isEmpty()) {
            const QString logged = QString::fromUtf8(fileBytes(QDir(folder).filePath(QStringLiteral("ErrorLog.txt"))));
            QVERIFY2(logged.contains(connect.logged), qPrintable(logged));
        }
    }

    void passwordIsInNoFileTheProgramWrote_data()
    {
        QTest::addColumn<QStringList>("standinOptions");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("wrongPassword"); // typed first, and refused
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("pieces"); // of the passwords, looked for in the files
        QTest::newRow("SQL login") << QStringList() << "127.0.0.1,%PORT%" << kSqlUser << " Qx7;Zv='k \"8 "
                                   << " Qx7;Zv='k \"9 " << QStringList { "Qx7", "Zv='k" };
        // On 2000 the login travels in the clear.
        QTest::newRow("domain login at a named instance, 2000")
            << StandinProcess::releaseOptions("2000") + kNavInstance << "127.0.0.1\\NAV" << kDomainUser
            << "Wq4;Anna 'Dom\"2005" << kDomainPassword << QStringList { "Wq4;Anna", "Dom\"2006", "Dom\"2005" };
    }

    // The whole way from the login window, where a wrong password is refused first, through a fix run
    // that logs its statements to a file and reports a failed table: the Navision check passes, the
    // keys are rebuilt, and the passwords are in none of the files written on the way.
    void passwordIsInNoFileTheProgramWrote()
    {
        QFETCH(QStringList, standinOptions);
        QFETCH(QString, server);
        QFETCH(QString, user);
        QFETCH(QString, wrongPassword);
        QFETCH(QString, password);
        QFETCH(QStringList, pieces);
        StandinProcess standin(navCatalogue(password), standinOptions);
        QVERIFY(standin.started());
        server.replace(QStringLiteral("%PORT%"), QString::number(standin.port()));
        // The platform and messages of a login window that stays shut.
        LoginUnderTest shared(m_folders.applicationFolder());
        bool countedDown = false;
        frmMain window(shared.platform, [&](frmMain& owner, bool countDown) {
            countedDown = countDown; // at start-up the notice is read before CONNECT
            QString gstrConnectPass;
            frmLogin login(shared.platform, owner.errorReport(), gstrConnectPass, &owner);
            whileOpen(login, false, [&] {
                connectAs(login, server, QStringLiteral("NAV"), user, wrongPassword, 0);
                QCOMPARE(shared.messages.texts, QStringList { kLoginRefused });
                connectAs(login, server, QStringLiteral("NAV"), user, password, 0);
            });
            return gstrConnectPass;
        });
        QVERIFY(window.Form_Load());
        QVERIFY(countedDown);
        QCOMPARE(standin.sqlTexts().filter(kCheckTable).size(), 1);

        // Every table ticked with "Select All Tables", and the rebuild run with the activity log on.
        window.findChild<QCheckBox*>("chkAll")->click();
        window.findChild<QCheckBox*>("chkLog")->setChecked(true);
        QTest::mouseClick(window.findChild<QPushButton*>("cmdExecute"), Qt::LeftButton);
        QTRY_VERIFY(!window.isRunInProgress());

        QCOMPARE(shared.messages.texts.size(), 2); // the refused login and the failed key
        QVERIFY(clustered(standin.state(), QStringLiteral("CRONUS$Customer")));
        for (const QString& piece : pieces) {
            QCOMPARE(filesBelow(m_folders.applicationFolder(), piece),
                     QStringList({ "ErrorLog.txt", "QuorvaneLog.txt" }));
            QCOMPARE(m_folders.settingsHolding(piece), LoginTestFolders::settingsStored());
        }
    }

private:
    LoginTestFolders m_folders;
};

QTEST_MAIN(tst_login_e2e)
#include "tst_login_e2e.moc"
