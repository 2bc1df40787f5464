#pragma once

#include "selection/KeyRow.h"

#include <QStringList>

namespace quorvane::cli {

// The keys whose constraint name is one of names, in list order (two keys of one name in two
// schemas are both chosen). Names that match no key are handed back in missing.
KeyRows keysNamed(const KeyRows& rows, const QStringList& names, QStringList& missing);

// The keys "Tick Keys That Are Not Clustered" ticks: not clustered and no refusal expected.
// Keys without details are never among them.
KeyRows keysNotClustered(const KeyRows& rows);

// Whether any row carries details.
bool hasDetails(const KeyRows& rows);

// The schema the catalogue vouches for: "dbo" unless the table is outside it, whose schema's name
// the catalogue query does not read; nothing without details.
std::optional<QString> knownSchema(const KeyRow& row);

} // namespace quorvane::cli
