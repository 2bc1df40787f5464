#pragma once

#include <QString>
#include <functional>
#include <memory>

namespace quorvane::db {

// A forward-only row set returned by Connection::Execute. Read once, front to back; released by
// its owner without an explicit close. Every operation throws quorvane::Failure on failure.
class RecordSet
{
public:
    virtual ~RecordSet() = default;

    // True when there is no current row; at once for an empty result.
    virtual bool eof() const = 0;
    // Makes the next row current.
    virtual void MoveNext() = 0;
    // The value of the current row's column at a 0-based position, as text.
    virtual QString Fields(int index) const = 0;
    // The number of columns of every row.
    virtual int fieldCount() const = 0;
};

// One database connection. Created closed; every operation is synchronous and throws
// quorvane::Failure (number and description, see ErrorNumbers.h) on failure. Destroying an open
// connection closes it.
class Connection
{
public:
    virtual ~Connection() = default;

    // Opens the connection from an OLE DB style connection string (user and password inside it).
    virtual void Open(const QString& connectionString) = 0;
    // Sends SQL text; the result of a statement without rows may be released unread.
    virtual std::unique_ptr<RecordSet> Execute(const QString& sql) = 0;
    // Seconds a later Execute may take before it fails with a time-out; 0 means no limit.
    virtual void setCommandTimeout(int seconds) = 0;
    virtual int CommandTimeout() const = 0;
    // Explicit transactions: after BeginTrans, statements stay uncommitted until CommitTrans or
    // RollbackTrans. A connection that drops with a transaction open leaves the server to roll back.
    virtual void BeginTrans() = 0;
    virtual void CommitTrans() = 0;
    virtual void RollbackTrans() = 0;
    virtual void Close() = 0;
    virtual bool isOpen() const = 0;
    // Asks the server to stop the statement another thread is waiting on now (an ODBC cancel, which
    // the driver sends as an attention); that call then fails. Safe from any thread, never throws,
    // does nothing while no statement runs. An open transaction stays open.
    virtual void Cancel() noexcept = 0;
};

// Creates a new, closed connection: the seam through which tests substitute or fault connections.
using ConnectionFactory = std::function<std::unique_ptr<Connection>()>;

inline constexpr int kDefaultConnectTimeoutSeconds = 15;
inline constexpr int kDefaultCommandTimeoutSeconds = 30;

} // namespace quorvane::db
