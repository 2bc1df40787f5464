#include "terminal/PasswordSource.h"

#include <csignal>
#include <memory>
#include <termios.h>
#include <unistd.h>

namespace quorvane::cli {

namespace {

    // The terminal's settings before echo was switched off, for the signal handler below.
    int g_terminal = -1;
    termios g_saved {};

    // Ctrl+C at the prompt ends the program as usual, but not with the terminal left silent.
    void restoreAndEnd(int signalNumber)
    {
        tcsetattr(g_terminal, TCSAFLUSH, &g_saved);
        std::signal(signalNumber, SIG_DFL);
        std::raise(signalNumber);
    }

    // Switches echo off on a terminal for as long as it lives, and back on also when the prompt
    // is interrupted.
    class EchoOff
    {
    public:
        explicit EchoOff(int descriptor)
        {
            if (tcgetattr(descriptor, &g_saved) != 0)
                return;
            g_terminal = descriptor;
            termios quiet = g_saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            quiet.c_lflag |= ECHONL;
            m_previousInterrupt = std::signal(SIGINT, restoreAndEnd);
            m_previousTerminate = std::signal(SIGTERM, restoreAndEnd);
            m_active = tcsetattr(descriptor, TCSAFLUSH, &quiet) == 0;
        }
        ~EchoOff()
        {
            if (g_terminal < 0)
                return;
            if (m_active)
                tcsetattr(g_terminal, TCSAFLUSH, &g_saved);
            std::signal(SIGINT, m_previousInterrupt);
            std::signal(SIGTERM, m_previousTerminate);
            g_terminal = -1;
        }
        EchoOff(const EchoOff&) = delete;
        EchoOff& operator=(const EchoOff&) = delete;

    private:
        bool m_active = false;
        void (*m_previousInterrupt)(int) = SIG_DFL;
        void (*m_previousTerminate)(int) = SIG_DFL;
    };

    // Closes a stream opened here when it goes.
    struct StreamCloser
    {
        void operator()(std::FILE* stream) const { std::fclose(stream); }
    };

} // namespace

std::optional<QString> readPasswordLineWithoutEcho(std::FILE* terminal)
{
    const EchoOff echoOff(fileno(terminal));
    return readPasswordLine(terminal);
}

std::optional<QString> promptForPassword()
{
    const std::unique_ptr<std::FILE, StreamCloser> terminal(std::fopen("/dev/tty", "r+"));
    if (!terminal)
        return std::nullopt;
    std::fputs("Password: ", terminal.get());
    std::fflush(terminal.get());
    const EchoOff echoOff(fileno(terminal.get()));
    return readPasswordLine(terminal.get());
}

} // namespace quorvane::cli
