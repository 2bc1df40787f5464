#include "server/SignalWatcher.h"

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace standin {

namespace {
    // The write end of the pipe the signal handler wakes the event loop through; a signal handler
    // can reach nothing else.
    volatile std::sig_atomic_t g_signalFd = -1;

    extern "C" void onTerminationSignal(int)
    {
        const char byte = 1;
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
        Q_EMIT terminationRequested();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
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
