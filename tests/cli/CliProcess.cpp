#include "CliProcess.h"

#include <QDir>
#include <QProcessEnvironment>
#include <QThread>
#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#endif

namespace quorvane::test {

void CliProcess::start(QProcess& process, QStringList arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QUORVANE_PASSWORD"));
    environment.remove(QStringLiteral("XDG_DATA_HOME"));
    environment.insert(QStringLiteral("HOME"), m_home.path());
    if (passwordVariable)
        environment.insert(QStringLiteral("QUORVANE_PASSWORD"), *passwordVariable);
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

CliResult CliProcess::resultOf(QProcess& process)
{
    if (!process.waitForFinished(60000))
        process.kill();
    return CliResult { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                       QString::fromUtf8(process.readAllStandardOutput()),
                       QString::fromUtf8(process.readAllStandardError()) };
}

CliResult CliProcess::run(const QStringList& arguments)
{
    QProcess process;
    start(process, arguments);
    return resultOf(process);
}

bool CliProcess::interrupt(QProcess& process)
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
    return sent;
#else
    return ::kill(static_cast<pid_t>(process.processId()), SIGINT) == 0;
#endif
}

QString CliProcess::defaultErrorLog() const
{
#ifdef Q_OS_WIN
    return QDir::toNativeSeparators(m_home.filePath(QStringLiteral("ErrorLog.txt")));
#else
    return m_home.filePath(QStringLiteral(".local/share/Quorvane/ErrorLog.txt"));
#endif
}

} // namespace quorvane::test
