#pragma once

#include <QString>
#include <cstdio>
#include <optional>

namespace quorvane::cli {

// Where the password comes from, in this order: one line of standard input when asked for with
// --password-stdin; else the environment variable QUORVANE_PASSWORD; else a prompt on the
// terminal without echo. Nothing here ever shows the password.
inline constexpr char kPasswordVariable[] = "QUORVANE_PASSWORD";

// One line from the stream, without its line end ("\n" or "\r\n"); an empty optional at end of
// input before any character.
std::optional<QString> readPasswordLine(std::FILE* input);

// Asks on the controlling terminal ("Password: ") with echo switched off and
// restored afterwards, also when the read fails.
std::optional<QString> promptForPassword();

// The password by the order above. Reads and then removes QUORVANE_PASSWORD from the process's
// environment. An empty optional when no source gives one: stdin not a terminal, no variable.
std::optional<QString> obtainPassword(bool fromStdin);

} // namespace quorvane::cli
