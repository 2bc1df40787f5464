#include "terminal/PasswordSource.h"

#include <cwchar>
#include <io.h>
#include <iterator>
#include <windows.h>

namespace quorvane::cli {

namespace {

    // The console's input mode before echo was switched off, for the control handler below.
    HANDLE g_console = INVALID_HANDLE_VALUE;
    DWORD g_savedMode = 0;

    // Ctrl+C (or Ctrl+Break, or closing the window) at the prompt ends the program as usual, but
    // not with the console left silent: the echo comes back, then the next handler, in the end the
    // default one, ends the program.
    BOOL WINAPI restoreEcho(DWORD /*event*/)
    {
        SetConsoleMode(g_console, g_savedMode);
        return FALSE;
    }

    // Switches echo off on a console for as long as it lives, and back on also when the prompt is
    // interrupted.
    class EchoOff
    {
    public:
        explicit EchoOff(HANDLE console)
        {
            if (!GetConsoleMode(console, &g_savedMode))
                return;
            g_console = console;
            SetConsoleCtrlHandler(restoreEcho, TRUE);
            m_active = SetConsoleMode(console, g_savedMode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
        }
        ~EchoOff()
        {
            if (g_console == INVALID_HANDLE_VALUE)
                return;
            if (m_active)
                SetConsoleMode(g_console, g_savedMode);
            SetConsoleCtrlHandler(restoreEcho, FALSE);
            g_console = INVALID_HANDLE_VALUE;
        }
        EchoOff(const EchoOff&) = delete;
        EchoOff& operator=(const EchoOff&) = delete;

    private:
        bool m_active = false;
    };

    // A handle of the console's own input or output, closed when it goes.
    class ConsoleHandle
    {
    public:
        explicit ConsoleHandle(const wchar_t* name)
            : m_handle(CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr))
        { }
        ~ConsoleHandle()
        {
            if (isOpen())
                CloseHandle(m_handle);
        }
        ConsoleHandle(const ConsoleHandle&) = delete;
        ConsoleHandle& operator=(const ConsoleHandle&) = delete;

        bool isOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
        HANDLE get() const { return m_handle; }

    private:
        HANDLE m_handle;
    };

    void writeConsole(HANDLE output, const wchar_t* text)
    {
        DWORD written = 0;
        WriteConsoleW(output, text, static_cast<DWORD>(wcslen(text)), &written, nullptr);
    }

    // One line typed at the console, without its line end; an empty optional when nothing could
    // be read. Read as UTF-16, so any character the console takes arrives unchanged.
    std::optional<QString> readConsoleLine(HANDLE input)
    {
        QString line;
        bool any = false;
        wchar_t buffer[128];
        for (;;) {
            DWORD read = 0;
            if (!ReadConsoleW(input, buffer, static_cast<DWORD>(std::size(buffer)), &read, nullptr) || read == 0)
                break;
            any = true;
            line.append(QString::fromWCharArray(buffer, static_cast<qsizetype>(read)));
            SecureZeroMemory(buffer, sizeof buffer);
            if (line.endsWith(QLatin1Char('\n')))
                break;
        }
        if (!any)
            return std::nullopt;
        qsizetype length = line.size();
        if (length > 0 && line.at(length - 1) == QLatin1Char('\n'))
            --length;
        if (length > 0 && line.at(length - 1) == QLatin1Char('\r'))
            --length;
        const QString password = line.left(length);
        line.fill(QChar(0));
        return password;
    }

} // namespace

std::optional<QString> readPasswordLineWithoutEcho(std::FILE* terminal)
{
    const EchoOff echoOff(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(terminal))));
    return readPasswordLine(terminal);
}

std::optional<QString> promptForPassword()
{
    const ConsoleHandle input(L"CONIN$");
    const ConsoleHandle output(L"CONOUT$");
    if (!input.isOpen() || !output.isOpen())
        return std::nullopt;
    writeConsole(output.get(), L"Password: ");
    std::optional<QString> password;
    {
        const EchoOff echoOff(input.get());
        password = readConsoleLine(input.get());
    }
    // The line end that the echo of Enter would have shown.
    writeConsole(output.get(), L"\r\n");
    return password;
}

} // namespace quorvane::cli
