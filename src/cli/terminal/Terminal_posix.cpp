#include "terminal/Terminal.h"

#include <unistd.h>

namespace quorvane::cli {

bool isTerminal(std::FILE* stream)
{
    return isatty(fileno(stream)) != 0;
}

void overwriteLine(std::FILE* stream, const QByteArray& text, int /*width*/)
{
    // Back to the line's start, the text, and "erase to the end of the line".
    std::fputs("\r", stream);
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stream);
    std::fputs("\033[K", stream);
    std::fflush(stream);
}

void writeStandardOutputAsIs()
{
    // Standard output carries the bytes as written already.
}

} // namespace quorvane::cli
