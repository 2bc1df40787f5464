#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace quorvane::db {

// A thread of its own that runs calls handed to it, one at a time, in the order they come.
class CallThread
{
public:
    CallThread();
    ~CallThread();
    CallThread(const CallThread&) = delete;
    CallThread& operator=(const CallThread&) = delete;

    // Runs the call on this thread and returns when it has finished. Meanwhile the calling
    // thread keeps handling its events in a local event loop, so its windows go on painting.
    // Whatever the call throws is thrown again here, the same exception object.
    void runWithEventLoop(const std::function<void()>& call);

    // The same, but the calling thread simply waits: for destructors and other places where
    // handling events in between is not safe.
    void runWaiting(const std::function<void()>& call);

private:
    void runCall(const std::function<void()>& call, bool keepEventsFlowing);
    void serve();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_calls;
    bool m_stopping = false;
    std::thread m_thread; // last, so it starts once everything it uses is ready
};

} // namespace quorvane::db
