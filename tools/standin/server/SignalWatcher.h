#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace standin {

// Turns SIGTERM and SIGINT into a Qt signal, delivered from the event loop, so the program can
// end cleanly, and SIGUSR1 into another. One instance per process.
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

Q_SIGNALS:
    void terminationRequested();
    // SIGUSR1: the other users' sessions of the fixture are to let go of their locks.
    void releaseRequested();

private:
    int m_fds[2] = { -1, -1 };
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace standin
