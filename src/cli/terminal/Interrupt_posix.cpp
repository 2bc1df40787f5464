#include "terminal/Interrupt.h"

#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace quorvane::cli {

namespace {

    volatile std::sig_atomic_t g_interrupted = 0;

    constexpr char kStopping[] = "\nCtrl+C: stopping once the current table's transaction has ended.\n";

    void onInterrupt(int)
    {
        if (g_interrupted == 0) {
            // write() is safe in a signal handler; nothing else of stdio is.
            [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kStopping, sizeof kStopping - 1);
        }
        g_interrupted = 1;
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
    return g_interrupted != 0;
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
