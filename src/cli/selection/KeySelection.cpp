#include "selection/KeySelection.h"

#include <algorithm>

namespace quorvane::cli {

KeyRows keysNamed(const KeyRows& rows, const QStringList& names, QStringList& missing)
{
    KeyRows chosen;
    for (const KeyRow& row : rows)
        if (names.contains(row.constraint))
            chosen.append(row);
    missing.clear();
    for (const QString& name : names) {
        const bool found = std::any_of(chosen.cbegin(), chosen.cend(),
                                       [&name](const KeyRow& row) { return row.constraint == name; });
        if (!found && !missing.contains(name))
            missing.append(name);
    }
    return chosen;
}

KeyRows keysNotClustered(const KeyRows& rows)
{
    KeyRows chosen;
    for (const KeyRow& row : rows)
        if (row.details && needsClusteredRebuild(*row.details))
            chosen.append(row);
    return chosen;
}

bool hasDetails(const KeyRows& rows)
{
    return std::any_of(rows.cbegin(), rows.cend(), [](const KeyRow& row) { return row.details.has_value(); });
}

std::optional<QString> knownSchema(const KeyRow& row)
{
    if (!row.details || row.details->refusals.testFlag(KeyRefusal::OutsideDbo))
        return std::nullopt;
    return QStringLiteral("dbo");
}

} // namespace quorvane::cli
