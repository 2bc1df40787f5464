#pragma once

#include "rebuild/FixRun.h"
#include "selection/KeyRow.h"

#include <functional>

namespace quorvane {
class Clock;
class ErrorReport;
namespace db {
    class Connection;
}
} // namespace quorvane

namespace quorvane::cli {

// What became of one key: for a failure the server's message, for a skip the reason.
struct KeyResult
{
    RebuildOutcome::Kind outcome = RebuildOutcome::Rebuilt;
    QString detail;
};

// How a run went: the window's counts, and why it ended early, if it did.
struct RunTally
{
    FixRunCounts counts;
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

// The window's fix run over the keys in the order given (key-column query, then DROP and ADD in
// one transaction, rolled back on failure; failures recorded in the error log; a lost connection
// ends the run after the key it happened on, with the window's message).
RunTally rebuildKeys(const RunSettings& settings, const KeyRows& keys);

// "table<TAB>constraint<TAB>rebuilt", "...failed: <message>" or "...skipped: <reason>", on one line.
QString runLine(const KeyRow& key, const KeyResult& result);

} // namespace quorvane::cli
