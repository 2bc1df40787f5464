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

// One line from a terminal with its echo switched off for the read, and back on afterwards.
std::optional<QString> readPasswordLineWithoutEcho(std::FILE* terminal);

// Asks on the controlling terminal ("Password: ") with echo switched off and
// restored afterwards, also when the read fails.
std::optional<QString> promptForPassword();

// The password by the order above. Reads QUORVANE_PASSWORD, overwrites its value where it lies and
// removes it from the process's environment, so that the environment the system shows of the
// process no longer holds it. A password line typed on a terminal is not echoed. An empty optional when no source gives
// one: stdin not a terminal, no variable.
std::optional<QString> obtainPassword(bool fromStdin);

} // namespace quorvane::cli
