#include "terminal/PasswordSource.h"

#include "terminal/Terminal.h"

#include <QByteArray>
#include <cstdlib>
#include <cstring>

namespace quorvane::cli {

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

std::optional<QString> obtainPassword(bool fromStdin)
{
    if (fromStdin)
        return isTerminal(stdin) ? readPasswordLineWithoutEcho(stdin) : readPasswordLine(stdin);
    if (char* value = std::getenv(kPasswordVariable)) {
        const QString password = QString::fromLocal8Bit(value);
        // The variable's text stays in the process's initial environment block after it is
        // removed; blank it there first.
        std::memset(value, 0, std::strlen(value));
        qunsetenv(kPasswordVariable);
        return password;
    }
    if (!isTerminal(stdin))
        return std::nullopt;
    return promptForPassword();
}

} // namespace quorvane::cli
