#include "terminal/Terminal.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace quorvane::cli {

bool isTerminal(std::FILE* stream)
{
    // A console answers GetConsoleMode; _isatty() also says yes to any character device, the
    // NUL device included.
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

void overwriteLine(std::FILE* stream, const QByteArray& text, int width)
{
    // Blanks instead of the terminal's "erase to the end of the line", which a console before
    // Windows 10 prints as it stands; then back to the start, where whatever comes next begins.
    QByteArray line = text;
    if (line.size() < width)
        line.append(width - line.size(), ' ');
    std::fputs("\r", stream);
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stream);
    std::fputs("\r", stream);
    std::fflush(stream);
}

void writeStandardOutputAsIs()
{
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

} // namespace quorvane::cli
