#include "selection/KeySelection.h"

#include "support/Guard.h"
#include "keys/KeyDetailsQuery.h"

#include <algorithm>

namespace quorvane::cli {

void attachKeyDetails(KeyRows& rows, db::Connection& connection, const ErrorReport& report)
{
    guardedQuietly(report, "LoadKeyDetails", [&] {
        KeyDetailsIndex index(readKeyDetails(connection));
        for (KeyRow& row : rows)
            row.details = index.take(row.constraint, row.table);
    });
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
