#pragma once

namespace quorvane {

// Keeps the password out of crash dumps and out of reach of other processes of the same user: on
// Linux the process writes no core file and is marked not dumpable (which also makes its memory
// and environment readable by root only). Called first thing by both programs.
void protectFromDumps();

} // namespace quorvane
