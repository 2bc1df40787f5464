#include "rebuild/FixRun.h"

#include "db/Connection.h"
#include "db/ErrorNumbers.h"
#include "support/ErrorReport.h"
#include "support/MessageSink.h"

namespace quorvane {

QString tableLogLine(const TickedTable& table, const RebuildOutcome& outcome)
{
    QString line = table.strTable + QLatin1Char('\t') + table.strConstraint;
    if (outcome.kind == RebuildOutcome::Failed)
        line += QStringLiteral("  (failed, see ErrorLog.txt)");
    return line;
}

QString summaryLogLine(const FixRunCounts& counts)
{
    return QStringLiteral("Done: %1 rebuilt, %2 failed, %3 skipped, %4 not processed.")
        .arg(counts.rebuilt)
        .arg(counts.failed)
        .arg(counts.skipped)
        .arg(counts.notProcessed);
}

QString lostConnectionMessage(qint32 notProcessed)
{
    return QStringLiteral("The connection to the server was lost. %1 ticked tables were not processed.")
        .arg(notProcessed);
}

FixRunCounts RunFix(const RebuildContext& context, const QList<TickedTable>& tables, FixRunListener& listener)
{
    FixRunCounts counts;
    const auto total = static_cast<qint32>(tables.size());
    listener.runStarting(total);
    qint32 processed = 0;
    bool lost = false;
    for (const TickedTable& table : tables) {
        if (listener.stopRequested())
            break;
        const RebuildOutcome outcome = CreateClusteredIndex(context, table.strTable, table.strConstraint);
        ++processed;
        switch (outcome.kind) {
        case RebuildOutcome::Rebuilt:
            ++counts.rebuilt;
            break;
        case RebuildOutcome::Failed:
            ++counts.failed;
            break;
        case RebuildOutcome::Skipped:
            ++counts.skipped;
            break;
        }
        listener.tableFinished(table, outcome, processed);
        // Every further table would fail the same way, each with its own report.
        if (!context.cnnDatabase.isOpen()) {
            lost = true;
            break;
        }
    }
    counts.notProcessed = total - processed;
    listener.runFinished(counts);
    if (lost) {
        const QString message = lostConnectionMessage(counts.notProcessed);
        context.report.RecordError(QStringLiteral("PerformFix"), db::kErrorFail, message);
        context.report.messages().showMessage(message);
    }
    return counts;
}

} // namespace quorvane
