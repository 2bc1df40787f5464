#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

namespace quorvane::test {

// What one run of quorvane-cli left: its exit status and both output streams.
struct CliResult
{
    int exitStatus = -1;
    QString out;
    QString err;
};

// Runs build/bin/quorvane-cli as a user would, in a home folder of its own (so that its default
// error log lands in a temporary folder), with the password in QUORVANE_PASSWORD or on standard
// input, or neither. Windows finds the default error log's folder in the user's profile, not
// through the environment: there the error log is set aside while this lives and put back after.
class CliProcess
{
public:
    CliProcess();
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    // The environment variable's value for the next runs; empty optional: not set.
    std::optional<QString> passwordVariable;
    // Written to standard input, which is then closed.
    QByteArray input;

    CliResult run(const QStringList& arguments);
    // Starts it and hands over the running process, for tests that signal it.
    void start(QProcess& process, const QStringList& arguments);
    static CliResult resultOf(QProcess& process);
    // Ctrl+C to the running program, as the user at its terminal gives it; false when it could
    // not be sent.
    static bool interrupt(QProcess& process);

    // ~/.local/share/Quorvane/ErrorLog.txt of that home folder; on Windows
    // %LOCALAPPDATA%\Quorvane\ErrorLog.txt. With the platform's own separators.
    QString defaultErrorLog() const;
    QString folder() const { return m_home.path(); }

private:
    QTemporaryDir m_home;
    std::optional<QByteArray> m_setAside; // the user's own default error log, while this lives
};

} // namespace quorvane::test
