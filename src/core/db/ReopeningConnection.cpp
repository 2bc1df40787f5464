#include "db/ReopeningConnection.h"

#include "support/Failure.h"

namespace quorvane::db {

ReopeningConnection::ReopeningConnection(std::unique_ptr<Connection> wrapped)
    : m_wrapped(std::move(wrapped))
{ }

void ReopeningConnection::ResumeWithRetry()
{
    m_retryArmed = false;
    if (!m_wrapped->isOpen())
        reopen();
    else
        m_retryArmed = true;
}

void ReopeningConnection::setLockTimeout(LockTimeout lockTimeout)
{
    if (lockTimeout == m_lockTimeout)
        return;
    m_lockTimeout = lockTimeout;
    m_lockTimeoutDue = true;
}

void ReopeningConnection::Open(const QString& connectionString)
{
    m_retryArmed = false;
    m_wrapped->Open(connectionString);
    m_connectionString = connectionString;
    boundLockWaitsOrClose();
}

std::unique_ptr<RecordSet> ReopeningConnection::Execute(const QString& sql)
{
    if (!m_retryArmed) {
        sendLockTimeoutIfDue();
        return m_wrapped->Execute(sql);
    }
    m_retryArmed = false;
    try {
        sendLockTimeoutIfDue();
        return m_wrapped->Execute(sql);
    } catch (const Failure&) {
        // Still open: the server refused the statement, which sending it again would not change.
        if (m_wrapped->isOpen())
            throw;
    }
    reopen();
    return m_wrapped->Execute(sql);
}

void ReopeningConnection::setCommandTimeout(int seconds)
{
    m_wrapped->setCommandTimeout(seconds);
}

int ReopeningConnection::CommandTimeout() const
{
    return m_wrapped->CommandTimeout();
}

void ReopeningConnection::BeginTrans()
{
    m_retryArmed = false;
    sendLockTimeoutIfDue();
    m_wrapped->BeginTrans();
}

void ReopeningConnection::CommitTrans()
{
    m_retryArmed = false;
    m_wrapped->CommitTrans();
}

void ReopeningConnection::RollbackTrans()
{
    m_retryArmed = false;
    m_wrapped->RollbackTrans();
}

void ReopeningConnection::Close()
{
    m_retryArmed = false;
    m_wrapped->Close();
}

bool ReopeningConnection::isOpen() const
{
    return m_wrapped->isOpen();
}

void ReopeningConnection::Cancel() noexcept
{
    m_wrapped->Cancel();
}

void ReopeningConnection::reopen()
{
    // The command time-out belongs to the connection object and carries over; the lock time-out
    // belongs to the server's session, which is a new one.
    m_wrapped->Open(m_connectionString);
    boundLockWaitsOrClose();
}

void ReopeningConnection::boundLockWaitsOrClose()
{
    // A new session has the server's default, no limit. A connection whose waits could not be
    // bounded is not handed over open.
    m_lockTimeoutDue = true;
    try {
        sendLockTimeoutIfDue();
    } catch (...) {
        try {
            m_wrapped->Close();
        } catch (...) { }
        throw;
    }
}

void ReopeningConnection::sendLockTimeoutIfDue()
{
    if (!m_lockTimeoutDue)
        return;
    m_wrapped->Execute(m_lockTimeout.setStatement());
    m_lockTimeoutDue = false;
}

} // namespace quorvane::db
