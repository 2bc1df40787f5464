#include "cli/KeySelection.h"

#include <algorithm>

namespace quorvane::cli {

void attachKeyDetails(KeyRows& rows, db::Connection& connection, const ErrorReport& report)
{
    // The catalogue query for the details is shared with the main window's list; until the list
    // has one, the rows stay without details.
    Q_UNUSED(rows);
    Q_UNUSED(connection);
    Q_UNUSED(report);
}

KeyRows keysNotClustered(const KeyRows& rows)
{
    KeyRows chosen;
    for (const KeyRow& row : rows)
        if (row.details && !row.details->clustered && row.details->refusal.isEmpty())
            chosen.append(row);
    return chosen;
}

bool hasDetails(const KeyRows& rows)
{
    return std::any_of(rows.cbegin(), rows.cend(), [](const KeyRow& row) { return row.details.has_value(); });
}

} // namespace quorvane::cli
