#include "terminal/StderrMessages.h"

#include <cstdio>

namespace quorvane::cli {

void printError(const QString& text)
{
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    std::fprintf(stderr, "quorvane-cli: %s\n", lines.toLocal8Bit().constData());
    std::fflush(stderr);
}

void StderrMessages::showMessage(const QString& text)
{
    if (text == m_last)
        return;
    m_last = text;
    if (beforeWriting)
        beforeWriting();
    printError(text);
}

} // namespace quorvane::cli
