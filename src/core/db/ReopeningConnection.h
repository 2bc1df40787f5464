#pragma once

#include "db/Connection.h"
#include "db/LockTimeout.h"

#include <memory>

namespace quorvane::db {

// A connection that keeps the connection string it was opened with, so that a connection whose
// link to the server was lost can be opened again exactly as before. The string stays in memory
// only, as long as the connection lives. Every time it is opened, its first statement sets the lock
// time-out, so that no statement waits on another session's lock longer than the user chose.
class ReopeningConnection final : public Connection
{
public:
    explicit ReopeningConnection(std::unique_ptr<Connection> wrapped);
    ReopeningConnection(const ReopeningConnection&) = delete;
    ReopeningConnection& operator=(const ReopeningConnection&) = delete;

    // Starts a use that follows a pause (a run, a click on a row), with no transaction open. A
    // connection known to be lost is opened again at once with the same string; a failure to open
    // is thrown. Otherwise it arms one retry: the first statement of the use, should it find that
    // the server dropped the link during the pause (a server restarted meanwhile), opens the
    // connection again and is sent once more, as nothing of the use had reached the server by then.
    // Any other call disarms the retry.
    void ResumeWithRetry();
    // The lock time-out for this connection from now on (30 s until set): sent right after every
    // opening, and, when it changes while the connection is open, before the next statement.
    void setLockTimeout(LockTimeout lockTimeout);
    LockTimeout lockTimeout() const { return m_lockTimeout; }

    void Open(const QString& connectionString) override;
    std::unique_ptr<RecordSet> Execute(const QString& sql) override;
    void setCommandTimeout(int seconds) override;
    int CommandTimeout() const override;
    void BeginTrans() override;
    void CommitTrans() override;
    void RollbackTrans() override;
    void Close() override;
    bool isOpen() const override;
    void Cancel() noexcept override;

private:
    void reopen();
    void sendLockTimeoutIfDue();
    void boundLockWaitsOrClose();

    std::unique_ptr<Connection> m_wrapped;
    QString m_connectionString;
    bool m_retryArmed = false; // by ResumeWithRetry, for the next Execute only
    LockTimeout m_lockTimeout = LockTimeout::defaultWait();
    bool m_lockTimeoutDue = false; // the connection has not been told m_lockTimeout yet
};

} // namespace quorvane::db
