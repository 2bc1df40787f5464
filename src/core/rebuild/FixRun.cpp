#include "rebuild/FixRun.h"

#include "db/Connection.h"
#include "db/ErrorNumbers.h"
#include "rebuild/Statements.h"
#include "support/ErrorReport.h"
#include "support/Guard.h"
#include "support/MessageSink.h"

#include <optional>

namespace quorvane {

namespace {

    // "table<TAB>constraint", the start of every line about a table.
    QString tableAndConstraint(const TickedTable& table)
    {
        return table.strTable + QLatin1Char('\t') + table.strConstraint;
    }

} // namespace

QString tableLogLine(const TickedTable& table, const RebuildOutcome& outcome)
{
    const QString line = tableAndConstraint(table);
    switch (outcome.kind) {
    case RebuildOutcome::Rebuilt:
        return line;
    case RebuildOutcome::Failed:
        return line + QStringLiteral("  (failed, see ErrorLog.txt)");
    case RebuildOutcome::Skipped:
        return outcome.detail.isEmpty() ? line : line + QStringLiteral("  (skipped: ") + outcome.detail + u')';
    case RebuildOutcome::Busy:
        return line + QStringLiteral("  (busy, not changed: ") + outcome.detail + u')';
    case RebuildOutcome::Cancelled:
        return line + QStringLiteral("  (cancelled, not changed)");
    case RebuildOutcome::Unknown:
        return line + QStringLiteral("  (outcome unknown, see ErrorLog.txt)");
    }
    return line;
}

QString checkedLogLine(const TickedTable& table, bool rebuilt)
{
    return tableAndConstraint(table)
        + (rebuilt ? QStringLiteral("  (checked after reconnecting: rebuilt)")
                   : QStringLiteral("  (checked after reconnecting: not changed)"));
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

namespace {

    // Looks, on the connection opened again, at the key of a table whose COMMIT reply was lost, and
    // tells whether it is clustered now: on screen, and in the error log. Nothing when the
    // connection cannot be opened or the key is not there; that failure goes to the error log.
    std::optional<bool> checkOutcome(const RebuildContext& context, const std::function<void()>& reconnect,
                                     const TickedTable& table, FixRunListener& listener)
    {
        std::optional<bool> rebuilt;
        guardedQuietly(context.report, "PerformFix", [&] {
            reconnect();
            const auto rs = context.cnnDatabase.Execute(keyIsClusteredQuery(table.strTable, table.strConstraint));
            if (!rs->eof())
                rebuilt = rs->Fields(0).trimmed() == QLatin1String("1");
        });
        if (!rebuilt)
            return std::nullopt;
        const QString finding = QStringLiteral("Checked after reconnecting: the key %1 of the table %2 %3.")
                                    .arg(table.strConstraint, table.strTable,
                                         *rebuilt ? QStringLiteral("is clustered: the table was rebuilt")
                                                  : QStringLiteral("is not clustered: the table was not changed"));
        context.report.RecordError(QStringLiteral("PerformFix"), db::kErrorFail, finding);
        listener.outcomeChecked(table, *rebuilt);
        return rebuilt;
    }

} // namespace

FixRunCounts RunFix(const RebuildContext& context, const QList<TickedTable>& tables, FixRunListener& listener,
                    const std::function<void()>& reconnect, std::optional<TickedTable>* outcomeUnknown)
{
    FixRunCounts counts;
    const auto total = static_cast<qint32>(tables.size());
    listener.runStarting(total);
    // An earlier run's table whose outcome could not be looked at then: looked at first, once.
    if (outcomeUnknown && *outcomeUnknown) {
        checkOutcome(
            context, [] {}, **outcomeUnknown, listener);
        outcomeUnknown->reset();
    }
    qint32 processed = 0;
    bool lost = false;
    std::optional<TickedTable> unknown;
    for (const TickedTable& table : tables) {
        if (listener.stopRequested())
            break;
        const RebuildOutcome outcome = CreateClusteredIndex(context, table.strTable, table.strConstraint);
        if (outcome.kind == RebuildOutcome::Cancelled) {
            listener.tableFinished(table, outcome, processed);
            break;
        }
        ++processed;
        switch (outcome.kind) {
        case RebuildOutcome::Rebuilt:
            ++counts.rebuilt;
            break;
        case RebuildOutcome::Skipped:
            ++counts.skipped;
            break;
        case RebuildOutcome::Unknown:
            unknown = table;
            [[fallthrough]];
        default:
            ++counts.failed;
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
    if (unknown) {
        const std::optional<bool> rebuilt
            = reconnect ? checkOutcome(context, reconnect, *unknown, listener) : std::nullopt;
        if (rebuilt.value_or(false)) {
            --counts.failed;
            ++counts.rebuilt;
        }
        if (!rebuilt && outcomeUnknown)
            *outcomeUnknown = unknown;
    }
    listener.runFinished(counts);
    if (lost) {
        const QString message = lostConnectionMessage(counts.notProcessed);
        context.report.RecordError(QStringLiteral("PerformFix"), db::kErrorFail, message);
        context.report.messages().showMessage(message);
    }
    return counts;
}

} // namespace quorvane
