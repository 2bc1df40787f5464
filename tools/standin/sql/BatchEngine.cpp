#include "sql/BatchEngine.h"

#include "protocol/Bytes.h"
#include "protocol/Packet.h"
#include "sql/ServerErrors.h"

namespace standin {

namespace {
    using errors::kServerName;

    // Transaction-manager request types.
    constexpr std::uint16_t kTmBegin = 5;
    constexpr std::uint16_t kTmCommit = 7;
    constexpr std::uint16_t kTmRollback = 8;

    QString requestName(statement::TransactionRequest::Kind kind)
    {
        using Kind = statement::TransactionRequest::Kind;
        switch (kind) {
        case Kind::Begin:
            return QStringLiteral("begin");
        case Kind::Commit:
            return QStringLiteral("commit");
        case Kind::Rollback:
            return QStringLiteral("rollback");
        case Kind::Other:
            break;
        }
        return QStringLiteral("other");
    }
} // namespace

BatchEngine::BatchEngine(EngineHost& host, int connection, EngineLink link)
    : m_host(host)
    , m_connection(connection)
    , m_link(std::move(link))
{
    m_delay.setSingleShot(true);
    QObject::connect(&m_delay, &QTimer::timeout, &m_delay, [this] {
        if (m_run)
            continueRun();
    });
    m_lockWait.setSingleShot(true);
    m_lockWait.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_lockWait, &QTimer::timeout, &m_lockWait, [this] {
        if (m_run) {
            m_run->lockWaitExpired = true;
            continueRun();
        }
    });
    // Queued: a session lets go of its locks in the middle of its own run, or while it is destroyed.
    QObject::connect(
        &m_host.locks(), &LockManager::released, &m_lockWait,
        [this] {
            if (m_run && m_host.locks().waitsFor(m_identity.spid))
                continueRun();
        },
        Qt::QueuedConnection);
}

BatchEngine::~BatchEngine()
{
    if (m_transaction.active())
        m_transaction.rollback(m_host.catalogue());
}

void BatchEngine::runSql(const QString& sql, bool encrypted, bool procedure, std::optional<int> returnHandle)
{
    m_host.batchReceived(m_connection, databaseName(), sql, encrypted);
    const Batch batch = recogniseBatch(sql);
    startRun(batch.syntaxErrorNear ? QList<Statement> {} : batch.statements, procedure, returnHandle);
    if (batch.syntaxErrorNear) {
        m_host.unexpectedBatch(m_connection, sql);
        fail({ errors::incorrectSyntaxNear(*batch.syntaxErrorNear) });
    }
    continueRun();
}

void BatchEngine::runTransactionRequest(const QByteArray& payload, bool encrypted)
{
    ByteReader reader(payload, afterAllHeaders(payload, m_tdsVersion));
    using Request = statement::TransactionRequest;
    Request request;
    const auto type = reader.u16();
    if (type == kTmBegin)
        request.kind = Request::Kind::Begin;
    else if (type == kTmCommit)
        request.kind = Request::Kind::Commit;
    else if (type == kTmRollback)
        request.kind = Request::Kind::Rollback;
    if (request.kind == Request::Kind::Commit || request.kind == Request::Kind::Rollback) {
        // Commit and rollback carry a transaction name and a flag that asks for a new transaction.
        reader.bVarchar();
        const auto flags = reader.u8();
        request.beginsAnother = flags && (*flags & 0x01);
    }
    m_host.transactionRequestReceived(m_connection, requestName(request.kind), encrypted);
    // Answered like a batch of one statement, so that faults and attentions apply to it as well.
    startRun({ Statement { request, std::nullopt } }, false, std::nullopt);
    continueRun();
}

void BatchEngine::cancel()
{
    m_delay.stop();
    stopWaitingForLock();
    m_run.reset();
}

void BatchEngine::stop()
{
    cancel();
    if (m_transaction.active())
        m_transaction.rollback(m_host.catalogue());
    m_host.locks().releaseAll(m_identity.spid);
}

void BatchEngine::stopWaitingForLock()
{
    m_lockWait.stop();
    m_host.locks().stopWaiting(m_identity.spid);
}

BatchEngine::LockOutcome BatchEngine::lockFor(const Statement& statement)
{
    const auto name = lockedTable(statement.action);
    const auto table = name ? database().findTable(name->schema, name->name) : std::nullopt;
    LockManager& locks = m_host.locks();
    const LockedTable key { m_database, table.value_or(-1) };
    if (!table || locks.tryLock(m_identity.spid, key)) {
        stopWaitingForLock();
        return LockOutcome::Granted;
    }
    // LOCK_TIMEOUT 0 does not wait at all, so it never closes a cycle.
    if (m_lockTimeout == 0 || m_run->lockWaitExpired) {
        stopWaitingForLock();
        fail({ errors::lockRequestTimedOut() });
        return LockOutcome::TimedOut;
    }
    if (locks.closesCycle(m_identity.spid, key)) {
        // The session whose wait closes the cycle is the one chosen to end it.
        stopWaitingForLock();
        fail({ errors::deadlockVictim(m_identity.spid) });
        if (m_transaction.active())
            rollbackTransaction();
        return LockOutcome::DeadlockVictim;
    }
    if (!locks.waitsFor(m_identity.spid) && m_lockTimeout > 0)
        m_lockWait.start(m_lockTimeout);
    locks.wait(m_identity.spid, key);
    return LockOutcome::Waiting;
}

void BatchEngine::startRun(QList<Statement> statements, bool procedure, std::optional<int> returnHandle)
{
    m_run.emplace(std::move(statements), m_tdsVersion, procedure, returnHandle);
}

void BatchEngine::continueRun()
{
    Run& run = *m_run;
    while (run.next < run.statements.size()) {
        const Statement& statement = run.statements[run.next];
        if (statement.condition && !statement.condition->holds(m_transaction.count())) {
            ++run.next;
            continue;
        }
        if (!run.currentStarted) {
            // A fault counts the statement once, when it is reached, not again after its delay or a lock wait.
            const QString kind = faultKind(statement.action);
            run.currentFault = kind.isEmpty()
                ? std::nullopt
                : m_host.catalogue().takeFault(databaseName(), kind, faultTable(statement.action));
            run.currentStarted = true;
        }
        const std::optional<Fault> fault = run.currentFault;
        if (fault && fault->delayMs > 0 && !run.currentDelayed) {
            run.currentDelayed = true;
            m_delay.start(fault->delayMs);
            return;
        }
        if (fault && fault->disconnect)
            return m_link.cut();
        const LockOutcome lock = lockFor(statement);
        if (lock == LockOutcome::Waiting)
            return;
        if (lock == LockOutcome::Granted) {
            execute(statement, fault);
            if (fault && fault->disconnectAfter)
                return m_link.cut(); // carried out, but its reply never leaves
        }
        ++run.next;
        run.currentStarted = false;
        run.currentDelayed = false;
        run.lockWaitExpired = false;
        // Outside a transaction a lock lasts for its statement only.
        if (!m_transaction.active())
            m_host.locks().releaseAll(m_identity.spid);
        // A deadlock victim's transaction is rolled back and its batch ended.
        if (lock == LockOutcome::DeadlockVictim)
            break;
        if (run.lastFailed && m_xactAbort) {
            // SET XACT_ABORT ON: a run-time error rolls back the whole transaction and ends the batch.
            if (m_transaction.active())
                rollbackTransaction();
            break;
        }
    }
    if (!m_transaction.active())
        m_host.locks().releaseAll(m_identity.spid);
    finishRun(run);
    const QByteArray tokens = run.out.take();
    m_run.reset();
    m_link.answered(tokens);
}

void BatchEngine::finishRun(Run& run)
{
    if (!run.procedure) {
        if (run.pendingStatus)
            run.out.done(*run.pendingStatus, run.pendingCommand, run.pendingCount);
        else
            run.out.done(DoneStatus::Final, 0, 0);
        return;
    }
    if (run.pendingStatus)
        run.out.done(*run.pendingStatus | DoneStatus::More, run.pendingCommand, run.pendingCount,
                     DoneToken::DoneInProc);
    run.out.returnStatus(0);
    if (run.returnHandle)
        run.out.returnValue(0, QString(), *run.returnHandle);
    run.out.done(run.failed ? DoneStatus::Error : DoneStatus::Final, 0, 0, DoneToken::DoneProc);
}

void BatchEngine::execute(const Statement& statement, const std::optional<Fault>& fault)
{
    const StatementTraits traits = traitsOf(statement.action);
    if (m_implicitTransactions && !m_transaction.active() && traits.opensTransaction)
        beginTransaction();
    if (fault && fault->error) {
        SqlMessages messages { *fault->error };
        if (traits.faultTrailer)
            messages.append(traits.faultTrailer());
        return fail(messages);
    }
    std::visit([this](const auto& action) { action.run(*this); }, statement.action);
}

void BatchEngine::statementDone(std::uint16_t status, std::uint16_t command, std::uint64_t count)
{
    Run& run = *m_run;
    run.lastFailed = (status & DoneStatus::Error) != 0;
    if (run.lastFailed)
        run.failed = true;
    if (run.pendingStatus)
        run.out.done(*run.pendingStatus | DoneStatus::More, run.pendingCommand, run.pendingCount,
                     run.procedure ? DoneToken::DoneInProc : DoneToken::Done);
    run.pendingStatus = status;
    run.pendingCommand = command;
    run.pendingCount = count;
}

void BatchEngine::rows(const ResultSet& result)
{
    constexpr std::uint16_t kSelectCommand = 0xC1;
    m_run->out.resultSet(result);
    statementDone(DoneStatus::Count, kSelectCommand, static_cast<std::uint64_t>(result.rows.size()));
}

void BatchEngine::fail(const SqlMessages& messages)
{
    for (const SqlMessage& message : messages)
        m_run->out.message(message, kServerName);
    statementDone(DoneStatus::Error);
}

void BatchEngine::done()
{
    statementDone(DoneStatus::Final);
}

void BatchEngine::applyChange(const ChangeOutcome& outcome)
{
    if (!outcome.errors.isEmpty())
        return fail(outcome.errors);
    if (outcome.change) {
        if (m_transaction.active())
            m_transaction.recordChange(m_database, *outcome.change);
        else
            m_host.changesCommitted();
    }
    done();
}

void BatchEngine::changeDatabase(int database)
{
    const QString before = databaseName();
    m_database = database;
    m_run->out.envChange(EnvChange::Database, databaseName(), before);
    m_run->out.message(errors::databaseContextChanged(databaseName()), kServerName);
    done();
}

void BatchEngine::beginTransaction()
{
    const bool opening = !m_transaction.active();
    m_transaction.begin(m_host.newTransactionDescriptor());
    if (opening && m_tdsVersion >= TdsVersion::V7_2)
        m_run->out.envChangeBytes(EnvChange::BeginTransaction, m_transaction.descriptor(), {});
}

void BatchEngine::commitTransaction()
{
    const QByteArray descriptor = m_transaction.descriptor();
    if (m_transaction.commit())
        m_host.changesCommitted();
    if (m_tdsVersion >= TdsVersion::V7_2)
        m_run->out.envChangeBytes(EnvChange::CommitTransaction, {}, descriptor);
}

void BatchEngine::rollbackTransaction()
{
    const QByteArray descriptor = m_transaction.descriptor();
    m_transaction.rollback(m_host.catalogue());
    if (m_tdsVersion >= TdsVersion::V7_2)
        m_run->out.envChangeBytes(EnvChange::RollbackTransaction, {}, descriptor);
}

Database& BatchEngine::database()
{
    return m_host.catalogue().databases[static_cast<size_t>(m_database)];
}

QString BatchEngine::databaseName() const
{
    const Catalogue& catalogue = m_host.catalogue();
    if (m_database < 0 || m_database >= static_cast<int>(catalogue.databases.size()))
        return {};
    return catalogue.databases[static_cast<size_t>(m_database)].name();
}

} // namespace standin
