#include "command/CliMain.h"

#include "command/CommandLine.h"
#include "db/ConnectionStack.h"
#include "db/DriverConnectionString.h"
#include "db/OdbcConnection.h"
#include "login/ConnectString.h"
#include "login/DatabaseCheck.h"
#include "rebuild/RebuildScript.h"
#include "run/KeyRun.h"
#include "selection/KeyReading.h"
#include "selection/KeySelection.h"
#include "selection/ListFormat.h"
#include "support/ApplicationFolder.h"
#include "support/Clock.h"
#include "support/ErrorReport.h"
#include "support/FileHelpers.h"
#include "support/Guard.h"
#include "terminal/Interrupt.h"
#include "terminal/PasswordSource.h"
#include "terminal/ProgressBar.h"
#include "terminal/StderrMessages.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>

namespace quorvane::cli {

namespace {

    // How often a run looks for a second Ctrl+C.
    constexpr int kCancelWatchMs = 100;

    void printOut(const QString& text)
    {
        const QByteArray bytes = text.toLocal8Bit();
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
        std::fflush(stdout);
    }

    int usageError(const QString& text)
    {
        printError(text);
        std::fputs(usageText().toLocal8Bit().constData(), stderr);
        return kExitUsage;
    }

    // ErrorLog.txt in the per-user data folder (~/.local/share/Quorvane, on Windows
    // %LOCALAPPDATA%\Quorvane), created when missing.
    QString defaultErrorLog()
    {
        return AddBackslash(perUserDataFolder()) + QStringLiteral("ErrorLog.txt");
    }

    // The connection string as the login window shows it, "%PW%" still in place.
    QString connectionText(const CliOptions& options)
    {
        if (options.connect)
            return *options.connect;
        return BuildConnectionString(QString::fromUtf16(kConnectTemplate), options.server, options.database,
                                     options.user);
    }

    // The Navision check on a connection of its own, then the connection the command works on.
    // Prints the login window's message for any refusal.
    std::unique_ptr<db::ReopeningConnection> connect(const QString& strConnect, db::LockTimeout lockTimeout)
    {
        // Each connection's calls run on a thread of its own (see db/ConnectionStack.h), so that
        // the progress bar keeps its clock going while a statement runs; Ctrl+C must never land on
        // that thread.
        const auto newConnection = [driverConnections = db::odbcConnectionFactory()] {
            const InterruptsBlocked blocked;
            return db::newConnectionStack(driverConnections);
        };
        const db::ConnectionFactory connections = newConnection;
        QString strRefusal;
        const qint16 intResult = ValidateDatabase(connections, strConnect, &strRefusal);
        if (intResult != kCheckNavisionDatabase) {
            printError(CheckResultMessage(intResult, strRefusal));
            return nullptr;
        }
        std::unique_ptr<db::ReopeningConnection> connection = newConnection();
        try {
            connection->setLockTimeout(lockTimeout);
            connection->Open(strConnect);
        } catch (const Failure& failure) {
            printError(CheckResultMessage(CheckResultForErrorNumber(failure.number())));
            return nullptr;
        }
        return connection;
    }

    int listKeys(const CliOptions& options, const KeyRows& rows)
    {
        switch (options.format) {
        case ListFormat::Text:
            printOut(listAsText(rows));
            break;
        case ListFormat::Csv:
            printOut(listAsCsv(rows));
            break;
        case ListFormat::Json:
            printOut(listAsJson(rows));
            break;
        }
        return kExitSuccess;
    }

    // The keys the options choose, in list order; an empty optional with the message printed when
    // they cannot be chosen.
    std::optional<KeyRows> chooseKeys(const CliOptions& options, const KeyRows& rows, int& exitStatus)
    {
        switch (options.keys) {
        case KeyChoice::All:
            return rows;
        case KeyChoice::Named: {
            QStringList missing;
            KeyRows chosen = keysNamed(rows, options.keyNames, missing);
            if (!missing.isEmpty()) {
                exitStatus = usageError(
                    QStringLiteral("No primary key is named \"%1\".").arg(missing.join(QStringLiteral("\", \""))));
                return std::nullopt;
            }
            return chosen;
        }
        case KeyChoice::NotClustered:
            if (!rows.isEmpty() && !hasDetails(rows)) {
                printError(QStringLiteral("Which keys are clustered could not be read; choose the keys with --all "
                                          "or --key."));
                exitStatus = kExitKeysFailed;
                return std::nullopt;
            }
            return keysNotClustered(rows);
        }
        return std::nullopt;
    }

    // The window's "Copy Script of Ticked Tables" for the chosen keys, on standard output.
    int scriptKeys(db::Connection& connection, const ErrorReport& report, const QString& strConnect,
                   const KeyRows& rows, const KeyRows& chosen)
    {
        const SystemClock clock;
        QString script;
        const bool written = guarded(report, "ScriptOfKeys", [&] {
            QList<ScriptKey> keys;
            for (const KeyRow& key : chosen)
                keys.append({ key.table, key.constraint, key.details });
            const ScriptHeader header { db::DescribeConnectionTarget(strConnect).server,
                                        rows.isEmpty() ? QString() : rows.front().catalog, clock.now() };
            script = rebuildScript(connection, header, keys);
        });
        if (!written)
            return kExitKeysFailed;
        printOut(script);
        return kExitSuccess;
    }

    int runWithProgressBar(const CliOptions& options, db::ReopeningConnection& connection, StderrMessages& messages,
                           const ErrorReport& report, const QString& errorLog, const KeyRows& chosen)
    {
        const SystemClock clock;
        ProgressBar bar(stderr, static_cast<int>(chosen.size()));
        messages.beforeWriting = [&bar] { bar.clear(); };
        QTimer redraw;
        redraw.callOnTimeout([&bar] { bar.draw(); });
        if (bar.isShown())
            redraw.start(1000);

        catchInterrupts();
        // The second Ctrl+C is told to the driver from here, between two turns of the event loop
        // that runs while a statement waits; a signal handler must not call into it.
        QTimer cancelWatch;
        cancelWatch.callOnTimeout([&] {
            if (cancelRequested()) {
                connection.Cancel();
                cancelWatch.stop();
            }
        });
        cancelWatch.start(kCancelWatchMs);
        bar.draw();
        const int recordsBefore = report.recordsWritten();
        const auto printLine = [&bar](const QString& line) {
            bar.clear();
            printOut(line + QLatin1Char('\n'));
            bar.draw();
        };
        RunSettings settings { connection, options.logFile, clock, report, &interruptRequested };
        settings.cancelRequested = &cancelRequested;
        settings.keyDone = [&bar, &printLine](const KeyRow& key, const KeyResult& result, int done) {
            bar.setDone(done);
            printLine(runLine(key, result));
        };
        settings.reconnect = [&connection] { connection.ResumeWithRetry(); };
        settings.keyChecked
            = [&printLine](const KeyRow& key, bool rebuilt) { printLine(checkedRunLine(key, rebuilt)); };
        const RunTally tally = cli::rebuildKeys(settings, chosen);
        redraw.stop();
        bar.clear();
        messages.beforeWriting = nullptr;

        // A lost connection has been told by the run itself, in the window's words.
        if (tally.interrupted)
            printError(QStringLiteral("Stopped at Ctrl+C. %1 keys were not processed.").arg(tally.counts.notProcessed));
        // Only a log that took the failures' records is named; a log that could not be written
        // has said so itself.
        if (tally.counts.failed > 0 && report.recordsWritten() > recordsBefore)
            printError(QStringLiteral("The failures are recorded in %1.").arg(QDir::toNativeSeparators(errorLog)));
        printOut(summaryLogLine(tally.counts) + QLatin1Char('\n'));
        return tally.exitStatus();
    }

} // namespace

int execute(const QStringList& arguments)
{
    const ParsedCommandLine parsed = parseCommandLine(arguments);
    switch (parsed.kind) {
    case ParsedCommandLine::Kind::Help:
        printOut(helpText());
        return kExitSuccess;
    case ParsedCommandLine::Kind::Version:
        printOut(QStringLiteral("quorvane-cli %1\n").arg(QCoreApplication::applicationVersion()));
        return kExitSuccess;
    case ParsedCommandLine::Kind::UsageError:
        return usageError(parsed.error);
    case ParsedCommandLine::Kind::Options:
        break;
    }
    const CliOptions& options = parsed.options;

    const std::optional<QString> password = obtainPassword(options.passwordFromStdin);
    if (!password)
        return usageError(QStringLiteral("No password: type it at the terminal, pass one line on standard input "
                                         "with --password-stdin, or set QUORVANE_PASSWORD."));
    const QString strConnect = ConnectStringWithPassword(connectionText(options), *password);
    const std::unique_ptr<db::ReopeningConnection> connection = connect(strConnect, options.lockTimeout);
    if (!connection)
        return kExitNoConnection;

    StderrMessages messages;
    const QString errorLog = options.errorLog.isEmpty() ? defaultErrorLog() : options.errorLog;
    const ErrorReport report = ErrorReport::toFile(messages, errorLog);
    KeyRows rows;
    if (!guarded(report, "LoadKeyList", [&] { rows = loadKeyRows(*connection); }))
        return kExitKeysFailed;
    attachKeyDetails(rows, *connection, report);

    if (options.command == Command::List)
        return listKeys(options, rows);
    int exitStatus = kExitSuccess;
    const std::optional<KeyRows> chosen = chooseKeys(options, rows, exitStatus);
    if (!chosen)
        return exitStatus;
    if (options.command == Command::Script)
        return scriptKeys(*connection, report, strConnect, rows, *chosen);
    return runWithProgressBar(options, *connection, messages, report, errorLog, *chosen);
}

} // namespace quorvane::cli
