#include "terminal/Interrupt.h"

#include <atomic>
#include <windows.h>

namespace quorvane::cli {

namespace {

    std::atomic<int> g_interrupts { 0 };

    constexpr char kStopping[] = "\r\nCtrl+C: stopping once the current table's transaction has ended.\r\n";
    constexpr char kCancelling[] = "\r\nCtrl+C again: cancelling the current statement; its table is rolled back.\r\n";

    // Runs on a thread Windows starts for the event. Closing the console window, logging off and
    // shutting down go on to the usual end.
    BOOL WINAPI onControlEvent(DWORD event)
    {
        if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
            return FALSE;
        const int before = g_interrupts.fetch_add(1);
        DWORD written = 0;
        if (before == 0)
            WriteFile(GetStdHandle(STD_ERROR_HANDLE), kStopping, sizeof kStopping - 1, &written, nullptr);
        else if (before == 1)
            WriteFile(GetStdHandle(STD_ERROR_HANDLE), kCancelling, sizeof kCancelling - 1, &written, nullptr);
        return TRUE;
    }

} // namespace

void catchInterrupts()
{
    SetConsoleCtrlHandler(onControlEvent, TRUE);
}

bool interruptRequested()
{
    return g_interrupts.load() > 0;
}

bool cancelRequested()
{
    return g_interrupts.load() > 1;
}

InterruptsBlocked::InterruptsBlocked() = default;

InterruptsBlocked::~InterruptsBlocked() = default;

} // namespace quorvane::cli
