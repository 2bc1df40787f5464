#include "cli/PasswordSource.h"

#include <QByteArray>
#include <cstdlib>
#include <memory>
#include <termios.h>
#include <unistd.h>

namespace quorvane::cli {

namespace {

    // Switches echo off on a terminal for as long as it lives.
    class EchoOff
    {
    public:
        explicit EchoOff(int descriptor)
            : m_descriptor(descriptor)
        {
            if (tcgetattr(m_descriptor, &m_saved) != 0)
                return;
            termios quiet = m_saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            quiet.c_lflag |= ECHONL;
            m_active = tcsetattr(m_descriptor, TCSAFLUSH, &quiet) == 0;
        }
        ~EchoOff()
        {
            if (m_active)
                tcsetattr(m_descriptor, TCSAFLUSH, &m_saved);
        }
        EchoOff(const EchoOff&) = delete;
        EchoOff& operator=(const EchoOff&) = delete;

    private:
        int m_descriptor;
        termios m_saved {};
        bool m_active = false;
    };

    // Closes a stream opened here when it goes.
    struct StreamCloser
    {
        void operator()(std::FILE* stream) const { std::fclose(stream); }
    };

} // namespace

std::optional<QString> readPasswordLine(std::FILE* input)
{
    QByteArray line;
    bool any = false;
    for (int c = std::fgetc(input); c != EOF; c = std::fgetc(input)) {
        any = true;
        if (c == '\n')
            break;
        line.append(static_cast<char>(c));
    }
    if (!any)
        return std::nullopt;
    if (line.endsWith('\r'))
        line.chop(1);
    const QString password = QString::fromLocal8Bit(line);
    line.fill('\0');
    return password;
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

std::optional<QString> obtainPassword(bool fromStdin)
{
    if (fromStdin)
        return readPasswordLine(stdin);
    if (const char* value = std::getenv(kPasswordVariable)) {
        const QString password = QString::fromLocal8Bit(value);
        unsetenv(kPasswordVariable);
        return password;
    }
    if (!isatty(STDIN_FILENO))
        return std::nullopt;
    return promptForPassword();
}

} // namespace quorvane::cli
