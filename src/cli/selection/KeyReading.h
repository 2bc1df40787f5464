#pragma once

#include "selection/KeyRow.h"

namespace quorvane {
class ErrorReport;
namespace db {
    class Connection;
}
} // namespace quorvane

namespace quorvane::cli {

// Every primary key of the database, by the primary-key list query the main window fills its list
// with, in the order the server returns them. Throws the failure the connection reports.
KeyRows loadKeyRows(db::Connection& connection);

// Reads the catalogue's details (clustered, rows, reserved size, expected refusals) into the rows
// with the main window's details query. A failure is recorded in the error log with the source
// "LoadKeyDetails", as the window records it, and leaves the rows without details.
void attachKeyDetails(KeyRows& rows, db::Connection& connection, const ErrorReport& report);

} // namespace quorvane::cli
