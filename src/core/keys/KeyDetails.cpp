#include "keys/KeyDetails.h"

#include <array>
#include <cmath>

namespace quorvane {

QStringList refusalTexts(KeyRefusals refusals)
{
    static const std::array<std::pair<KeyRefusal, const char*>, 4> kTexts { {
        { KeyRefusal::OutsideDbo, "the table is not in schema dbo" },
        { KeyRefusal::OnPartitionScheme, "the table's data is on a partition scheme, so it is not rebuilt" },
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
        if (!details->filegroup.isEmpty())
            lines.append(QStringLiteral("Filegroup: ") + details->filegroup);
        for (const QString& refusal : refusalTexts(details->refusals))
            lines.append(QStringLiteral("Will be refused: ") + refusal);
    }
    return lines.join(QLatin1Char('\n'));
}

KeyDetailsIndex::KeyDetailsIndex(std::vector<NamedKeyDetails> all)
    : m_all(std::move(all))
    , m_used(m_all.size(), false)
{ }

std::optional<KeyDetails> KeyDetailsIndex::take(const QString& constraint, const QString& table)
{
    while (m_next < m_all.size() && m_used[m_next])
        ++m_next;
    if (m_next < m_all.size() && m_all[m_next].constraint == constraint && m_all[m_next].table == table)
        return use(m_next);
    if (!m_positions) {
        m_positions.emplace();
        m_positions->reserve(static_cast<qsizetype>(m_all.size()));
        // A multi-hash hands back the values of one key newest first; inserted last to first, the
        // query's order comes first.
        for (std::size_t position = m_all.size(); position-- > 0;)
            m_positions->insert({ m_all[position].constraint, m_all[position].table }, position);
    }
    const std::pair<QString, QString> names { constraint, table };
    for (auto found = m_positions->constFind(names); found != m_positions->cend() && found.key() == names; ++found)
        if (!m_used[*found])
            return use(*found);
    return std::nullopt;
}

std::optional<KeyDetails> KeyDetailsIndex::use(std::size_t position)
{
    m_used[position] = true;
    return m_all[position].details;
}

} // namespace quorvane
