#include "rebuild/ClusteredIndexRebuild.h"

#include "db/Connection.h"
#include "log/ActivityLog.h"
#include "log/Clock.h"
#include "log/ErrorReport.h"
#include "log/FileHelpers.h"
#include "log/Guard.h"
#include "rebuild/KeyColumns.h"
#include "rebuild/Statements.h"

namespace quorvane {

namespace {

    // Appends the statement to the activity log file, stamped with the time it is about to be sent,
    // when "Log Results to a File" is ticked at this moment.
    void logStatement(const RebuildContext& context, const QString& marker, const QString& statement)
    {
        if (!context.logToFile())
            return;
        AppendtoFile(context.report.messages(), context.strLogFile,
                     activityLogLine(context.clock.now(), marker, statement));
    }

    // Undoes the open transaction after a failure. The failure that got us here is the one the user
    // must see, so a rollback that fails as well (typically on a connection that has just been
    // lost, where the server rolls back by itself) is passed over.
    void rollBackQuietly(db::Connection& connection) noexcept
    {
        try {
            connection.RollbackTrans();
        } catch (...) { }
    }

} // namespace

void CreateClusteredIndex(const RebuildContext& context, const QString& strTable, const QString& strConstraint)
{
    guarded(context.report, "CreateClusteredIndex", [&] {
        db::Connection& cnnDatabase = context.cnnDatabase;
        const QString strColumns = bracketedColumnList(keyColumns(cnnDatabase, strTable, strConstraint));

        // Rebuilding a large table's index takes as long as it takes.
        cnnDatabase.setCommandTimeout(0);

        // No key columns: the key is gone already, or the list is out of date; leave the table alone.
        if (strColumns.trimmed().isEmpty())
            return;

        // DROP and ADD form one transaction, so a table whose new key is refused keeps its old one.
        cnnDatabase.BeginTrans();
        try {
            const QString strDrop = dropConstraintStatement(strTable, strConstraint);
            logStatement(context, QStringLiteral("- DROP: "), strDrop);
            cnnDatabase.Execute(strDrop);

            const QString strAdd = addClusteredKeyStatement(strTable, strConstraint, strColumns);
            logStatement(context, QStringLiteral("- ADD: "), strAdd);
            cnnDatabase.Execute(strAdd);

            cnnDatabase.CommitTrans();
        } catch (...) {
            rollBackQuietly(cnnDatabase);
            throw;
        }
    });
}

} // namespace quorvane
