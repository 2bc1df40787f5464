#pragma once

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace quorvane::test {

// The file's bytes; empty when it cannot be read.
QByteArray fileBytes(const QString& path);

// A program of the host (the stand-in and its generator, Linux programs) run by a test. Under
// Wine a Linux program started from a Windows one gets neither pipes nor a process handle, so on
// every platform it is started through the host's shell, which records its process id, sends its
// output to a file and records its exit status once it has ended; it is stopped with the host's kill.
class HostProcess
{
public:
    ~HostProcess() { stop(); }

    bool start(const QString& program, const QStringList& arguments);
    // Waits up to timeoutMs for an output line matching `pattern` while the program runs.
    QRegularExpressionMatch waitForLine(const QRegularExpression& pattern, int timeoutMs);
    // Waits for the program to end; false when it ran past timeoutMs or ended with a status other than 0.
    bool waitForEnd(int timeoutMs);
    // Asks the program to end, then ends it, and waits until it has.
    void stop();
    bool running() const { return m_pid > 0 && !QFile::exists(file("status.txt")); }
    // What the program wrote so far, standard error included.
    QString output() const { return QString::fromUtf8(fileBytes(file("output.txt"))); }

private:
    QString file(const char* name) const { return m_folder.filePath(QLatin1String(name)); }

    QTemporaryDir m_folder;
    qint64 m_pid = 0;
    qsizetype m_linesRead = 0;
};

} // namespace quorvane::test
