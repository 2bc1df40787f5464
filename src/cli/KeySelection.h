#pragma once

#include "cli/KeyRow.h"

namespace quorvane::db {
class Connection;
}

namespace quorvane {
class ErrorReport;
}

namespace quorvane::cli {

// Reads the catalogue's details (schema, clustered, rows, reserved size, expected refusal) into
// the rows; a failure is recorded in the error log and leaves the rows without details, as the
// window then shows its list unmarked.
void attachKeyDetails(KeyRows& rows, db::Connection& connection, const ErrorReport& report);

// The keys "Tick Keys That Are Not Clustered" ticks: not clustered and no refusal expected.
// Keys without details are never among them.
KeyRows keysNotClustered(const KeyRows& rows);

// Whether any row carries details.
bool hasDetails(const KeyRows& rows);

} // namespace quorvane::cli
