#include "rebuild/ClusteredIndexRebuild.h"

#include "db/Connection.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/ErrorReport.h"
#include "support/FileHelpers.h"
#include "support/Guard.h"
#include "support/HeldMessages.h"
#include "rebuild/KeyColumns.h"
#include "rebuild/Statements.h"

namespace quorvane {

namespace {

    // Appends the statement to the activity log file, stamped with the time it is about to be sent,
    // when "Log Results to a File" is ticked at this moment. A failure to write goes to `messages`.
    void logStatement(const RebuildContext& context, MessageSink& messages, const QString& marker,
                      const QString& statement)
    {
        if (!context.logToFile())
            return;
        AppendtoFile(messages, context.strLogFile, activityLogLine(context.clock.now(), marker, statement));
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

RebuildOutcome CreateClusteredIndex(const RebuildContext& context, const QString& strTable,
                                    const QString& strConstraint)
{
    RebuildOutcome outcome;
    const auto reportFailure = [&](std::int32_t number, const QString& description) {
        context.report.RaiseError(QStringLiteral("CreateClusteredIndex"), number, description);
        outcome = { RebuildOutcome::Failed, Failure(number, description) };
    };
    guardedWith(reportFailure, [&] {
        db::Connection& cnnDatabase = context.cnnDatabase;
        const QString strColumns = bracketedColumnList(keyColumns(cnnDatabase, strTable, strConstraint));

        // Rebuilding a large table's index takes as long as it takes.
        cnnDatabase.setCommandTimeout(0);

        // No key columns: the key is gone already, or the list is out of date; leave the table alone.
        if (strColumns.trimmed().isEmpty()) {
            outcome.kind = RebuildOutcome::Skipped;
            return;
        }

        // A message box about the activity log waits until the transaction has ended: shown while
        // the DROP is uncommitted, it would keep the table locked for every other user until
        // someone pressed OK. The statements themselves do not wait for it.
        HeldMessages logFailures(context.report.messages());

        // DROP and ADD form one transaction, so a table whose new key is refused keeps its old one.
        cnnDatabase.BeginTrans();
        try {
            const QString strDrop = dropConstraintStatement(strTable, strConstraint);
            logStatement(context, logFailures, QStringLiteral("- DROP: "), strDrop);
            cnnDatabase.Execute(strDrop);

            const QString strAdd = addClusteredKeyStatement(strTable, strConstraint, strColumns);
            logStatement(context, logFailures, QStringLiteral("- ADD: "), strAdd);
            cnnDatabase.Execute(strAdd);

            cnnDatabase.CommitTrans();
        } catch (...) {
            rollBackQuietly(cnnDatabase);
            logFailures.release();
            throw;
        }
        logFailures.release();
    });
    return outcome;
}

} // namespace quorvane
