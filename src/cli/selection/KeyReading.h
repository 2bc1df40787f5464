#pragma once

#include "selection/KeyRow.h"

namespace quorvane::db {
class Connection;
}

namespace quorvane::cli {

// Every primary key of the database, by the primary-key list query the main window fills its list
// with, in the order the server returns them. Throws the failure the connection reports.
KeyRows loadKeyRows(db::Connection& connection);

// The keys whose constraint name is one of names, in list order (two keys of one name in two
// schemas are both chosen). Names that match no key are handed back in missing.
KeyRows keysNamed(const KeyRows& rows, const QStringList& names, QStringList& missing);

} // namespace quorvane::cli
