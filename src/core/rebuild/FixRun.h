#pragma once

#include "rebuild/ClusteredIndexRebuild.h"

#include <QList>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <optional>

namespace quorvane {

// One ticked row of the table list: the table and its primary-key constraint.
struct TickedTable
{
    QString strTable;
    QString strConstraint;
};

// How a run went. Every ticked table is counted once.
struct FixRunCounts
{
    qint32 rebuilt = 0;
    qint32 failed = 0; // refused, busy, or unknown after a lost COMMIT reply
    qint32 skipped = 0; // left alone for a reason found before anything was sent
    qint32 notProcessed = 0; // left alone after the connection was lost or the run was stopped or cancelled
};

// The on-screen log's line for a table: table name, tab, constraint name; followed, for a table
// whose rebuild failed, by "  (failed, see ErrorLog.txt)", and for the other outcomes that left the
// key as it was or unknown by what happened ("  (busy, not changed: in use by session 57 (...))").
QString tableLogLine(const TickedTable& table, const RebuildOutcome& outcome);
// The line for a table whose outcome was unknown, once the key was checked on a new connection.
QString checkedLogLine(const TickedTable& table, bool rebuilt);
// "Done: R rebuilt, F failed, S skipped, P not processed."
QString summaryLogLine(const FixRunCounts& counts);
// "The connection to the server was lost. N ticked tables were not processed."
QString lostConnectionMessage(qint32 notProcessed);

// Whoever shows a run: the main window, or a command line.
class FixRunListener
{
public:
    virtual ~FixRunListener() = default;
    // Once, before the first table.
    virtual void runStarting(qint32 tables) = 0;
    // After each table, in order; `processed` counts the tables done so far, this one included.
    virtual void tableFinished(const TickedTable& table, RebuildOutcome outcome, qint32 processed) = 0;
    // Once, after the last table processed, before the user is told about a lost connection.
    virtual void runFinished(const FixRunCounts& counts) = 0;
    // After a COMMIT whose reply was lost, once the connection is open again and the key has been
    // looked at: whether it is clustered now. Before runFinished.
    virtual void outcomeChecked(const TickedTable& table, bool rebuilt) = 0;
    // Asked before each table: true ends the run there (Stop, a command line's Ctrl+C), after the
    // transaction of the table before it has ended; the tables left count as not processed.
    virtual bool stopRequested() const { return false; }
};

// Rebuilds the tables one after the other, in the order given, through CreateClusteredIndex;
// failures are reported table by table and the run goes on. A table whose statement the user
// cancelled ends the run; it and the tables after it count as not processed. When the connection to the server is
// lost, the table in progress is reported as any failure and the run stops there: no statement
// is sent for the tables after it, which count as not processed, and the lost connection gets one
// error record (source "PerformFix") and one message, lostConnectionMessage(), through the
// context's error report. When the reply to a table's COMMIT was lost, `reconnect` (when given) opens
// the connection again and the key is looked at: the finding goes to the listener and the error
// log, and the table counts as rebuilt or failed accordingly. When it cannot be looked at, the
// table is kept in `outcomeUnknown` (when given), and the next run, on a connection open again,
// looks at it first. Returns the counts that were handed to runFinished.
FixRunCounts RunFix(const RebuildContext& context, const QList<TickedTable>& tables, FixRunListener& listener,
                    const std::function<void()>& reconnect = {}, std::optional<TickedTable>* outcomeUnknown = nullptr);

} // namespace quorvane
