#pragma once

#include "db/Connection.h"

#include <memory>

namespace quorvane::db {

class CallThread;

// A connection whose calls run a nested event loop on the calling thread, so that its windows keep
// painting while the database works. Every call that may wait on the server (Open, Execute, the
// transaction calls, Close, and the row set's MoveNext) runs on a thread of its own, one call at a
// time and in order, while the calling thread handles its events in a local event loop (see
// CallThread::runWithEventLoop); the call returns its result or throws its failure (the same
// Failure, number and description) on the calling thread as if it had run there.
//
// Handling events includes the user's input: whoever starts a run over this connection must keep
// the window from taking input for the run's duration (see InputBlocker).
class EventLoopConnection final : public Connection
{
public:
    explicit EventLoopConnection(std::unique_ptr<Connection> wrapped);
    ~EventLoopConnection() override;
    EventLoopConnection(const EventLoopConnection&) = delete;
    EventLoopConnection& operator=(const EventLoopConnection&) = delete;

    void Open(const QString& connectionString) override;
    std::unique_ptr<RecordSet> Execute(const QString& sql) override;
    void setCommandTimeout(int seconds) override;
    int CommandTimeout() const override;
    void BeginTrans() override;
    void CommitTrans() override;
    void RollbackTrans() override;
    void Close() override;
    bool isOpen() const override;
    // Runs on the calling thread at once: the call thread is the one waiting on the statement.
    void Cancel() noexcept override;

private:
    // Shared with the row sets, which run their calls on the same thread.
    std::shared_ptr<CallThread> m_thread;
    std::unique_ptr<Connection> m_wrapped;
};

} // namespace quorvane::db
