#include "rebuild/ClusteredIndexRebuild.h"

#include "db/Connection.h"
#include "db/ErrorNumbers.h"
#include "rebuild/LockHolders.h"
#include "rebuild/RebuildPlan.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/ErrorReport.h"
#include "support/FileHelpers.h"
#include "support/Guard.h"
#include "support/HeldMessages.h"

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

    // The server gave up waiting for another session's lock (SET LOCK_TIMEOUT), or chose this
    // session as a deadlock's victim; either way the table was busy, not faulty.
    constexpr std::int32_t kLockRequestTimedOut = 1222;
    constexpr std::int32_t kDeadlockVictim = 1205;

    bool isLockConflict(const Failure& failure)
    {
        return failure.number() == kLockRequestTimedOut || failure.number() == kDeadlockVictim;
    }

} // namespace

RebuildOutcome CreateClusteredIndex(const RebuildContext& context, const QString& strTable,
                                    const QString& strConstraint)
{
    RebuildOutcome outcome;
    const auto reportAs
        = [&](RebuildOutcome::Kind kind, std::int32_t number, const QString& description, const QString& detail) {
              context.report.RaiseError(QStringLiteral("CreateClusteredIndex"), number, description);
              outcome = { kind, Failure(number, description), detail };
          };
    const auto reportFailure = [&](std::int32_t number, const QString& description) {
        // A statement the user cancelled: nothing to report.
        if (context.cancelRequested())
            outcome.kind = RebuildOutcome::Cancelled;
        else
            reportAs(RebuildOutcome::Failed, number, description, {});
    };
    guardedWith(reportFailure, [&] {
        db::Connection& cnnDatabase = context.cnnDatabase;
        const RebuildPlan plan = planRebuild(cnnDatabase, strTable, strConstraint);

        // Rebuilding a large table's index takes as long as it takes.
        cnnDatabase.setCommandTimeout(0);

        // No usable key columns (the key is gone already, or the list is out of date), or data the
        // ADD would have to move: leave the table alone.
        if (plan.skipped()) {
            outcome = { RebuildOutcome::Skipped, std::nullopt, plan.skipReason };
            return;
        }

        // A message box about the activity log waits until the transaction has ended: shown while
        // the DROP is uncommitted, it would keep the table locked for every other user until
        // someone pressed OK. The statements themselves do not wait for it.
        HeldMessages logFailures(context.report.messages());
        // Between the statements a cancel fails the table as a cancelled statement would.
        const auto goOnUnlessCancelled = [&] {
            if (context.cancelRequested())
                throw Failure(db::kErrorFail, QStringLiteral("Operation canceled"));
        };

        // DROP and ADD form one transaction, so a table whose new key is refused keeps its old one.
        cnnDatabase.BeginTrans();
        bool committing = false;
        try {
            goOnUnlessCancelled();
            logStatement(context, logFailures, QStringLiteral("- DROP: "), plan.drop);
            cnnDatabase.Execute(plan.drop);

            goOnUnlessCancelled();
            logStatement(context, logFailures, QStringLiteral("- ADD: "), plan.add);
            cnnDatabase.Execute(plan.add);

            goOnUnlessCancelled();
            committing = true;
            cnnDatabase.CommitTrans();
        } catch (const Failure& failure) {
            // The COMMIT may have reached the server before the link broke: nothing can be undone,
            // and whether the key changed is known only once the connection is open again.
            if (committing && !cnnDatabase.isOpen()) {
                logFailures.release();
                reportAs(RebuildOutcome::Unknown, failure.number(),
                         failure.description()
                             + QStringLiteral(" The COMMIT was sent but its reply was lost: whether the key was "
                                              "rebuilt is unknown."),
                         {});
                return;
            }
            rollBackQuietly(cnnDatabase);
            logFailures.release();
            if (context.cancelRequested() || !isLockConflict(failure) || !cnnDatabase.isOpen())
                throw;
            const QString holders = busyText(lockHolders(cnnDatabase, strTable));
            reportAs(RebuildOutcome::Busy, failure.number(),
                     failure.description() + QStringLiteral(" The table was busy and was not changed: ") + holders
                         + u'.',
                     holders);
            return;
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
