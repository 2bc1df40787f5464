#pragma once

#include "db/LockTimeout.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace quorvane::cli {

enum class Command { List, Script, Run };
enum class ListFormat { Text, Csv, Json };
// Which keys script and run work on.
enum class KeyChoice { NotClustered, All, Named };

// What the command line asks for. The password is never part of it.
struct CliOptions
{
    Command command = Command::List;
    // Either the three fields the login window has, or a whole connection string with "%PW%".
    QString server;
    QString database;
    QString user;
    std::optional<QString> connect;
    bool passwordFromStdin = false;
    ListFormat format = ListFormat::Text;
    KeyChoice keys = KeyChoice::NotClustered;
    QStringList keyNames; // with KeyChoice::Named, in the order given
    QString logFile; // empty: no activity log
    QString errorLog; // empty: the default error log
    // How long a statement waits for a table another session holds.
    db::LockTimeout lockTimeout = db::LockTimeout::defaultWait();
};

// The outcome of reading the arguments: options to act on, a request for help or the version, or
// a usage error with its text. The error text never repeats an argument's value, so a password
// typed by mistake on the command line is not shown again.
struct ParsedCommandLine
{
    enum class Kind { Options, Help, Version, UsageError };
    Kind kind = Kind::UsageError;
    CliOptions options;
    QString error;
};

// Reads the arguments after the program name.
ParsedCommandLine parseCommandLine(const QStringList& arguments);

// The short synopsis printed with a usage error, and the full text of --help.
QString usageText();
QString helpText();

// Exit statuses scripts can branch on.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitKeysFailed = 1; // a key failed or was not processed
inline constexpr int kExitNoConnection = 2; // the connection or the Navision check failed
inline constexpr int kExitUsage = 64; // EX_USAGE

} // namespace quorvane::cli
