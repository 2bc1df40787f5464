#include "support/ActivityLog.h"

#include "support/VisibleText.h"

#include <QList>

namespace quorvane {

namespace {

    constexpr qsizetype kMaxOnScreenLogLength = 4000;

    // One piece of a date/time format: a run of one pattern letter, or literal text (quoted
    // sections included, as they stand).
    struct FormatPiece
    {
        QString text;
        bool isField = false;
        QChar letter() const { return isField ? text.front() : QChar(); }
    };

    bool isPatternLetter(QChar c)
    {
        return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
    }

    QList<FormatPiece> splitFormat(const QString& format)
    {
        QList<FormatPiece> pieces;
        const auto appendLiteral = [&pieces](QChar c) {
            if (pieces.isEmpty() || pieces.back().isField)
                pieces.append({ QString(), false });
            pieces.back().text += c;
        };
        bool inQuotes = false;
        for (const QChar c : format) {
            if (c == QLatin1Char('\'')) {
                inQuotes = !inQuotes;
                appendLiteral(c);
            } else if (inQuotes || !isPatternLetter(c)) {
                appendLiteral(c);
            } else if (!pieces.isEmpty() && pieces.back().isField && pieces.back().letter() == c) {
                pieces.back().text += c;
            } else {
                pieces.append({ QString(c), true });
            }
        }
        return pieces;
    }

    // The locale's short time format with a seconds field. Most locales' short time format shows
    // hours and minutes only, so "ss" goes after the minutes, behind the same separator the locale
    // puts between hours and minutes (":" in most, "." in Finnish or Danish). Any AM/PM marker or
    // literal text around the time stays where the locale puts it.
    QString timeFormatWithSeconds(const QLocale& locale)
    {
        const QString format = locale.timeFormat(QLocale::ShortFormat);
        QList<FormatPiece> pieces = splitFormat(format);
        qsizetype minutes = -1;
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            if (pieces[i].letter() == QLatin1Char('s'))
                return format;
            if (pieces[i].letter() == QLatin1Char('m') && minutes < 0)
                minutes = i;
        }
        if (minutes < 0)
            return format;
        QString separator = QStringLiteral(":");
        if (minutes >= 2 && !pieces[minutes - 1].isField && pieces[minutes - 2].isField
            && pieces[minutes - 2].letter().toLower() == QLatin1Char('h'))
            separator = pieces[minutes - 1].text;
        pieces.insert(minutes + 1, { separator, false });
        pieces.insert(minutes + 2, { QStringLiteral("ss"), true });
        QString withSeconds;
        for (const FormatPiece& piece : pieces)
            withSeconds += piece.text;
        return withSeconds;
    }

} // namespace

QString generalDateText(const QDateTime& moment, const QLocale& locale)
{
    return locale.toString(moment.date(), QLocale::ShortFormat) + QLatin1Char(' ')
        + locale.toString(moment.time(), timeFormatWithSeconds(locale));
}

QString activityLogLine(const QDateTime& moment, const QString& marker, const QString& statement, const QLocale& locale)
{
    return generalDateText(moment, locale) + marker + visibleText(statement);
}

QString textWithAppendedLine(const QString& currentText, const QString& line)
{
    const QString kept = currentText.size() > kMaxOnScreenLogLength ? QString() : currentText;
    return kept + visibleText(line, Tabs::Kept) + QStringLiteral("\r\n");
}

} // namespace quorvane
