#include "CliProcess.h"

#include <QProcessEnvironment>

namespace quorvane::test {

CliProcess::CliProcess() = default;

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

QString CliProcess::defaultErrorLog() const
{
    return m_home.filePath(QStringLiteral(".local/share/Quorvane/ErrorLog.txt"));
}

} // namespace quorvane::test
