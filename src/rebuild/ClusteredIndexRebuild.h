#pragma once

#include <QString>
#include <functional>

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

// Re-creates the table's primary key as a clustered primary key on the same columns in key order,
// under the same name. Failures are reported with the source "CreateClusteredIndex"; the routine
// always returns normally. The DROP and the ADD run in one transaction, so a failed ADD leaves the
// table with its old key.
void CreateClusteredIndex(const RebuildContext& context, const QString& strTable, const QString& strConstraint);

} // namespace quorvane
