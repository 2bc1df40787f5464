#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace quorvane::test {

// A program of the host (the stand-in and its generator, Linux programs) run by a test. On Linux
// a plain QProcess. Under Wine a Linux program started from a Windows one gets neither pipes nor a
// process handle, so it is started through the host's shell, which records its process id and
// sends its output to a file; it is stopped with the host's kill.
class HostProcess
{
public:
    HostProcess();
    ~HostProcess();
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    bool start(const QString& program, const QStringList& arguments);
    // Waits up to timeoutMs for an output line matching `pattern` while the program runs.
    QRegularExpressionMatch waitForLine(const QRegularExpression& pattern, int timeoutMs);
    // Waits for the program to end; false when it ran past timeoutMs or ended abnormally.
    bool waitForEnd(int timeoutMs);
    // Asks the program to end, then ends it, and waits until it has.
    void stop();
    bool running();
    // What the program wrote, standard error included (on Linux only what was not read yet).
    QString output();

private:
#ifdef Q_OS_WIN
    QTemporaryDir m_folder;
    qint64 m_pid = 0;
    qint64 m_outputRead = 0;
#else
    QProcess m_process;
#endif
};

} // namespace quorvane::test
