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
    bool interrupted = false; // stopped at Ctrl+C, once or twice
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
    // Asked between a key's statements, once the connection has been told to cancel the one in
    // progress: true rolls the key back and ends the run.
    std::function<bool()> cancelRequested = [] { return false; };
    // Called after each key with its result and the number of keys done so far.
    std::function<void(const KeyRow&, const KeyResult&, int done)> keyDone = {};
    // Opens the connection again after a lost COMMIT reply, to look at the key; none: not looked at.
    std::function<void()> reconnect = {};
    // Called with what the look found: whether the key is clustered now.
    std::function<void(const KeyRow&, bool rebuilt)> keyChecked = {};
};

// The window's fix run over the keys in the order given (key-column query, then DROP and ADD in
// one transaction, rolled back on failure; failures recorded in the error log; a lost connection
// ends the run after the key it happened on, with the window's message).
RunTally rebuildKeys(const RunSettings& settings, const KeyRows& keys);

// "table<TAB>constraint<TAB>rebuilt", "...failed: <message>", "...skipped: <reason>", "...busy, not
// changed: in use by ...", "...cancelled, not changed" or "...outcome unknown: <message>", on one line.
QString runLine(const KeyRow& key, const KeyResult& result);
// "table<TAB>constraint<TAB>checked after reconnecting: rebuilt" (or "not changed").
QString checkedRunLine(const KeyRow& key, bool rebuilt);

} // namespace quorvane::cli
