#pragma once

#include "selection/KeyRow.h"

namespace quorvane::db {
class Connection;
}

namespace quorvane {
class ErrorReport;
}

namespace quorvane::cli {

// Reads the catalogue's details (clustered, rows, reserved size, expected refusals) into the rows
// with the main window's details query. A failure is recorded in the error log with the source
// "LoadKeyDetails", as the window records it, and leaves the rows without details.
void attachKeyDetails(KeyRows& rows, db::Connection& connection, const ErrorReport& report);

// The keys "Tick Keys That Are Not Clustered" ticks: not clustered and no refusal expected.
// Keys without details are never among them.
KeyRows keysNotClustered(const KeyRows& rows);

// Whether any row carries details.
bool hasDetails(const KeyRows& rows);

// The schema the catalogue vouches for: "dbo" unless the table is outside it, whose schema's name
// the catalogue query does not read; nothing without details.
std::optional<QString> knownSchema(const KeyRow& row);

} // namespace quorvane::cli
