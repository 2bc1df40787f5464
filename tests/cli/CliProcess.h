#pragma once

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
// input, or neither.
class CliProcess
{
public:
    CliProcess();

    // The environment variable's value for the next runs; empty optional: not set.
    std::optional<QString> passwordVariable;
    // Written to standard input, which is then closed.
    QByteArray input;

    CliResult run(const QStringList& arguments);
    // Starts it and hands over the running process, for tests that signal it.
    void start(QProcess& process, const QStringList& arguments);
    static CliResult resultOf(QProcess& process);

    // ~/.local/share/Quorvane/ErrorLog.txt of that home folder.
    QString defaultErrorLog() const;
    QString folder() const { return m_home.path(); }

private:
    QTemporaryDir m_home;
};

} // namespace quorvane::test
