#include "support/VisibleText.h"

#include <algorithm>

namespace quorvane {

namespace {

    bool isControl(char16_t code)
    {
        return code < 0x20 || (code >= 0x7F && code <= 0x9F);
    }

} // namespace

QString visibleText(const QString& text, Tabs tabs)
{
    const auto needsShowing = [tabs](QChar character) {
        return isControl(character.unicode()) && !(tabs == Tabs::Kept && character == u'\t');
    };
    if (std::none_of(text.begin(), text.end(), needsShowing))
        return text;
    QString shown;
    shown.reserve(text.size() + 16);
    for (const QChar character : text) {
        if (!needsShowing(character)) {
            shown += character;
            continue;
        }
        switch (character.unicode()) {
        case u'\r':
            shown += QStringLiteral("<CR>");
            break;
        case u'\n':
            shown += QStringLiteral("<LF>");
            break;
        case u'\t':
            shown += QStringLiteral("<TAB>");
            break;
        case 0x1B:
            shown += QStringLiteral("<ESC>");
            break;
        default:
            shown += QStringLiteral("<U+%1>").arg(int(character.unicode()), 4, 16, QLatin1Char('0')).toUpper();
        }
    }
    return shown;
}

} // namespace quorvane
