// CONNECT in the login window through the real ODBC driver against the SQL Server stand-in: every
// outcome a user can meet, as the user meets it, each against a stand-in of its own; named
// instances found through the SQL Server Browser service and Windows (domain) logins among them.
// The stand-in answers as the Browser on UDP port 1434, so these tests never run beside another
// program that does.
#include "LoginEndToEnd.h"
#include "db/DriverConnectionString.h"
#include "db/InstanceLookup.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTimer>
#include <QUdpSocket>

using namespace quorvane;
using namespace quorvane::test;

namespace {

// The connection time-out the failing rows give, so that they wait no longer than needed.
constexpr int kShortTimeoutSeconds = 4;
const QString kShortTimeout = QStringLiteral(";Connect Timeout=%1").arg(kShortTimeoutSeconds);
const QString kCheckTable = QStringLiteral("[dbo].[$ndo$usrproperty]");

QString errorLogOf(const QString& folder)
{
    QFile errorLog(QDir(folder).filePath(QStringLiteral("ErrorLog.txt")));
    return errorLog.open(QIODevice::ReadOnly) ? QString::fromUtf8(errorLog.readAll()) : QString();
}

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
    void init() { m_folders.startTest(); }
    void cleanup() { m_folders.endTest(); }
    void outcomeOfConnect_data();
    void outcomeOfConnect();
    void refusedConnectionString_data();
    void refusedConnectionString();
    void passwordIsInNoFileTheProgramWrote_data();
    void passwordIsInNoFileTheProgramWrote();
    void slowCheckKeepsWindowPaintedAndDeaf_data();
    void slowCheckKeepsWindowPaintedAndDeaf();
    void integratedSecurityWithoutTicketSaysWhatToType();
    void browserNamesTheReleasePlayed_data();
    void browserNamesTheReleasePlayed();

private:
    LoginTestFolders m_folders;
};

void tst_login_e2e::initTestCase()
{
    m_folders.startProgram();
    // No Kerberos ticket can be found, whatever the machine holds.
    qputenv("KRB5CCNAME",
            QFile::encodeName(QStringLiteral("FILE:") + QDir(m_folders.configHome()).filePath("no-ticket")));
}

void tst_login_e2e::outcomeOfConnect_data()
{
    QTest::addColumn<QStringList>("standinOptions");
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QString>("server"); // "%PORT%" stands for the stand-in's TCP port
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message"); // empty: the login succeeds
    QTest::addColumn<QString>("passwordValue"); // how the password stands in the connection string handed on

    const QStringList nav { QStringLiteral("--instance"), QStringLiteral("NAV") };
    const QStringList none;
    const QString port = QStringLiteral("127.0.0.1,%PORT%");
    const QString success;
    const QString odd = QStringLiteral(" a;b=c'd \"e ");
    const QString domainValue = QStringLiteral("\"Wq4;Anna 'Dom\"\"2006\"");
    QTest::newRow("Navision database") << none << true << port << "NAV" << kSqlUser << kSqlPassword << success
                                       << kSqlPassword;
    QTest::newRow("no per-user table") << none << true << port << "PLAIN" << kSqlUser << kSqlPassword << kNotNavision
                                       << "";
    QTest::newRow("per-user table without a matching user")
        << none << true << port << "ORPHANED" << kSqlUser << kSqlPassword << kNotNavision << "";
    QTest::newRow("wrong password") << none << true << port << "NAV" << kSqlUser << "nav#2006" << kLoginRefused << "";
    QTest::newRow("nothing listening") << none << false << port << "NAV" << kSqlUser << kSqlPassword << kNoServer << "";
    QTest::newRow("unknown database") << none << true << port << "NOSUCH" << kSqlUser << kSqlPassword << kNoServer
                                      << "";
    QTest::newRow("empty password") << none << true << port << "NAV" << kSqlUser << "" << success << "";
    QTest::newRow("password with ; = ' blanks and a quote")
        << none << true << port << "NAV" << kSqlUser << odd << success << QStringLiteral("\" a;b=c'd \"\"e \"");
    QTest::newRow("instance found through the Browser") << nav << true << "127.0.0.1\\NAV"
                                                        << "NAV" << kSqlUser << kSqlPassword << success << kSqlPassword;
    QTest::newRow("instance named in another case") << nav << true << "127.0.0.1\\nav"
                                                    << "NAV" << kSqlUser << kSqlPassword << success << kSqlPassword;
    QTest::newRow("instance on this computer as (local)")
        << nav << true << "(local)\\NAV"
        << "NAV" << kSqlUser << kSqlPassword << success << kSqlPassword;
    QTest::newRow("unknown instance") << nav << true << "127.0.0.1\\NAVISION"
                                      << "NAV" << kSqlUser << kSqlPassword << kNoServer << "";
    QTest::newRow("no Browser answering") << none << true << "127.0.0.1\\NAV"
                                          << "NAV" << kSqlUser << kSqlPassword << kNoServer << "";
    QTest::newRow("a port typed behind the instance wins over the Browser")
        << none << true << "127.0.0.1\\NOSUCH,%PORT%"
        << "NAV" << kSqlUser << kSqlPassword << success << kSqlPassword;
    QTest::newRow("domain login") << none << true << port << "NAV" << kDomainUser << kDomainPassword << success
                                  << domainValue;
    QTest::newRow("domain login with domain and user in another case")
        << none << true << port << "NAV"
        << "corp\\ANNA" << kDomainPassword << success << domainValue;
    QTest::newRow("domain login at a named instance")
        << nav << true << "127.0.0.1\\NAV"
        << "NAV" << kDomainUser << kDomainPassword << success << domainValue;
    QTest::newRow("domain login, wrong password")
        << none << true << port << "NAV" << kDomainUser << "Wq4;Anna 'Dom\"2007" << kLoginRefused << "";
    QTest::newRow("domain login, another domain") << none << true << port << "NAV"
                                                  << "OTHER\\anna" << kDomainPassword << kLoginRefused << "";
    QTest::newRow("domain account typed without its domain") << none << true << port << "NAV"
                                                             << "anna" << kDomainPassword << kLoginRefused << "";
    QTest::newRow("SQL login typed with a domain") << none << true << port << "NAV"
                                                   << "CORP\\navuser" << kSqlPassword << kLoginRefused << "";
}

void tst_login_e2e::outcomeOfConnect()
{
    QFETCH(QStringList, standinOptions);
    QFETCH(bool, listening);
    QFETCH(QString, server);
    QFETCH(QString, database);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, message);
    QFETCH(QString, passwordValue);
    // The SQL login's own password is the one typed, but for the rows that type a wrong one.
    StandinProcess standin(navCatalogue(message == kLoginRefused ? kSqlPassword : password), standinOptions);
    QVERIFY(standin.started());
    QVERIFY(standin.port() != db::kDefaultSqlServerPort);
    if (!listening)
        standin.stop();
    LoginUnderTest login(m_folders.applicationFolder());
    frmLogin& form = login.form;

    QString shown;
    QElapsedTimer elapsed;
    whileOpen(form, false, [&] {
        elapsed.start();
        shown = connectAs(form, server.replace(QStringLiteral("%PORT%"), QString::number(standin.port())), database,
                          user, password, 0, message.isEmpty() ? QString() : kShortTimeout);
        if (message.isEmpty())
            return;
        // Refused: the window stays as the user left it, the password still off the screen.
        QVERIFY(form.isVisible());
        QCOMPARE(form.findChild<QPlainTextEdit*>("txtConnect")->toPlainText(), shown);
        QCOMPARE(form.findChild<QLineEdit*>("txtPW")->text(), password);
    });

    QCOMPARE(login.messages.texts, message.isEmpty() ? QStringList() : QStringList { message });
    QCOMPARE(login.gstrConnectPass, message.isEmpty() ? shown.replace("%PW%", passwordValue) : QString());
    QCOMPARE(form.result(), message.isEmpty() ? QDialog::Accepted : QDialog::Rejected);
    // The database check was sent exactly when the login was accepted.
    QCOMPARE(standin.sqlTexts().filter(kCheckTable).size(), message.isEmpty() || message == kNotNavision ? 1 : 0);
    // Only an instance that was not found is reported, within the time-out (give or take the
    // driver's start) rather than after the driver's own 16 s, with the instance named.
    const bool instanceNotFound = message == kNoServer && server.contains(QLatin1Char('\\'));
    QCOMPARE(QDir(m_folders.applicationFolder()).entryList(QDir::Files),
             instanceNotFound ? QStringList { "ErrorLog.txt" } : QStringList());
    if (instanceNotFound) {
        QVERIFY2(elapsed.elapsed() < (kShortTimeoutSeconds + 3) * 1000, qPrintable(QString::number(elapsed.elapsed())));
        const QString instance = server.mid(server.indexOf(QLatin1Char('\\')) + 1);
        QVERIFY2(errorLogOf(m_folders.applicationFolder()).contains(QStringLiteral("instance \"%1\"").arg(instance)),
                 qPrintable(errorLogOf(m_folders.applicationFolder())));
        QCOMPARE(filesBelow(m_folders.applicationFolder(), password), QStringList { "ErrorLog.txt" });
    }
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
    StandinProcess standin(navCatalogue());
    QVERIFY(standin.started());
    LoginUnderTest login(m_folders.applicationFolder());

    whileOpen(login.form, false, [&] {
        connectAs(login.form, QStringLiteral("127.0.0.1"), QStringLiteral("NAV"), kSqlUser, kSqlPassword,
                  standin.port(), edit);
    });

    QCOMPARE(login.messages.texts, QStringList { QStringLiteral("An unexpected error has occurred.\r\n") + refusal });
    QVERIFY(!login.messages.texts.first().contains(kSqlPassword));
    QCOMPARE(login.gstrConnectPass, QString());
    QCOMPARE(standin.statements(), QJsonArray());
}

void tst_login_e2e::passwordIsInNoFileTheProgramWrote_data()
{
    QTest::addColumn<QStringList>("standinOptions");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("wrongPassword"); // typed first, and refused
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("pieces"); // of the passwords, looked for in the files
    const QStringList nav { QStringLiteral("--instance"), QStringLiteral("NAV") };
    QTest::newRow("SQL login") << QStringList() << "127.0.0.1,%PORT%" << kSqlUser << " Qx7;Zv='k \"8 "
                               << " Qx7;Zv='k \"9 " << QStringList { "Qx7", "Zv='k" };
    // The login travels in the clear on 2000, and encrypted on 2016.
    for (const char* release : { "2000", "2016" })
        QTest::addRow("domain login at a named instance, %s", release)
            << StandinProcess::releaseOptions(release) + nav << "127.0.0.1\\NAV" << kDomainUser << "Wq4;Anna 'Dom\"2005"
            << kDomainPassword << QStringList { "Wq4;Anna", "Dom\"2006", "Dom\"2005" };
}

// The whole way from the login window, where a wrong password is refused first, through a fix run
// that logs its statements to a file and reports a failed table: the Navision check passes, the
// keys are rebuilt, and the passwords are in none of the files written on the way.
void tst_login_e2e::passwordIsInNoFileTheProgramWrote()
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
    RecordingMessageSink messages;
    QtSettingsStore settings(LoginTestFolders::settingsTitle());
    const SystemClock clock;
    const Platform platform { messages, settings, clock, db::odbcConnectionFactory(), m_folders.applicationFolder() };
    frmMain window(platform, [&](frmMain& owner, bool) {
        QString gstrConnectPass;
        frmLogin login(platform, owner.errorReport(), gstrConnectPass, &owner);
        whileOpen(login, false, [&] {
            connectAs(login, server, QStringLiteral("NAV"), user, wrongPassword, 0);
            QCOMPARE(messages.texts, QStringList { kLoginRefused });
            connectAs(login, server, QStringLiteral("NAV"), user, password, 0);
        });
        return gstrConnectPass;
    });
    QVERIFY(window.Form_Load());
    QCOMPARE(standin.sqlTexts().filter(kCheckTable).size(), 1);

    rebuildEveryTable(window);

    QCOMPARE(messages.texts.size(), 2); // the refused login and the failed key
    QVERIFY(clustered(standin.state(), QStringLiteral("CRONUS$Customer")));
    for (const QString& piece : pieces) {
        QCOMPARE(filesBelow(m_folders.applicationFolder(), piece), QStringList({ "ErrorLog.txt", "QuorvaneLog.txt" }));
        QCOMPARE(m_folders.settingsHolding(piece), LoginTestFolders::kSettingsStored);
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
    QJsonObject fixture = navCatalogue();
    fixture.insert("faults", QJsonArray { QJsonObject { { "statement", "check" }, { "delay_ms", 1500 } } });
    StandinProcess standin(fixture);
    QVERIFY(standin.started());
    QTcpServer silentServer;
    QVERIFY(silentServer.listen(QHostAddress::LocalHost));
    LoginUnderTest login(m_folders.applicationFolder());
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
        connectAs(form, QStringLiteral("127.0.0.1"), database, kSqlUser, kSqlPassword,
                  silent ? silentServer.serverPort() : standin.port(),
                  silent ? QStringLiteral(";Connect Timeout=2") : QString());
    });

    QCOMPARE(closed, QList<bool> { false });
    QVERIFY(paints.counted > 0);
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(login.messages.texts, message.isEmpty() ? QStringList() : QStringList { message });
    QCOMPARE(form.result(), message.isEmpty() ? QDialog::Accepted : QDialog::Rejected);
    QCOMPARE(login.gstrConnectPass.isEmpty(), !message.isEmpty());
    QCOMPARE(standin.sqlTexts().filter(kCheckTable).size(), silent ? 0 : 1);
}

// Integrated Security needs a Kerberos ticket of the account logged on here; without one the
// login fails, and the error record says what to type instead.
void tst_login_e2e::integratedSecurityWithoutTicketSaysWhatToType()
{
    StandinProcess standin(navCatalogue());
    QVERIFY(standin.started());
    LoginUnderTest login(m_folders.applicationFolder());
    whileOpen(login.form, false, [&] {
        connectAs(login.form, QStringLiteral("127.0.0.1,%1").arg(standin.port()), QStringLiteral("NAV"), kDomainUser,
                  kDomainPassword, 0, QStringLiteral(";Integrated Security=SSPI") + kShortTimeout);
    });

    QCOMPARE(login.messages.texts, QStringList { kNoServer });
    QVERIFY(login.gstrConnectPass.isEmpty());
    const QString record = errorLogOf(m_folders.applicationFolder());
    QVERIFY2(record.contains(QStringLiteral("type the user name as DOMAIN\\user with its password instead")),
             qPrintable(record));
    QCOMPARE(filesBelow(m_folders.applicationFolder(), kDomainPassword), QStringList { "ErrorLog.txt" });
}

void tst_login_e2e::browserNamesTheReleasePlayed_data()
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
void tst_login_e2e::browserNamesTheReleasePlayed()
{
    QFETCH(QString, release);
    QFETCH(QString, version);
    StandinProcess standin(navCatalogue(),
                           StandinProcess::releaseOptions(release) + QStringList { "--instance", "NAV" });
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

QTEST_MAIN(tst_login_e2e)
#include "tst_login_e2e.moc"
