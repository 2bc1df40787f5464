#include "terminal/Interrupt.h"

#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace quorvane::cli {

namespace {

    volatile std::sig_atomic_t g_interrupts = 0;

    constexpr char kStopping[] = "\nCtrl+C: stopping once the current table's transaction has ended.\n";
    constexpr char kCancelling[] = "\nCtrl+C again: cancelling the current statement; its table is rolled back.\n";

    void onInterrupt(int)
    {
        // write() is safe in a signal handler; nothing else of stdio is.
        if (g_interrupts == 0) {
            [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kStopping, sizeof kStopping - 1);
            g_interrupts = 1;
        } else if (g_interrupts == 1) {
            [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kCancelling, sizeof kCancelling - 1);
            g_interrupts = 2;
        }
    }

    sigset_t interruptSet()
    {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        return set;
    }

} // namespace

void catchInterrupts()
{
    struct sigaction action
    {
    };
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

bool interruptRequested()
{
    return g_interrupts != 0;
}

bool cancelRequested()
{
    return g_interrupts > 1;
}

InterruptsBlocked::InterruptsBlocked()
{
    const sigset_t set = interruptSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

InterruptsBlocked::~InterruptsBlocked()
{
    const sigset_t set = interruptSet();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

} // namespace quorvane::cli
