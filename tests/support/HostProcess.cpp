#include "support/HostProcess.h"

#include "support/HostPath.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace quorvane::test {

#ifdef Q_OS_WIN

namespace {

    constexpr int kPollMs = 50;

    bool hostProcessAlive(qint64 pid)
    {
        // The host's /proc, through Wine's drive for the host's root.
        QFile status(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        // A process that has ended but not yet been reaped is a zombie ("Z").
        const QByteArray fields = status.readAll();
        const qsizetype afterName = fields.lastIndexOf(')');
        return afterName < 0 || fields.mid(afterName + 2, 1) != "Z";
    }

    void hostKill(qint64 pid, const QString& signal)
    {
        // Started detached: Wine gives no handle to wait on for a host program.
        QProcess::startDetached(QStringLiteral("/bin/kill"), { QStringLiteral("-") + signal, QString::number(pid) });
    }

} // namespace

HostProcess::HostProcess() = default;

HostProcess::~HostProcess()
{
    stop();
}

bool HostProcess::start(const QString& program, const QStringList& arguments)
{
    const QString output = m_folder.filePath(QStringLiteral("output.txt"));
    const QString pidFile = m_folder.filePath(QStringLiteral("pid.txt"));
    QFile::remove(output);
    QFile::remove(pidFile);
    m_outputRead = 0;
    const QStringList shell { QStringLiteral("-c"),
                              QStringLiteral("echo $$ > \"$1\"; out=$0; shift; exec \"$@\" > \"$out\" 2>&1"),
                              hostPath(output), hostPath(pidFile), program };
    if (!QProcess::startDetached(QStringLiteral("/bin/sh"), shell + arguments))
        return false;
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        QFile file(pidFile);
        if (file.open(QIODevice::ReadOnly)) {
            m_pid = file.readAll().trimmed().toLongLong();
            if (m_pid > 0)
                return true;
        }
        QThread::msleep(kPollMs);
    }
    return false;
}

QRegularExpressionMatch HostProcess::waitForLine(const QRegularExpression& pattern, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray pending;
    while (!deadline.hasExpired()) {
        QFile file(m_folder.filePath(QStringLiteral("output.txt")));
        if (file.open(QIODevice::ReadOnly) && file.seek(m_outputRead)) {
            pending += file.readAll();
            m_outputRead = file.pos();
        }
        qsizetype newline;
        while ((newline = pending.indexOf('\n')) >= 0) {
            const QRegularExpressionMatch match = pattern.match(QString::fromUtf8(pending.left(newline)));
            pending.remove(0, newline + 1);
            if (match.hasMatch())
                return match;
        }
        if (!running())
            break;
        QThread::msleep(kPollMs);
    }
    return {};
}

bool HostProcess::waitForEnd(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (running()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(kPollMs);
    }
    return true;
}

void HostProcess::stop()
{
    if (!running())
        return;
    hostKill(m_pid, QStringLiteral("TERM"));
    if (!waitForEnd(5000)) {
        hostKill(m_pid, QStringLiteral("KILL"));
        waitForEnd(5000);
    }
    m_pid = 0;
}

bool HostProcess::running()
{
    return m_pid > 0 && hostProcessAlive(m_pid);
}

QString HostProcess::output()
{
    QFile file(m_folder.filePath(QStringLiteral("output.txt")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

#else

HostProcess::HostProcess()
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setReadChannel(QProcess::StandardOutput);
}

HostProcess::~HostProcess()
{
    stop();
}

bool HostProcess::start(const QString& program, const QStringList& arguments)
{
    m_process.start(program, arguments);
    return m_process.waitForStarted(10000);
}

QRegularExpressionMatch HostProcess::waitForLine(const QRegularExpression& pattern, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        if (!m_process.canReadLine() && !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            continue;
        while (m_process.canReadLine()) {
            const QRegularExpressionMatch match = pattern.match(QString::fromUtf8(m_process.readLine()));
            if (match.hasMatch())
                return match;
        }
    }
    return {};
}

bool HostProcess::waitForEnd(int timeoutMs)
{
    return m_process.waitForFinished(timeoutMs) && m_process.exitStatus() == QProcess::NormalExit
        && m_process.exitCode() == 0;
}

void HostProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool HostProcess::running()
{
    return m_process.state() == QProcess::Running;
}

QString HostProcess::output()
{
    return QString::fromUtf8(m_process.readAllStandardOutput() + m_process.readAllStandardError());
}

#endif

} // namespace quorvane::test
