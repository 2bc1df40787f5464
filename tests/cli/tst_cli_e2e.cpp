#include "support/FilesHolding.h"
#include "support/HostProcess.h"
#include "support/StandinFixture.h"
#include "support/StandinProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

using namespace quorvane::test;

namespace {

// A password the connection string must quote: a semicolon, both quotes, a blank at the end.
const QString kAwkwardPassword = QStringLiteral("Kx;9'\"q ");

// Waits for the run to end: its exit status, or -1 when it did not end normally.
int exitStatusOf(QProcess& process)
{
    if (!process.waitForFinished(60000))
        process.kill();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Ctrl+C to the running program, as the user at its terminal gives it; false when it could not be sent.
bool interrupt(QProcess& process)
{
#ifdef Q_OS_WIN
    // Ctrl+C reaches every process of a console, so this one joins the program's console for
    // the moment, ignoring the event itself, and sends it there.
    FreeConsole();
    if (!AttachConsole(static_cast<DWORD>(process.processId())))
        return false;
    SetConsoleCtrlHandler(nullptr, TRUE);
    const bool sent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
    QThread::msleep(500); // the event reaches this process too, on a thread of its own
    FreeConsole();
    // Programs started later inherit the ignoring, and would ignore their own Ctrl+C.
    SetConsoleCtrlHandler(nullptr, FALSE);
    return sent;
#else
    return ::kill(static_cast<pid_t>(process.processId()), SIGINT) == 0;
#endif
}

// The output's lines without their line ends.
QStringList linesOf(const QString& text)
{
    return QString(text).remove(QLatin1Char('\r')).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

// quorvane-cli itself, through the FreeTDS ODBC driver against the stand-in; what reached the
// server is read back from the stand-in's statement log and saved catalogue.
class tst_CliEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_standin.reset();
        m_home = std::make_unique<QTemporaryDir>();
    }
    void commands_data();
    void commands();
    void passwordPromptAtATerminal();

private:
    void start(QProcess& process, QStringList arguments, const QString& password = {}, const QByteArray& input = {});
    // Where a run writes its failures unless told otherwise, with the platform's separators.
    QString defaultErrorLog() const
    {
#ifdef Q_OS_WIN
        return QDir::toNativeSeparators(m_home->filePath(QStringLiteral("ErrorLog.txt")));
#else
        return m_home->filePath(QStringLiteral(".local/share/Quorvane/ErrorLog.txt"));
#endif
    }
    QStringList connection() const
    {
        return { "--connect", m_standin->connectionString(kDatabaseName, kLoginName, QStringLiteral("%PW%")) };
    }

    std::unique_ptr<StandinProcess> m_standin;
    std::unique_ptr<QTemporaryDir> m_home;
};

// Runs build/bin/quorvane-cli as a user would, with the password in QUORVANE_PASSWORD (a null
// password: not set) and the input on standard input, which is then closed, and with a folder of
// its own for the default error log: on Linux the home folder, so the log lands in
// ~/.local/share/Quorvane of that folder. Windows finds that folder in the user's profile, never
// through the environment, so there every run gets --error-log in this folder instead; the user's
// own log stays untouched.
void tst_CliEndToEnd::start(QProcess& process, QStringList arguments, const QString& password, const QByteArray& input)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QUORVANE_PASSWORD"));
    environment.remove(QStringLiteral("XDG_DATA_HOME"));
    environment.insert(QStringLiteral("HOME"), m_home->path());
    if (!password.isNull())
        environment.insert(QStringLiteral("QUORVANE_PASSWORD"), password);
#ifdef Q_OS_WIN
    if (arguments.value(0) == QLatin1String("run") && !arguments.contains(QLatin1String("--error-log")))
        arguments << QStringLiteral("--error-log") << defaultErrorLog();
#endif
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUORVANE_CLI_PATH), arguments);
    process.waitForStarted(10000);
    process.write(input);
    process.closeWriteChannel();
}

void tst_CliEndToEnd::commands_data()
{
    QTest::addColumn<QJsonObject>("fixture"); // none: no stand-in
    QTest::addColumn<QStringList>("arguments"); // "--connect" to the stand-in follows a command without --server
    QTest::addColumn<QString>("password"); // in QUORVANE_PASSWORD; null: not set
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QStringList>("out"); // a failure up to "failed" stands for any message; "…" for the rest
    QTest::addColumn<QString>("err");
    QTest::addColumn<QString>("keys"); // of the dbo tables afterwards: Clustered, non-clustered (n) or none (-)
    QTest::addColumn<QStringList>("files"); // what the run left in its folder, none holding the password

    const QString pw = kAwkwardPassword;
    // Arguments apart at blanks, output lines apart at line ends.
    const auto row = [&pw](const char* name, const QJsonObject& fixture, const QString& arguments, int exitStatus,
                           const QString& out, const QString& err, const QString& keys, const QStringList& files = {},
                           const QString& password = kAwkwardPassword, const QByteArray& input = {}) {
        QTest::newRow(name) << fixture << arguments.split(' ', Qt::SkipEmptyParts) << password << input << exitStatus
                            << out.split('\n', Qt::SkipEmptyParts) << err << keys << files;
    };
    const QJsonObject marks = databaseFixture(everyMark(), {}, pw);
    const auto numbered = [&pw](int count, const QJsonArray& faults = {}) {
        return databaseFixture(numberedTables(count, "T"), faults, pw);
    };
    const QString usage
        = QStringLiteral("Usage: quorvane-cli list   CONNECTION [--format text|csv|json]\n"
                         "       quorvane-cli script CONNECTION [KEYS]\n"
                         "       quorvane-cli run    CONNECTION [KEYS] [--log-file PATH] [--error-log PATH]\n"
                         "       [--lock-timeout SECONDS|none]\n"
                         "CONNECTION: --server HOST[,PORT][\\INSTANCE] --database DB --user USER\n"
                         "            | --connect \"ADO-style string with %PW%\"   [--password-stdin]\n"
                         "KEYS:       --not-clustered (default) | --all | --key CONSTRAINT (repeatable)\n"
                         "Try 'quorvane-cli --help' for more.\n");
    const QString errorBox = QStringLiteral("quorvane-cli: An Error has occurred, Please see the ErrorLog.txt file for "
                                            "details.\n");

    row("list, text", marks, "list", 0,
        "Schema  Table           Primary key     Clust.     Rows      KB  Refusal\n"
        "dbo     A$Clustered     A$Clustered$0   yes     1234567  870400\n"
        "dbo     B$Customer      B$Customer$0    no         5213    6128  foreign key\n"
        "dbo     C$Sales Header  …ales Header$0  no            0       0\n"
        "dbo     D$Sales Line    D$Sales Line$0  no            0       0  other clustered\n"
        "dbo     E$Dup           E$Dup$0         no            0       0\n"
        "-       E$Dup           E$Dup$0         no            0       0  not in dbo\n"
        "-       F$Archive       F$Archive$0     no            0       0  not in dbo\n"
        "dbo     G$Item          G$Item$0        no            1      16",
        "", "Cnnnnn");
    row("list, CSV, the login window's fields", numbered(2),
        "list --format csv --server %SERVER% --database CRONUS --user navuser", 0,
        "constraint,table,schema,clustered,rows,reserved_kb,refusal,filegroup\nT1$0,T1,dbo,false,0,0,,PRIMARY\n"
        "T2$0,T2,dbo,false,0,0,,PRIMARY",
        "", "nn");
    row("list, JSON", numbered(0), "list --format json", 0, "[\n]", "", "");
    row("script", numbered(1), "script", 0,
        "-- Primary keys re-created as clustered primary keys\n-- Server: %SERVER%\n-- Database: CRONUS\n-- Time: …\n"
        "SET XACT_ABORT ON\nGO\n-- T1 (T1$0), key columns [No_]\nBEGIN TRANSACTION\n"
        "ALTER TABLE dbo.[T1] DROP CONSTRAINT [T1$0]\n"
        "ALTER TABLE dbo.[T1] ADD CONSTRAINT [T1$0] PRIMARY KEY CLUSTERED  ([No_]) ON [PRIMARY]\nCOMMIT "
        "TRANSACTION\nGO",
        "", "n");
    row("run, the keys not clustered", marks, "run", 0,
        "C$Sales Header\tC$Sales Header$0\trebuilt\nE$Dup\tE$Dup$0\trebuilt\nG$Item\tG$Item$0\trebuilt\n"
        "Done: 3 rebuilt, 0 failed, 0 skipped, 0 not processed.",
        "", "CnCnCC");
    row("run, every key", marks, "run --all", 1,
        "A$Clustered\tA$Clustered$0\trebuilt\nB$Customer\tB$Customer$0\tfailed\n"
        "C$Sales Header\tC$Sales Header$0\trebuilt\nD$Sales Line\tD$Sales Line$0\tfailed: Cannot create more than "
        "one clustered index on table 'D$Sales Line'. Drop the existing clustered index '$1' before creating another. "
        "Could not create constraint. See previous errors.\nE$Dup\tE$Dup$0\trebuilt\n"
        "E$Dup\tE$Dup$0\trebuilt\nF$Archive\tF$Archive$0\tskipped: the key has no columns\nG$Item\tG$Item$0\trebuilt\n"
        "Done: 5 rebuilt, 2 failed, 1 skipped, 0 not processed.",
        errorBox + "quorvane-cli: The failures are recorded in %LOG%.\n", "CnCnCC", { "ErrorLog.txt" });
    row("run, keys named, password on standard input, log files", numbered(4),
        "run --key T3$0 --key T1$0 --password-stdin --log-file %F%/activity.log --error-log %F%/errors.txt", 0,
        "T1\tT1$0\trebuilt\nT3\tT3$0\trebuilt\nDone: 2 rebuilt, 0 failed, 0 skipped, 0 not processed.", "", "CnCn",
        { "activity.log" }, QString(), pw.toUtf8() + "\r\n");
    row("run, connection lost", numbered(5, { fault("add", "T3", "disconnect", true) }), "run --all", 1,
        "T1\tT1$0\trebuilt\nT2\tT2$0\trebuilt\nT3\tT3$0\tfailed\nDone: 2 rebuilt, 1 failed, 0 skipped, 2 not "
        "processed.",
        errorBox
            + "quorvane-cli: The connection to the server was lost. 2 ticked tables were not processed.\n"
              "quorvane-cli: The failures are recorded in %LOG%.\n",
        "CCnnn", { "ErrorLog.txt" });
    // A second Ctrl+C cancels the ADD the server is still working on; the table keeps its key.
    row("run, Ctrl+C twice", numbered(5, { fault("add", "T2", "delay_ms", 60000) }), "run --all", 1,
        "T1\tT1$0\trebuilt\nT2\tT2$0\tcancelled, not changed\nDone: 1 rebuilt, 0 failed, 0 skipped, 4 not processed.",
        "\nCtrl+C: stopping once the current table's transaction has ended.\n"
        "\nCtrl+C again: cancelling the current statement; its table is rolled back.\n"
        "quorvane-cli: Stopped at Ctrl+C. 4 keys were not processed.\n",
        "Cnnnn");
    row("run, a table held by another session", withDatabaseKeys(numbered(3), sessionHolding("T2", 60000)),
        "run --all --lock-timeout 2", 1,
        "T1\tT1$0\trebuilt\nT2\tT2$0\tbusy, not changed: in use by session 57 (NAVCLIENT12, CRONUS\\anna, Microsoft "
        "Business Solutions-Navision)\nT3\tT3$0\trebuilt\nDone: 2 rebuilt, 1 failed, 0 skipped, 0 not processed.",
        errorBox + "quorvane-cli: The failures are recorded in %LOG%.\n", "CnC", { "ErrorLog.txt" });
    row("run, Ctrl+C", numbered(5, { fault("add", "T2", "delay_ms", 3000) }), "run --all", 1,
        "T1\tT1$0\trebuilt\nT2\tT2$0\trebuilt\nDone: 2 rebuilt, 0 failed, 0 skipped, 3 not processed.",
        "\nCtrl+C: stopping once the current table's transaction has ended.\n"
        "quorvane-cli: Stopped at Ctrl+C. 3 keys were not processed.\n",
        "CCnnn");
    // A name holding a line break and a terminal escape sequence, quoted by the server's refusal too: every
    // output and log shows them, none obeys them, and the log is named only when it holds the failure.
    const QString evil = QStringLiteral("CRONUS$Evil\r\n\x1b[31mT");
    const QString shown = QStringLiteral("CRONUS$Evil<CR><LF><ESC>[31mT");
    const QJsonObject duplicate { { "number", 1505 }, { "message", "Duplicate in '" + evil + "'.\nForged line" } };
    const QJsonObject named = databaseFixture({ keyedTable(evil) }, { fault("add", evil, "error", duplicate) }, pw);
    const QString failed = shown + '\t' + shown + "$0\tfailed";
    const QString done = QStringLiteral("\nDone: 0 rebuilt, 1 failed, 0 skipped, 0 not processed.");
    row("list, control characters", named, "list", 0,
        "Schema  Table                  Primary key             Clust.  Rows  KB  Refusal\n"
        "dbo     …il<CR><LF><ESC>[31mT  …l<CR><LF><ESC>[31mT$0  no         0   0",
        "", "n");
    row("run, control characters", named, "run --all --log-file %F%/a.txt --error-log %F%/e.txt", 1,
        failed + ": Duplicate in '" + shown + "'.<LF>Forged line Could not create constraint.…" + done,
        errorBox + "quorvane-cli: The failures are recorded in %LOG%.\n", "n", { "a.txt", "e.txt" });
    row("run, an error log that cannot be written", named, "run --all --error-log %F%/none/e.txt", 1, failed + done,
        "quorvane-cli: An error occurred while attempting to save a file.\nNumber: 76\nDescription: Path not found\n"
            + errorBox,
        "n");
    row("run, key details unreadable",
        databaseFixture(everyMark(), { fault("key_details", {}, "error", duplicate) }, pw), "run", 1, "",
        "quorvane-cli: Which keys are clustered could not be read; choose the keys with --all or --key.\n", "Cnnnnn",
        { "ErrorLog.txt" });
    row("run, no such key", numbered(2), "run --key T9$0", 64, "",
        "quorvane-cli: No primary key is named \"T9$0\".\n" + usage, "nn");
    row("wrong password", numbered(1), "run --all", 2, "", "quorvane-cli: The Login information entered was invalid.\n",
        "n", {}, "not the password");
    row("no password", numbered(1), "list", 64, "",
        "quorvane-cli: No password: type it at the terminal, pass one line on standard input with --password-stdin, "
        "or set QUORVANE_PASSWORD.\n"
            + usage,
        "n", {}, QString());
    row("no command", {}, "", 64, "", "quorvane-cli: Name a command: list, script or run.\n" + usage, "");
    row("help", {}, "--help", 0, usage.split('\n')[0] + "\n…", "", "");
}

void tst_CliEndToEnd::commands()
{
    QFETCH(QJsonObject, fixture);
    QFETCH(QStringList, arguments);
    QFETCH(QString, password);
    QFETCH(QByteArray, input);
    QFETCH(QStringList, out);
    QFETCH(QString, err);

    if (!fixture.isEmpty()) {
        m_standin = std::make_unique<StandinProcess>(fixture);
        QVERIFY(m_standin->started());
    }
    const QString command = arguments.value(0);
    arguments.replaceInStrings(QStringLiteral("%F%"), m_home->path());
    if (QStringList { "list", "script", "run" }.contains(command) && !arguments.contains(QLatin1String("--server")))
        arguments += connection();
    else if (m_standin)
        arguments.replaceInStrings(QStringLiteral("%SERVER%"), m_standin->dataSource());
    QProcess process;
    start(process, arguments, password, input);
    if (fixture["faults"][0]["delay_ms"].toInt() > 0) {
        // Ctrl+C while the server works on the delayed statement.
        static const QRegularExpression add(QStringLiteral("^ALTER TABLE dbo\\.\\[T2\\] ADD"));
        QTRY_VERIFY_WITH_TIMEOUT(!m_standin->sqlTexts().filter(add).isEmpty(), 20000);
        QVERIFY(interrupt(process));
        // A delay longer than any run: the second Ctrl+C, once the first has been taken.
        if (fixture["faults"][0]["delay_ms"].toInt() > 10000) {
            QTest::qWait(500);
            QVERIFY(interrupt(process));
        }
    }
    QTEST(exitStatusOf(process), "exitStatus");
    // The program writes in the system's 8-bit code page (the ANSI one on Windows, with CR LF there).
    const QString stdOut = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString stdErr = QString::fromLocal8Bit(process.readAllStandardError()).remove(QLatin1Char('\r'));
    QStringList lines = linesOf(stdOut);
    out.replaceInStrings(QStringLiteral("%SERVER%"), m_standin ? m_standin->dataSource() : QString());
    for (qsizetype line = 0; line < lines.size() && line < out.size(); ++line) {
        const QString& expected = out[line];
        if (expected == QStringLiteral("…")) {
            lines = lines.mid(0, line) << expected;
            break;
        }
        if ((expected.endsWith(QStringLiteral("…")) && lines[line].startsWith(expected.chopped(1)))
            || (expected.endsWith(QLatin1String("\tfailed")) && lines[line].startsWith(expected + ": ")))
            lines[line] = expected;
    }
    QCOMPARE(lines, out);
    const qsizetype errorLogAt = arguments.indexOf(QLatin1String("--error-log"));
    const QString errorLog = errorLogAt < 0 ? defaultErrorLog() : arguments[errorLogAt + 1];
    QCOMPARE(stdErr, err.replace(QStringLiteral("%LOG%"), QDir::toNativeSeparators(errorLog)));

    if (m_standin) {
        QString keysAfter;
        const QStringList sent = m_standin->sqlTexts();
        for (const QJsonValue& table : m_standin->state()["databases"][0]["tables"].toArray()) {
            const QJsonValue key = table["primary_key"];
            if (table["schema"] == "dbo")
                keysAfter += !key.isObject() ? '-' : key["clustered"].toBool() ? 'C' : 'n';
            // A run sends nothing at all for a table its output does not name; the others change nothing.
            const QString name = table["name"].toString();
            const QString shown = QString(name).replace('\r', "<CR>").replace('\n', "<LF>").replace('\x1b', "<ESC>");
            if (command == QLatin1String("run")
                && lines.filter(QRegularExpression('^' + QRegularExpression::escape(shown) + '\t')).isEmpty())
                QVERIFY2(sent.filter('[' + name + ']').isEmpty() && sent.filter('\'' + name + '\'').isEmpty(),
                         qPrintable(name));
        }
        QTEST(keysAfter, "keys");
    }
    // Every failure is recorded in the error log, as the window records it, in three lines with no escape
    // sequence; a log that cannot be written holds nothing, and the output says so instead.
    const QByteArray errors = fileBytes(errorLog);
    QCOMPARE(errors.count("Source: CreateClusteredIndex\r\nNumber: "),
             stdErr.contains("attempting to save")
                 ? 0
                 : lines.filter(QRegularExpression(QStringLiteral("\t(failed|busy)"))).size());
    QVERIFY(errors.count("\r\n") == 3 * errors.count("Source: ") && !errors.contains('\x1b'));
    // The activity log, when asked for: the time to the second and the statement, for every key rebuilt or
    // refused at the ADD.
    if (const qsizetype logAt = arguments.indexOf(QLatin1String("--log-file")); logAt >= 0) {
        QStringList expected;
        for (const QString& line : lines.filter(QRegularExpression(QStringLiteral("\t(rebuilt$|failed)")))) {
            const QStringList key = line.split(QLatin1Char('\t'));
            const QString alter = QStringLiteral("ALTER TABLE dbo.[%1] %2 CONSTRAINT [%3]");
            expected << "DROP: " + alter.arg(key[0], "DROP", key[1])
                     << "ADD: " + alter.arg(key[0], "ADD", key[1]) + " PRIMARY KEY CLUSTERED  ([No_]) ON [PRIMARY]";
        }
        static const QRegularExpression stamp(QStringLiteral("^\\S.* \\d{1,2}[:.]\\d\\d[:.]\\d\\d( [AP]M)?- "));
        QCOMPARE(QString::fromLocal8Bit(fileBytes(arguments[logAt + 1]))
                     .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)
                     .replaceInStrings(stamp, QString()),
                 expected);
    }
    const QString given = password.isNull() ? QString::fromUtf8(input) : password;
    QTEST(filesBelow(m_home->path(), given.trimmed()), "files");
    QVERIFY(given.isEmpty() || (!stdOut.contains(given.trimmed()) && !stdErr.contains(given.trimmed())));
}

void tst_CliEndToEnd::passwordPromptAtATerminal()
{
#ifdef Q_OS_WIN
    QSKIP("the prompt's echo is seen through a pseudo-terminal, which Windows does not have");
#else
    m_standin = std::make_unique<StandinProcess>(databaseFixture(numberedTables(1, "T"), {}, kAwkwardPassword));
    QVERIFY(m_standin->started());
    int master = -1, terminal = -1;
    QVERIFY(openpty(&master, &terminal, nullptr, nullptr, nullptr) == 0);
    const auto closeBoth = qScopeGuard([&] {
        ::close(master);
        ::close(terminal);
    });
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    QByteArray shown;
    const auto readTerminal = [&] {
        char buffer[256];
        for (ssize_t size; (size = ::read(master, buffer, sizeof buffer)) > 0;)
            shown.append(buffer, size);
        return shown;
    };
    // The pseudo-terminal is the program's controlling terminal and its standard input.
    QProcess process;
    process.setChildProcessModifier([terminal] {
        setsid();
        ioctl(terminal, TIOCSCTTY, 0);
        dup2(terminal, STDIN_FILENO);
    });
    start(process, QStringList { "list", "--format", "csv" } + connection());
    QTRY_VERIFY_WITH_TIMEOUT(readTerminal().contains("Password: "), 20000);
    // Typed once the prompt has switched echo off, which throws away what was typed before.
    termios settings {};
    const QDeadlineTimer echoOff(3000);
    while (tcgetattr(master, &settings) == 0 && (settings.c_lflag & ECHO) != 0 && !echoOff.hasExpired())
        QThread::msleep(20);
    const QByteArray typed = kAwkwardPassword.toUtf8() + '\n';
    QCOMPARE(::write(master, typed.constData(), static_cast<size_t>(typed.size())), typed.size());
    QCOMPARE(exitStatusOf(process), 0);
    QCOMPARE(linesOf(QString::fromUtf8(process.readAllStandardOutput())).size(), 2);
    QVERIFY2(!readTerminal().contains(kAwkwardPassword.trimmed().toUtf8()), shown.constData());
#endif
}

QTEST_GUILESS_MAIN(tst_CliEndToEnd)
#include "tst_cli_e2e.moc"
