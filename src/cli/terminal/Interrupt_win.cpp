#include "terminal/Interrupt.h"

#include <atomic>
#include <windows.h>

namespace quorvane::cli {

namespace {

    std::atomic<bool> g_interrupted { false };

    constexpr char kStopping[] = "\r\nCtrl+C: stopping once the current table's transaction has ended.\r\n";

    // Runs on a thread Windows starts for the event. Closing the console window, logging off and
    // shutting down go on to the usual end.
    BOOL WINAPI onControlEvent(DWORD event)
    {
        if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
            return FALSE;
        if (!g_interrupted.exchange(true)) {
            DWORD written = 0;
            WriteFile(GetStdHandle(STD_ERROR_HANDLE), kStopping, sizeof kStopping - 1, &written, nullptr);
        }
        return TRUE;
    }

} // namespace

void catchInterrupts()
{
    SetConsoleCtrlHandler(onControlEvent, TRUE);
}

bool interruptRequested()
{
    return g_interrupted.load();
}

InterruptsBlocked::InterruptsBlocked() = default;

InterruptsBlocked::~InterruptsBlocked() = default;

} // namespace quorvane::cli
