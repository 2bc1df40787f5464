#pragma once

#include "cli/KeyRow.h"

#include <functional>

namespace quorvane {
class Clock;
class ErrorReport;
namespace db {
    class Connection;
}
} // namespace quorvane

namespace quorvane::cli {

enum class KeyOutcome { Rebuilt, Failed, Skipped };

// What became of one key: for a failure the server's message, for a skip the reason.
struct KeyResult
{
    KeyOutcome outcome = KeyOutcome::Rebuilt;
    QString detail;
};

// How a run went, key by key and as a whole.
struct RunTally
{
    int rebuilt = 0;
    int failed = 0;
    int skipped = 0;
    int notProcessed = 0;
    bool interrupted = false; // stopped at Ctrl+C
    bool connectionLost = false;

    // 0 when every chosen key was rebuilt or skipped, 1 otherwise.
    int exitStatus() const;
};

// What the run needs besides the keys.
struct RunSettings
{
    db::Connection& connection;
    QString logFile; // the activity log; empty: none
    const Clock& clock;
    const ErrorReport& report;
    // Asked before each key; true stops the run there, the rest counted as not processed.
    std::function<bool()> stopRequested;
    // Called after each key with its result and the number of keys done so far.
    std::function<void(const KeyRow&, const KeyResult&, int done)> keyDone;
};

// Rebuilds each key in the order given with the window's rebuild routine (key-column query,
// then DROP and ADD in one transaction, rolled back on failure; failures recorded in the error
// log). A lost connection ends the run after the key it happened on.
RunTally runKeys(const RunSettings& settings, const KeyRows& keys);

// "table<TAB>constraint<TAB>rebuilt", "...failed: <message>" or "...skipped: <reason>", on one line.
QString runLine(const KeyRow& key, const KeyResult& result);

// "Done: R rebuilt, F failed, S skipped, P not processed."
QString summaryLine(const RunTally& tally);

} // namespace quorvane::cli
