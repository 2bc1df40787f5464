#pragma once

namespace quorvane::cli {

// Ctrl+C during a run: the first SIGINT only asks the run to stop before its next key, so the
// table in progress ends its transaction (committed or rolled back) first, and says so on
// standard error at once. Until catchInterrupts() is called SIGINT ends the program as usual.
void catchInterrupts();
bool interruptRequested();

// Keeps SIGINT away from the threads started while it lives (they inherit the calling thread's
// signal mask), so that the signal always reaches the thread that asks interruptRequested() and
// never breaks off a database call in the middle.
class InterruptsBlocked
{
public:
    InterruptsBlocked();
    ~InterruptsBlocked();
    InterruptsBlocked(const InterruptsBlocked&) = delete;
    InterruptsBlocked& operator=(const InterruptsBlocked&) = delete;
};

} // namespace quorvane::cli
