#include "db/CallThread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <atomic>
#include <chrono>
#include <exception>

namespace quorvane::db {

namespace {

    // Most calls return within a few milliseconds. Waiting that long before starting an event
    // loop keeps quick calls (reading row after row) cheap, and is far below what the eye notices.
    constexpr std::chrono::milliseconds kQuietWait { 5 };

    // Reading a long result is one quick call after another. Each side first yields a few times
    // before it goes to sleep, which halves the cost of handing over a call.
    constexpr int kYieldsBeforeSleeping = 64;

    // What one call left behind, shared by the caller and the call thread under `mutex`.
    struct Outcome
    {
        std::mutex mutex;
        std::condition_variable finishedChanged;
        std::atomic<bool> finished { false }; // also read without the lock, while yielding
        std::exception_ptr failure;
        QEventLoop* waitingLoop = nullptr; // set while the caller handles events
    };

} // namespace

CallThread::CallThread()
    : m_thread([this] { serve(); })
{ }

CallThread::~CallThread()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void CallThread::runWithEventLoop(const std::function<void()>& call)
{
    // An event loop needs the application object; without one (early start-up, late shut-down)
    // the caller simply waits.
    runCall(call, QCoreApplication::instance() != nullptr);
}

void CallThread::runWaiting(const std::function<void()>& call)
{
    runCall(call, false);
}

void CallThread::runCall(const std::function<void()>& call, bool keepEventsFlowing)
{
    Outcome outcome;
    {
        const std::lock_guard lock(m_mutex);
        m_calls.emplace_back([&call, &outcome] {
            std::exception_ptr failure;
            try {
                call();
            } catch (...) {
                failure = std::current_exception();
            }
            // Everything happens under the lock, so the caller cannot see `finished` and leave
            // (destroying `outcome` and the loop) before this thread is done with them.
            const std::lock_guard outcomeLock(outcome.mutex);
            outcome.failure = failure;
            outcome.finished = true;
            if (outcome.waitingLoop)
                QMetaObject::invokeMethod(outcome.waitingLoop, &QEventLoop::quit, Qt::QueuedConnection);
            outcome.finishedChanged.notify_one();
        });
    }
    m_wake.notify_one();

    for (int i = 0; i < kYieldsBeforeSleeping && !outcome.finished; ++i)
        std::this_thread::yield();
    // Taken even when the call has finished: the call thread lets go of `outcome` only with it.
    std::unique_lock lock(outcome.mutex);
    const auto isFinished = [&outcome] { return outcome.finished.load(); };
    if (keepEventsFlowing && !outcome.finishedChanged.wait_for(lock, kQuietWait, isFinished)) {
        QEventLoop loop;
        outcome.waitingLoop = &loop;
        lock.unlock();
        loop.exec();
        lock.lock();
        outcome.waitingLoop = nullptr;
    }
    // The loop also ends early when the application quits; the call still uses this frame.
    outcome.finishedChanged.wait(lock, isFinished);
    if (outcome.failure)
        std::rethrow_exception(outcome.failure);
}

void CallThread::serve()
{
    for (;;) {
        std::function<void()> next;
        {
            std::unique_lock lock(m_mutex);
            for (int i = 0; i < kYieldsBeforeSleeping && m_calls.empty() && !m_stopping; ++i) {
                lock.unlock();
                std::this_thread::yield();
                lock.lock();
            }
            m_wake.wait(lock, [this] { return m_stopping || !m_calls.empty(); });
            if (m_calls.empty())
                return;
            next = std::move(m_calls.front());
            m_calls.pop_front();
        }
        next();
    }
}

} // namespace quorvane::db
