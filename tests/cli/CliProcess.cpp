#include "CliProcess.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>
#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#endif

namespace quorvane::test {

CliProcess::CliProcess()
{
#ifdef Q_OS_WIN
    QFile errorLog(defaultErrorLog());
    if (errorLog.open(QIODevice::ReadOnly)) {
        m_setAside = errorLog.readAll();
        errorLog.close();
        errorLog.remove();
    }
#endif
}

CliProcess::~CliProcess()
{
#ifdef Q_OS_WIN
    QFile errorLog(defaultErrorLog());
    errorLog.remove();
    if (m_setAside && errorLog.open(QIODevice::WriteOnly))
        errorLog.write(*m_setAside);
#endif
}

void CliProcess::start(QProcess& process, const QStringList& arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QUORVANE_PASSWORD"));
    environment.remove(QStringLiteral("XDG_DATA_HOME"));
    environment.insert(QStringLiteral("HOME"), m_home.path());
    if (passwordVariable)
        environment.insert(QStringLiteral("QUORVANE_PASSWORD"), *passwordVariable);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::SeparateChannels);
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
    // The local application data folder, which Qt calls the generic data folder on Windows.
    return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                                    + QStringLiteral("/Quorvane/ErrorLog.txt"));
#else
    return m_home.filePath(QStringLiteral(".local/share/Quorvane/ErrorLog.txt"));
#endif
}

} // namespace quorvane::test
