#pragma once

#include <QFlags>
#include <QHash>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace quorvane {

// A rebuild the server will refuse, as the catalogue shows it beforehand. A key may carry several.
enum class KeyRefusal : std::uint8_t {
    // A foreign key refers to the primary key: the DROP fails.
    ReferencedByForeignKey = 0x1,
    // The table already has a clustered index of another name: the ADD fails.
    OtherClusteredIndex = 0x2,
    // The table's data is on a partition scheme: a clustered key on one filegroup would gather
    // it there, so the table is not rebuilt.
    OnPartitionScheme = 0x4,
    // The table is not in schema dbo, but the statements name dbo.[table].
    OutsideDbo = 0x8,
};
Q_DECLARE_FLAGS(KeyRefusals, KeyRefusal)
Q_DECLARE_OPERATORS_FOR_FLAGS(KeyRefusals)

// What the catalogue tells about one primary key and its table.
struct KeyDetails
{
    bool clustered = false;
    qint64 rows = 0; // the table's row count
    qint64 reservedKb = 0; // space reserved for the table's data and indexes
    KeyRefusals refusals;
    QString filegroup = {}; // of the table's data; empty on a partition scheme

    friend bool operator==(const KeyDetails&, const KeyDetails&) = default;
};

// The details of one key as the catalogue query returns them, named by constraint and table.
struct NamedKeyDetails
{
    QString constraint;
    QString table;
    KeyDetails details;
};

// The refusals in words, in a fixed order, each a short phrase ("the table is not in schema dbo").
QStringList refusalTexts(KeyRefusals refusals);
// The same phrases joined by "; "; empty when there is none.
QString refusalText(KeyRefusals refusals);

// Whether a key is one to rebuild: not clustered yet, and no refusal predicted. "Tick Keys That Are
// Not Clustered" ticks exactly these.
bool needsClusteredRebuild(const KeyDetails& details);

// "1,234,567 rows" in the locale's number format ("1 row" for one).
QString rowCountText(qint64 rows, const QLocale& locale = QLocale());
// A size given in KB in the largest unit (KB, MB, GB, TB, 1024 each) that keeps the number at 1 or
// more: a whole number, with one decimal below 10 ("850 MB", "1.5 GB", "0 KB").
QString sizeText(qint64 kilobytes, const QLocale& locale = QLocale());

// A list row's tool tip: the full constraint and table names, and when the details are known
// "Clustered: yes/no", the rows and reserved size, and the predicted refusal in words.
QString keyToolTip(const QString& constraint, const QString& table, const std::optional<KeyDetails>& details,
                   const QLocale& locale = QLocale());

// Looks up the details of list rows by constraint and table name. Two rows of the same names (the
// same table name in two schemas) are handed the details in the order the query returned them.
// Rows asked for in the query's order (the list's order) are matched without any lookup.
class KeyDetailsIndex
{
public:
    explicit KeyDetailsIndex(std::vector<NamedKeyDetails> all);

    // The first unused details for this constraint and table; nothing when there are none left.
    std::optional<KeyDetails> take(const QString& constraint, const QString& table);

private:
    std::optional<KeyDetails> use(std::size_t position);

    std::vector<NamedKeyDetails> m_all;
    std::vector<bool> m_used;
    std::size_t m_next = 0; // where the next row in query order is expected
    // Positions by names, built at the first row asked for out of order.
    std::optional<QMultiHash<std::pair<QString, QString>, std::size_t>> m_positions;
};

} // namespace quorvane
