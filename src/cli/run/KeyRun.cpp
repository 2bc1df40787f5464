#include "run/KeyRun.h"

#include "db/Connection.h"
#include "support/VisibleText.h"

#include <QRegularExpression>
#include <QStringList>

namespace quorvane::cli {

namespace {

    // A message of several lines (the server sends 3725 and 3727 together) on one line.
    QString oneLine(const QString& text)
    {
        QStringList parts = text.split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts);
        for (QString& part : parts)
            part = part.trimmed();
        return parts.join(QLatin1Char(' '));
    }

    // "table<TAB>constraint<TAB>", shown but never obeyed by the terminal.
    QString lineStart(const KeyRow& key)
    {
        return visibleText(key.table) + QLatin1Char('\t') + visibleText(key.constraint) + QLatin1Char('\t');
    }

    // Hands each key's outcome, with the server's message that the rebuild recorded in the error
    // log, to the command line as the run goes.
    class CommandLineRun final : public FixRunListener
    {
    public:
        CommandLineRun(const RunSettings& settings, const KeyRows& keys)
            : m_settings(settings)
            , m_keys(keys)
        { }

        bool interrupted() const { return m_interrupted; }

        void runStarting(qint32) override { }
        void tableFinished(const TickedTable&, RebuildOutcome outcome, qint32 processed) override
        {
            KeyResult result { outcome.kind, QString() };
            if (outcome.failure)
                result.detail = outcome.failure->description();
            if (outcome.kind == RebuildOutcome::Skipped || outcome.kind == RebuildOutcome::Busy)
                result.detail = outcome.detail;
            if (m_settings.keyDone)
                m_settings.keyDone(m_keys[m_next], result, processed);
            ++m_next;
        }
        void outcomeChecked(const TickedTable&, bool rebuilt) override
        {
            // The key in question is the last one finished.
            if (m_settings.keyChecked)
                m_settings.keyChecked(m_keys[m_next - 1], rebuilt);
        }
        void runFinished(const FixRunCounts&) override { }
        bool stopRequested() const override
        {
            const bool stop = m_settings.stopRequested && m_settings.stopRequested();
            m_interrupted = m_interrupted || stop;
            return stop;
        }

    private:
        const RunSettings& m_settings;
        const KeyRows& m_keys;
        qsizetype m_next = 0; // the key the next result belongs to
        mutable bool m_interrupted = false;
    };

} // namespace

int RunTally::exitStatus() const
{
    return counts.failed == 0 && counts.notProcessed == 0 ? 0 : 1;
}

RunTally rebuildKeys(const RunSettings& settings, const KeyRows& keys)
{
    const QString logFile = settings.logFile;
    RebuildContext context { settings.connection, [logFile] { return !logFile.isEmpty(); }, logFile, settings.clock,
                             settings.report };
    context.cancelRequested = settings.cancelRequested;
    QList<TickedTable> tables;
    for (const KeyRow& key : keys)
        tables.append({ key.table, key.constraint });

    CommandLineRun listener(settings, keys);
    RunTally tally;
    tally.counts = RunFix(context, tables, listener, settings.reconnect);
    // A cancelled table ends the run before the next key asks whether to stop.
    tally.interrupted = listener.interrupted() || settings.cancelRequested();
    tally.connectionLost = !settings.connection.isOpen();
    return tally;
}

QString runLine(const KeyRow& key, const KeyResult& result)
{
    QString outcome;
    switch (result.outcome) {
    case RebuildOutcome::Rebuilt:
        outcome = QStringLiteral("rebuilt");
        break;
    case RebuildOutcome::Failed:
        outcome = QStringLiteral("failed: ") + visibleText(oneLine(result.detail));
        break;
    case RebuildOutcome::Skipped:
        outcome = QStringLiteral("skipped: ") + visibleText(oneLine(result.detail));
        break;
    case RebuildOutcome::Busy:
        outcome = QStringLiteral("busy, not changed: ") + visibleText(oneLine(result.detail));
        break;
    case RebuildOutcome::Cancelled:
        outcome = QStringLiteral("cancelled, not changed");
        break;
    case RebuildOutcome::Unknown:
        outcome = QStringLiteral("outcome unknown: ") + visibleText(oneLine(result.detail));
        break;
    }
    return lineStart(key) + outcome;
}

QString checkedRunLine(const KeyRow& key, bool rebuilt)
{
    return lineStart(key)
        + (rebuilt ? QStringLiteral("checked after reconnecting: rebuilt")
                   : QStringLiteral("checked after reconnecting: not changed"));
}

} // namespace quorvane::cli
