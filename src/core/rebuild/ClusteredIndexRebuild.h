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
    // True once the user has asked to cancel the statement in progress (and has had the driver
    // told so): the table's transaction is then rolled back and nothing more is sent for it.
    std::function<bool()> cancelRequested = [] { return false; };
};

// How one rebuild ended, and for a failed one the failure it reported.
struct RebuildOutcome
{
    enum class Kind {
        Rebuilt, // the key was dropped and added again as clustered
        Failed, // reported with the source "CreateClusteredIndex"; the table keeps its key as it was
        Skipped, // nothing was sent for the table, nothing reported; `detail` says why
        Busy, // another session held the table too long: rolled back and reported; `detail` names who
        Cancelled, // the user cancelled the statement in progress: rolled back, nothing reported
        Unknown, // the COMMIT was sent but its reply was lost with the connection: reported
    };
    using enum Kind;

    Kind kind = Rebuilt;
    // For Failed, Busy and Unknown: the number and description reported.
    std::optional<Failure> failure;
    // For Skipped the reason, for Busy who held the table (see busyText).
    QString detail;
};

// Re-creates the table's primary key as a clustered primary key on the same columns in key order,
// under the same name, on the filegroup its data is on (see planRebuild). Failures are reported
// with the source "CreateClusteredIndex"; the routine always returns normally. The DROP and the
// ADD run in one transaction, so a failed ADD leaves the table with its old key. A statement that
// waited too long for another session's lock (1222) or lost a deadlock (1205) rolls the table back,
// and the report names the sessions holding it. A failure to write the activity log while that transaction is open is
// shown only once it has ended, so no message box waits for the user while the table is locked.
RebuildOutcome CreateClusteredIndex(const RebuildContext& context, const QString& strTable,
                                    const QString& strConstraint);

} // namespace quorvane
