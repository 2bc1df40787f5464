#pragma once

namespace quorvane::cli {

// Ctrl+C during a run: the first Ctrl+C only asks the run to stop before its next key, so the
// table in progress ends its transaction (committed or rolled back) first; a second one asks for
// the statement in progress to be cancelled, which rolls its table back. Each says so on standard
// error at once. Until catchInterrupts() is called Ctrl+C ends the program as usual. On Linux
// that is SIGINT; on Windows the console's Ctrl+C and Ctrl+Break.
void catchInterrupts();
bool interruptRequested();
bool cancelRequested();

// Keeps SIGINT away from the threads started while it lives (they inherit the calling thread's
// signal mask), so that the signal always reaches the thread that asks interruptRequested() and
// never breaks off a database call in the middle. Windows runs its console handlers on a thread
// of their own and never inside another thread's call, so there it has nothing to do.
class InterruptsBlocked
{
public:
    InterruptsBlocked();
    ~InterruptsBlocked();
    InterruptsBlocked(const InterruptsBlocked&) = delete;
    InterruptsBlocked& operator=(const InterruptsBlocked&) = delete;
};

} // namespace quorvane::cli
