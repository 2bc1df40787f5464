#include "support/HostProcess.h"

#include "support/HostPath.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

namespace quorvane::test {

namespace {

    constexpr int kPollMs = 50;

    void hostKill(qint64 pid, const char* signal)
    {
        QProcess::startDetached(QStringLiteral("/bin/kill"), { QLatin1String(signal), QString::number(pid) });
    }

} // namespace

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool HostProcess::start(const QString& program, const QStringList& arguments)
{
    for (const char* name : { "output.txt", "pid.txt", "status.txt" })
        QFile::remove(file(name));
    m_pid = 0;
    m_linesRead = 0;
    // $0 is the folder; the status file appears whole, once the program has ended.
    const QString script = QStringLiteral("\"$@\" > \"$0/output.txt\" 2>&1 & echo $! > \"$0/pid.txt\"; wait $!; "
                                          "echo $? > \"$0/status.tmp\"; mv \"$0/status.tmp\" \"$0/status.txt\"");
    if (!QProcess::startDetached(QStringLiteral("/bin/sh"),
                                 QStringList { "-c", script, hostPath(m_folder.path()), program } + arguments))
        return false;
    const QDeadlineTimer deadline(10000);
    while ((m_pid = fileBytes(file("pid.txt")).trimmed().toLongLong()) <= 0 && !deadline.hasExpired())
        QThread::msleep(kPollMs);
    return m_pid > 0;
}

QRegularExpressionMatch HostProcess::waitForLine(const QRegularExpression& pattern, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const bool ended = !running(); // taken before the output, so that its last lines are seen
        const QStringList lines = output().split(QLatin1Char('\n'));
        while (m_linesRead < lines.size() - 1) // the last piece is a line not yet ended
            if (QRegularExpressionMatch match = pattern.match(lines[m_linesRead++]); match.hasMatch())
                return match;
        if (ended || deadline.hasExpired())
            return {};
        QThread::msleep(kPollMs);
    }
}

bool HostProcess::waitForEnd(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (running() && !deadline.hasExpired())
        QThread::msleep(kPollMs);
    return fileBytes(file("status.txt")).trimmed() == "0";
}

void HostProcess::stop()
{
    if (!running())
        return;
    hostKill(m_pid, "-TERM");
    if (!waitForEnd(5000) && running()) {
        hostKill(m_pid, "-KILL");
        waitForEnd(5000);
    }
}

} // namespace quorvane::test
