#include "main/KeyDetails.h"

#include <array>
#include <cmath>

namespace quorvane {

QStringList refusalTexts(KeyRefusals refusals)
{
    static const std::array<std::pair<KeyRefusal, const char*>, 4> kTexts { {
        { KeyRefusal::OutsideDbo, "the table is not in schema dbo" },
        { KeyRefusal::NameInSeveralSchemas, "the table name is in more than one schema, so the key columns get mixed" },
        { KeyRefusal::ReferencedByForeignKey, "a foreign key refers to the key, so the DROP will fail" },
        { KeyRefusal::OtherClusteredIndex, "the table has another clustered index, so the ADD will fail" },
    } };
    QStringList texts;
    for (const auto& [refusal, text] : kTexts)
        if (refusals.testFlag(refusal))
            texts.append(QString::fromLatin1(text));
    return texts;
}

QString refusalText(KeyRefusals refusals)
{
    return refusalTexts(refusals).join(QLatin1String("; "));
}

bool needsClusteredRebuild(const KeyDetails& details)
{
    return !details.clustered && !details.refusals;
}

QString rowCountText(qint64 rows, const QLocale& locale)
{
    return locale.toString(rows) + (rows == 1 ? QStringLiteral(" row") : QStringLiteral(" rows"));
}

QString sizeText(qint64 kilobytes, const QLocale& locale)
{
    static const std::array<const char*, 4> kUnits { "KB", "MB", "GB", "TB" };
    double value = static_cast<double>(kilobytes);
    std::size_t unit = 0;
    while (unit + 1 < kUnits.size() && value >= 1024.0) {
        value /= 1024.0;
        ++unit;
    }
    // One decimal below 10 of a unit above KB, unless it rounds to a whole number.
    const double tenths = std::round(value * 10.0) / 10.0;
    const bool decimal = unit > 0 && tenths < 10.0 && tenths != std::floor(tenths);
    const QString number = decimal ? locale.toString(tenths, 'f', 1) : locale.toString(qRound64(value));
    return number + QLatin1Char(' ') + QLatin1String(kUnits[unit]);
}

QString keyToolTip(const QString& constraint, const QString& table, const std::optional<KeyDetails>& details,
                   const QLocale& locale)
{
    QStringList lines { QStringLiteral("Primary key: ") + constraint, QStringLiteral("Table: ") + table };
    if (details) {
        lines.append(QStringLiteral("Clustered: ")
                     + (details->clustered ? QStringLiteral("yes") : QStringLiteral("no")));
        lines.append(rowCountText(details->rows, locale) + QStringLiteral(", ")
                     + sizeText(details->reservedKb, locale));
        for (const QString& refusal : refusalTexts(details->refusals))
            lines.append(QStringLiteral("Will be refused: ") + refusal);
    }
    return lines.join(QLatin1Char('\n'));
}

KeyDetailsIndex::KeyDetailsIndex(std::vector<NamedKeyDetails> all)
{
    m_details.reserve(static_cast<qsizetype>(all.size()));
    // A multi-hash hands back the values of one key newest first; insert in reverse so that take()
    // meets them in the query's order.
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        m_details.insert({ std::move(it->constraint), std::move(it->table) }, it->details);
}

std::optional<KeyDetails> KeyDetailsIndex::take(const QString& constraint, const QString& table)
{
    const auto found = m_details.find({ constraint, table });
    if (found == m_details.end())
        return std::nullopt;
    const KeyDetails details = *found;
    m_details.erase(found);
    return details;
}

} // namespace quorvane
