#pragma once

#include "support/Failure.h"

#include <QList>
#include <QString>
#include <cstdint>

namespace quorvane::db {

// One ODBC diagnostic record as SQLGetDiagRecW hands it over.
struct DiagnosticRecord
{
    QString sqlState;
    std::int32_t nativeError = 0;
    QString message;
};

// What was being done when the records were drawn; it decides how a time-out is described.
enum class OdbcOperation { Connect, Statement };

// Turns the diagnostic records of a failed ODBC call into the failure the callers tell apart:
// - a database that cannot be opened at login (4060) and every failure of the client side
//   (unreachable server, lost connection, time-out, driver errors): kErrorFail;
// - a refused login (18456 without 4060): kErrorAuthenticationFailed;
// - an object that does not exist (208): kErrorNoTable;
// - any other server error: the server's own message number.
// The description holds the messages without the driver's bracketed prefixes, one per line, in
// the order the server sent them; informational messages are left out, but for the driver's own
// warnings when nothing else tells why the call failed (FreeTDS reports a connection the server
// closed mid-statement so).
Failure FailureFromDiagnostics(const QList<DiagnosticRecord>& records, OdbcOperation operation);

// The message text without leading "[vendor][component]" prefixes.
QString WithoutDriverPrefixes(const QString& message);

} // namespace quorvane::db
