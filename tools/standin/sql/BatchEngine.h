#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueRules.h"
#include "protocol/TokenWriter.h"
#include "sql/LockManager.h"
#include "sql/Statements.h"
#include "sql/Transaction.h"

#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>

namespace standin {

// What the batch engine needs from the server around it.
class EngineHost
{
public:
    virtual ~EngineHost() = default;
    virtual Catalogue& catalogue() = 0;
    // Called with every SQL batch before it is answered; encrypted tells whether it came inside TLS.
    virtual void batchReceived(int connection, const QString& database, const QString& sql, bool encrypted) = 0;
    // Called with every transaction-manager request ("begin", "commit", "rollback" or "other").
    virtual void transactionRequestReceived(int connection, const QString& request, bool encrypted) = 0;
    // Called with every attention (a client's cancel) after the login.
    virtual void attentionReceived(int connection, bool encrypted) = 0;
    // Called with a batch the stand-in does not understand.
    virtual void unexpectedBatch(int connection, const QString& sql) = 0;
    // Called after a change to the catalogue has been committed.
    virtual void changesCommitted() = 0;
    virtual QByteArray newTransactionDescriptor() = 0;
    // The locks and sessions of the whole server.
    virtual LockManager& locks() = 0;
};

// Who a connection is, once logged in, for the locks and the session views.
struct ConnectionIdentity
{
    int spid = 0;
    bool viewServerState = true; // the login holds VIEW SERVER STATE
    QString release; // the release the server plays: "2000", "2005", ...
};

// Where the engine's answers go on the connection.
struct EngineLink
{
    // A run's whole answer, once its last statement is done.
    std::function<void(const QByteArray& tokens)> answered;
    // A fault asks to cut the connection.
    std::function<void()> cut;
};

// Answers one connection's SQL batches and transaction-manager requests, statement by statement,
// with the connection's transaction, its SET options and the faults of the catalogue. A delayed
// statement waits on a timer, and a statement whose table another session has locked waits for
// the lock (up to SET LOCK_TIMEOUT), so other connections are served meanwhile; cancel() abandons
// either. The connection's locks are let go of when its transaction ends.
// Statement handlers (statement::*::run) answer through the operations below.
class BatchEngine
{
public:
    BatchEngine(EngineHost& host, int connection, EngineLink link);
    ~BatchEngine();
    BatchEngine(const BatchEngine&) = delete;
    BatchEngine& operator=(const BatchEngine&) = delete;

    // Set by the login.
    void setTdsVersion(std::uint32_t version) { m_tdsVersion = version; }
    void setDatabase(int database) { m_database = database; }
    void setIdentity(const ConnectionIdentity& identity) { m_identity = identity; }
    const ConnectionIdentity& identity() const { return m_identity; }
    QString databaseName() const;
    const Transaction& transaction() const { return m_transaction; }

    // Runs a batch's SQL; procedure: answered as a remote procedure call, handing back returnHandle.
    void runSql(const QString& sql, bool encrypted, bool procedure = false, std::optional<int> returnHandle = {});
    // Runs a transaction-manager request, like a batch of one statement.
    void runTransactionRequest(const QByteArray& payload, bool encrypted);
    // True while a run waits on a delayed statement.
    bool running() const { return m_run.has_value(); }
    // Abandons the run under way (an attention).
    void cancel();
    // Abandons the run and rolls the open transaction back (the connection has ended).
    void stop();

    // What statement handlers do to the run under way.
    Catalogue& catalogue() { return m_host.catalogue(); }
    Database& database();
    int databaseIndex() const { return m_database; }
    LockManager& locks() { return m_host.locks(); }
    int lockTimeout() const { return m_lockTimeout; }
    void setLockTimeout(int milliseconds) { m_lockTimeout = milliseconds; }
    void rows(const ResultSet& result);
    void fail(const SqlMessages& messages);
    void done();
    void applyChange(const ChangeOutcome& outcome);
    void changeDatabase(int database);
    void setImplicitTransactions(bool on) { m_implicitTransactions = on; }
    void setXactAbort(bool on) { m_xactAbort = on; }
    void beginTransaction();
    void commitTransaction();
    // A COMMIT inside a nested transaction: one level less, nothing committed yet.
    void commitNestedLevel() { m_transaction.commitLevel(); }
    void rollbackTransaction();

private:
    // A batch being answered, kept while a delayed statement waits.
    struct Run
    {
        Run(QList<Statement> all, std::uint32_t tdsVersion, bool asProcedure, std::optional<int> handle)
            : statements(std::move(all))
            , out(tdsVersion)
            , procedure(asProcedure)
            , returnHandle(handle)
        { }

        QList<Statement> statements;
        TokenWriter out;
        bool procedure = false; // answered as a remote procedure call
        std::optional<int> returnHandle; // the prepared handle sp_prepexec hands back
        int next = 0;
        bool currentStarted = false; // its fault has been taken
        bool currentDelayed = false;
        bool lockWaitExpired = false; // the current statement has waited LOCK_TIMEOUT for its lock
        std::optional<Fault> currentFault; // taken when the statement is reached, kept over its delay
        std::optional<std::uint16_t> pendingStatus;
        std::uint16_t pendingCommand = 0;
        std::uint64_t pendingCount = 0;
        bool failed = false;
        bool lastFailed = false; // the statement answered last ended in an error
    };

    // What became of a statement's lock.
    enum class LockOutcome { Granted, Waiting, TimedOut, DeadlockVictim };

    void startRun(QList<Statement> statements, bool procedure, std::optional<int> returnHandle);
    LockOutcome lockFor(const Statement& statement);
    void stopWaitingForLock();
    void continueRun();
    void finishRun(Run& run);
    void execute(const Statement& statement, const std::optional<Fault>& fault);
    void statementDone(std::uint16_t status, std::uint16_t command = 0, std::uint64_t count = 0);

    EngineHost& m_host;
    const int m_connection;
    EngineLink m_link;
    std::uint32_t m_tdsVersion = TdsVersion::V7_4;
    int m_database = 0;
    bool m_implicitTransactions = false;
    bool m_xactAbort = false;
    int m_lockTimeout = -1; // SET LOCK_TIMEOUT, in ms; -1: no limit
    ConnectionIdentity m_identity;
    Transaction m_transaction;
    std::optional<Run> m_run;
    QTimer m_delay;
    QTimer m_lockWait; // runs out at LOCK_TIMEOUT while a statement waits for a lock
};

} // namespace standin
