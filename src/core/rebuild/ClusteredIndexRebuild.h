#pragma once

#include "support/Failure.h"

#include <QString>
#include <functional>
#include <optional>

namespace quorvane {

class Clock;
class ErrorReport;
namespace db {
    class Connection;
}

// What one rebuild needs from the main window.
struct RebuildContext
{
    db::Connection& cnnDatabase;
    std::function<bool()> logToFile; // the state of "Log Results to a File", read before each statement
    QString strLogFile; // the activity log file's full path
    const Clock& clock;
    const ErrorReport& report;
};

// How one rebuild ended, and for a failed one the failure it reported.
struct RebuildOutcome
{
    enum class Kind {
        Rebuilt, // the key was dropped and added again as clustered
        Failed, // reported with the source "CreateClusteredIndex"; the table keeps its key as it was
        Skipped, // the key's columns could not be found: nothing was sent, nothing reported
    };
    using enum Kind;

    Kind kind = Rebuilt;
    // For Failed: the number and description reported (a statement refused, the connection lost).
    std::optional<Failure> failure;
};

// Re-creates the table's primary key as a clustered primary key on the same columns in key order,
// under the same name. Failures are reported with the source "CreateClusteredIndex"; the routine
// always returns normally. The DROP and the ADD run in one transaction, so a failed ADD leaves the
// table with its old key. A failure to write the activity log while that transaction is open is
// shown only once it has ended, so no message box waits for the user while the table is locked.
RebuildOutcome CreateClusteredIndex(const RebuildContext& context, const QString& strTable,
                                    const QString& strConstraint);

} // namespace quorvane
