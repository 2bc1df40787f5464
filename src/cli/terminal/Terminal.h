#pragma once

#include <QByteArray>
#include <cstdio>

namespace quorvane::cli {

// Whether the stream is a terminal (on Windows a console), where a person reads and types.
bool isTerminal(std::FILE* stream);

// Writes text over the stream's current terminal line from its start, so that nothing of an
// earlier, longer text stays visible; an empty text clears the line. Width is the widest text
// ever written to the line. The stream is flushed.
void overwriteLine(std::FILE* stream, const QByteArray& text, int width);

// Lets standard output carry exactly the bytes written, line ends included, on every platform.
// Windows opens it in text mode, which writes every "\n" as CR LF, so the CSV list's own CR LF
// would come out as CR CR LF.
void writeStandardOutputAsIs();

} // namespace quorvane::cli
