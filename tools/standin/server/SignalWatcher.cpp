#include "server/SignalWatcher.h"

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace standin {

namespace {
    // The write end of the pipe the signal handler wakes the event loop through; a signal handler
    // can reach nothing else.
    volatile std::sig_atomic_t g_signalFd = -1;

    // Writes the signal's number, so the event loop tells the signals apart.
    extern "C" void onSignal(int number)
    {
        const char byte = static_cast<char>(number);
        if (g_signalFd >= 0) [[maybe_unused]]
            const auto written = ::write(g_signalFd, &byte, 1);
    }
} // namespace

SignalWatcher::SignalWatcher(QObject* parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, m_fds) != 0)
        return;
    g_signalFd = m_fds[0];
    m_notifier = std::make_unique<QSocketNotifier>(m_fds[1], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(m_fds[1], &byte, 1);
        if (byte == SIGUSR1)
            Q_EMIT releaseRequested();
        else
            Q_EMIT terminationRequested();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGUSR1, &action, nullptr);
}

SignalWatcher::~SignalWatcher()
{
    g_signalFd = -1;
    m_notifier.reset();
    for (const int fd : m_fds) {
        if (fd >= 0)
            ::close(fd);
    }
}

} // namespace standin
