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

// Runs build/bin/quorvane-cli as a user would, with the password in QUORVANE_PASSWORD or on
// standard input, or neither, and with a folder of its own for the default error log: on Linux
// the home folder, so the log lands in ~/.local/share/Quorvane of that folder. Windows finds that
// folder in the user's profile, never through the environment, so there every run that takes an
// error log gets --error-log in this folder instead; the user's own log stays untouched.
class CliProcess
{
public:
    // The environment variable's value for the next runs; empty optional: not set.
    std::optional<QString> passwordVariable;
    // Written to standard input, which is then closed.
    QByteArray input;

    CliResult run(const QStringList& arguments);
    // Starts it and hands over the running process, for tests that signal it or give it a terminal.
    void start(QProcess& process, QStringList arguments);
    static CliResult resultOf(QProcess& process);
    // Ctrl+C to the running program, as the user at its terminal gives it; false when it could
    // not be sent.
    static bool interrupt(QProcess& process);

    // Where a run writes its failures unless told otherwise, with the platform's separators.
    QString defaultErrorLog() const;
    QString folder() const { return m_home.path(); }

private:
    QTemporaryDir m_home;
};

} // namespace quorvane::test
