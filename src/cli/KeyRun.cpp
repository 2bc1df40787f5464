#include "cli/KeyRun.h"

#include "cli/ObservedConnection.h"
#include "db/ErrorNumbers.h"
#include "rebuild/ClusteredIndexRebuild.h"

#include <QRegularExpression>
#include <QStringList>

namespace quorvane::cli {

namespace {

    // A failure of the client side in the middle of a run: the link to the server is gone.
    bool meansConnectionLost(const Failure& failure)
    {
        return failure.number() == db::kErrorFail;
    }

    KeyResult resultOf(const ObservedConnection& observed)
    {
        if (const std::optional<Failure>& failure = observed.firstFailure())
            return { KeyOutcome::Failed, failure->description() };
        if (!observed.beganTransaction())
            return { KeyOutcome::Skipped, QStringLiteral("the key's columns were not found") };
        return { KeyOutcome::Rebuilt, QString() };
    }

    // A message of several lines (the server sends 3725 and 3727 together) on one line.
    QString oneLine(const QString& text)
    {
        QStringList parts = text.split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts);
        for (QString& part : parts)
            part = part.trimmed();
        return parts.join(QLatin1Char(' '));
    }

} // namespace

int RunTally::exitStatus() const
{
    return failed == 0 && notProcessed == 0 ? 0 : 1;
}

RunTally runKeys(const RunSettings& settings, const KeyRows& keys)
{
    ObservedConnection observed(settings.connection);
    const QString logFile = settings.logFile;
    const RebuildContext context { observed, [logFile] { return !logFile.isEmpty(); }, logFile, settings.clock,
                                   settings.report };
    RunTally tally;
    const auto total = static_cast<int>(keys.size());
    for (int index = 0; index < total; ++index) {
        if (settings.stopRequested && settings.stopRequested()) {
            tally.interrupted = true;
            tally.notProcessed = total - index;
            break;
        }
        const KeyRow& key = keys[index];
        observed.resetObservation();
        CreateClusteredIndex(context, key.table, key.constraint);
        const KeyResult result = resultOf(observed);
        switch (result.outcome) {
        case KeyOutcome::Rebuilt:
            ++tally.rebuilt;
            break;
        case KeyOutcome::Failed:
            ++tally.failed;
            break;
        case KeyOutcome::Skipped:
            ++tally.skipped;
            break;
        }
        if (settings.keyDone)
            settings.keyDone(key, result, index + 1);
        if (observed.firstFailure() && meansConnectionLost(*observed.firstFailure())) {
            tally.connectionLost = true;
            tally.notProcessed = total - index - 1;
            break;
        }
    }
    return tally;
}

QString runLine(const KeyRow& key, const KeyResult& result)
{
    QString outcome;
    switch (result.outcome) {
    case KeyOutcome::Rebuilt:
        outcome = QStringLiteral("rebuilt");
        break;
    case KeyOutcome::Failed:
        outcome = QStringLiteral("failed: ") + oneLine(result.detail);
        break;
    case KeyOutcome::Skipped:
        outcome = QStringLiteral("skipped: ") + oneLine(result.detail);
        break;
    }
    return key.table + QLatin1Char('\t') + key.constraint + QLatin1Char('\t') + outcome;
}

QString summaryLine(const RunTally& tally)
{
    return QStringLiteral("Done: %1 rebuilt, %2 failed, %3 skipped, %4 not processed.")
        .arg(tally.rebuilt)
        .arg(tally.failed)
        .arg(tally.skipped)
        .arg(tally.notProcessed);
}

} // namespace quorvane::cli
