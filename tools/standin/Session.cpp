#include "Session.h"

#include "Bytes.h"
#include "CatalogueRules.h"
#include "Rpc.h"
#include "ServerErrors.h"

namespace standin {

namespace {
    const QString kServerName = QStringLiteral("STANDIN");
    const QString kProductName = QStringLiteral("Microsoft SQL Server");
    constexpr std::uint32_t kProductVersion = 0x09001388; // 9.00.5000
    const QString kLanguage = QStringLiteral("us_english");
    constexpr std::uint16_t kSelectCommand = 0xC1;

    // Transaction-manager request types.
    constexpr std::uint16_t kTmBegin = 5;
    constexpr std::uint16_t kTmCommit = 7;
    constexpr std::uint16_t kTmRollback = 8;

    // A TDS 7.2+ request starts with ALL_HEADERS, whose first four bytes give its whole length.
    qsizetype afterAllHeaders(const QByteArray& payload, std::uint32_t tdsVersion)
    {
        if (tdsVersion < TdsVersion::V7_2)
            return 0;
        ByteReader reader(payload);
        const auto length = reader.u32();
        if (!length || *length < 4 || *length > static_cast<std::uint32_t>(payload.size()))
            return 0;
        return static_cast<qsizetype>(*length);
    }

    // The error a statement answers after a fault's own error, as the server does for constraints.
    std::optional<SqlMessage> faultTrailer(const Action& action)
    {
        if (std::holds_alternative<statement::AddPrimaryKey>(action))
            return errors::couldNotCreateConstraint();
        if (std::holds_alternative<statement::DropConstraint>(action))
            return errors::couldNotDropConstraint();
        return std::nullopt;
    }

    bool startsImplicitTransaction(const Action& action)
    {
        return std::holds_alternative<statement::PrimaryKeyList>(action)
            || std::holds_alternative<statement::KeyColumns>(action)
            || std::holds_alternative<statement::UserCheck>(action)
            || std::holds_alternative<statement::DropConstraint>(action)
            || std::holds_alternative<statement::AddPrimaryKey>(action);
    }
} // namespace

Session::Session(QTcpSocket* socket, int id, SessionHost& host, QObject* parent)
    : QObject(parent)
    , m_socket(socket)
    , m_id(id)
    , m_host(host)
{
    socket->setParent(this);
    m_delay.setSingleShot(true);
    connect(&m_delay, &QTimer::timeout, this, [this] {
        if (m_run)
            continueRun();
    });
    connect(socket, &QTcpSocket::readyRead, this, &Session::readIncoming);
    connect(socket, &QTcpSocket::disconnected, this, &Session::end);
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            end();
    });
}

Session::~Session()
{
    if (m_transaction.active())
        m_transaction.rollback(m_host.catalogue());
}

void Session::readIncoming()
{
    if (!m_socket || m_phase == Phase::Closed)
        return;
    m_assembler.feed(m_socket->readAll());
    while (m_phase != Phase::Closed) {
        auto message = m_assembler.next();
        if (!message)
            break;
        if (message->type == static_cast<std::uint8_t>(PacketType::Attention))
            handleAttention();
        else if (m_run)
            m_queue.append(std::move(*message));
        else
            handle(*message);
    }
    if (m_assembler.broken())
        end();
}

void Session::handle(const Message& message)
{
    const auto type = static_cast<PacketType>(message.type);
    switch (m_phase) {
    case Phase::Prelogin:
        if (type == PacketType::Prelogin) {
            reply(preloginReply());
            m_phase = Phase::Login;
            return;
        }
        if (type == PacketType::Login7)
            return handleLogin(message.payload);
        return end();
    case Phase::Login:
        if (type == PacketType::Login7)
            return handleLogin(message.payload);
        return end();
    case Phase::Ready:
        if (type == PacketType::SqlBatch)
            return handleBatch(message.payload);
        if (type == PacketType::TransactionManager)
            return handleTransactionRequest(message.payload);
        if (type == PacketType::Rpc)
            return handleRpc(message.payload);
        return end();
    case Phase::Closed:
        return;
    }
}

void Session::handleLogin(const QByteArray& payload)
{
    const auto request = parseLogin7(payload);
    if (!request)
        return end();
    m_tdsVersion = request->tdsVersion;
    m_packetSize = request->packetSize;
    TokenWriter out(m_tdsVersion);
    const Catalogue& catalogue = m_host.catalogue();
    const Login* login = catalogue.findLogin(request->userName);
    const auto refuse = [&](const SqlMessages& messages) {
        for (const SqlMessage& message : messages)
            out.message(message, kServerName);
        out.done(DoneStatus::Error, 0, 0);
        reply(out.take());
        m_phase = Phase::Closed;
        if (m_socket)
            m_socket->disconnectFromHost();
    };
    if (!login || login->password != request->password)
        return refuse({ errors::loginFailed(request->userName) });
    QString wanted = request->database;
    if (wanted.isEmpty())
        wanted = login->defaultDatabase;
    std::optional<int> database
        = wanted.isEmpty() && !catalogue.databases.empty() ? std::optional<int>(0) : catalogue.findDatabase(wanted);
    if (!database)
        return refuse({ errors::cannotOpenDatabase(wanted), errors::loginFailed(request->userName) });
    m_database = *database;
    out.envChange(EnvChange::Database, databaseName(), QStringLiteral("master"));
    out.message(errors::databaseContextChanged(databaseName()), kServerName);
    out.envChangeBytes(EnvChange::Collation, serverCollation(), {});
    out.envChange(EnvChange::Language, kLanguage, {});
    out.message(errors::languageChanged(kLanguage), kServerName);
    out.loginAck(m_tdsVersion, kProductName, kProductVersion);
    out.envChange(EnvChange::PacketSize, QString::number(m_packetSize), QString::number(m_packetSize));
    out.done(DoneStatus::Final, 0, 0);
    reply(out.take());
    m_phase = Phase::Ready;
}

void Session::handleBatch(const QByteArray& payload)
{
    const qsizetype start = afterAllHeaders(payload, m_tdsVersion);
    ByteReader reader(payload, start);
    runSql(reader.utf16((payload.size() - start) / 2).value_or(QString()), false, std::nullopt);
}

void Session::handleRpc(const QByteArray& payload)
{
    const auto request = parseRpc(payload, afterAllHeaders(payload, m_tdsVersion));
    const auto parameterText = [&](int index) {
        return request && index < request->parameters.size() ? request->parameters[index].text : QString();
    };
    const auto answer = [&](const SqlMessages& messages, std::optional<int> handle) {
        TokenWriter out(m_tdsVersion);
        for (const SqlMessage& message : messages)
            out.message(message, kServerName);
        out.returnStatus(messages.isEmpty() ? 0 : -6);
        if (handle)
            out.returnValue(0, QString(), *handle);
        out.done(messages.isEmpty() ? DoneStatus::Final : DoneStatus::Error, 0, 0, DoneToken::DoneProc);
        reply(out.take());
    };
    if (!request) {
        m_host.unexpectedBatch(m_id, QStringLiteral("<unreadable remote procedure call>"));
        return answer({ { 8009, 1, 16,
                          QStringLiteral("The incoming tabular data stream (TDS) remote procedure call (RPC) protocol "
                                         "stream is incorrect.") } },
                      std::nullopt);
    }
    const QString& procedure = request->procedure;
    if (procedure == u"sp_executesql")
        return runSql(parameterText(0), true, std::nullopt);
    if (procedure == u"sp_prepexec" || procedure == u"sp_prepare") {
        const int handle = m_nextHandle++;
        m_prepared.insert(handle, parameterText(2));
        if (procedure == u"sp_prepare")
            return answer({}, handle);
        return runSql(parameterText(2), true, handle);
    }
    const int handle = request->parameters.isEmpty() ? 0 : static_cast<int>(request->parameters.first().integer);
    if (procedure == u"sp_execute" && m_prepared.contains(handle))
        return runSql(m_prepared.value(handle), true, std::nullopt);
    if (procedure == u"sp_unprepare") {
        m_prepared.remove(handle);
        return answer({}, std::nullopt);
    }
    m_host.unexpectedBatch(m_id, QStringLiteral("<remote procedure call %1>").arg(procedure));
    answer({ { 2812, 62, 16, QStringLiteral("Could not find stored procedure '%1'.").arg(procedure) } }, std::nullopt);
}

void Session::runSql(const QString& sql, bool procedure, std::optional<int> returnHandle)
{
    m_host.batchReceived(m_id, databaseName(), sql);
    const Batch batch = recogniseBatch(sql);
    startRun(batch.syntaxErrorNear ? QList<Statement> {} : batch.statements, procedure, returnHandle);
    if (batch.syntaxErrorNear) {
        m_host.unexpectedBatch(m_id, sql);
        writeErrors(*m_run, { errors::incorrectSyntaxNear(*batch.syntaxErrorNear) });
    }
    continueRun();
}

void Session::startRun(QList<Statement> statements, bool procedure, std::optional<int> returnHandle)
{
    m_run.emplace(Run { std::move(statements), 0, false, std::nullopt, TokenWriter(m_tdsVersion), std::nullopt, 0, 0,
                        procedure, returnHandle, false });
}

void Session::continueRun()
{
    Run& run = *m_run;
    while (run.next < run.statements.size()) {
        const Statement& statement = run.statements[run.next];
        if (statement.condition && !statement.condition->holds(m_transaction.count())) {
            ++run.next;
            continue;
        }
        if (!run.currentDelayed) {
            // A fault counts the statement once, when it is reached, not again after its delay.
            const QString kind = faultKind(statement.action);
            run.currentFault = kind.isEmpty()
                ? std::nullopt
                : m_host.catalogue().takeFault(databaseName(), kind, faultTable(statement.action));
        }
        const std::optional<Fault> fault = run.currentFault;
        if (fault && fault->delayMs > 0 && !run.currentDelayed) {
            run.currentDelayed = true;
            m_delay.start(fault->delayMs);
            return;
        }
        if (fault && fault->disconnect)
            return end();
        execute(statement, fault, run);
        ++run.next;
        run.currentDelayed = false;
    }
    finishRun(run);
    const QByteArray tokens = run.out.take();
    m_run.reset();
    reply(tokens);
    drainQueue();
}

void Session::finishRun(Run& run)
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

void Session::drainQueue()
{
    while (!m_run && !m_queue.isEmpty() && m_phase != Phase::Closed)
        handle(m_queue.takeFirst());
}

void Session::statementDone(Run& run, std::uint16_t status, std::uint16_t command, std::uint64_t count)
{
    if (status & DoneStatus::Error)
        run.failed = true;
    if (run.pendingStatus)
        run.out.done(*run.pendingStatus | DoneStatus::More, run.pendingCommand, run.pendingCount,
                     run.procedure ? DoneToken::DoneInProc : DoneToken::Done);
    run.pendingStatus = status;
    run.pendingCommand = command;
    run.pendingCount = count;
}

void Session::writeErrors(Run& run, const SqlMessages& messages)
{
    for (const SqlMessage& message : messages)
        run.out.message(message, kServerName);
    statementDone(run, DoneStatus::Error);
}

void Session::execute(const Statement& statement, const std::optional<Fault>& fault, Run& run)
{
    if (m_implicitTransactions && !m_transaction.active() && startsImplicitTransaction(statement.action))
        beginTransaction(run.out);
    if (fault && fault->error) {
        SqlMessages messages { *fault->error };
        if (const auto trailer = faultTrailer(statement.action))
            messages.append(*trailer);
        return writeErrors(run, messages);
    }
    executeAction(statement.action, run);
}

void Session::executeAction(const Action& action, Run& run)
{
    const auto rows = [&](const ResultSet& result) {
        run.out.resultSet(result);
        statementDone(run, DoneStatus::Count, kSelectCommand, static_cast<std::uint64_t>(result.rows.size()));
    };
    if (std::holds_alternative<statement::PrimaryKeyList>(action))
        return rows(primaryKeyList(database()));
    if (const auto* keys = std::get_if<statement::KeyColumns>(&action))
        return rows(keyColumns(database(), keys->constraint, keys->table));
    if (std::holds_alternative<statement::UserCheck>(action)) {
        const auto result = userCheck(database());
        if (const auto* messages = std::get_if<SqlMessages>(&result))
            return writeErrors(run, *messages);
        return rows(std::get<ResultSet>(result));
    }
    if (std::holds_alternative<statement::SelectTranCount>(action)) {
        ResultSet result;
        result.columns = { { QString(), ColumnDef::Kind::Int, 4 } };
        result.rows = { Row { static_cast<std::int32_t>(m_transaction.count()) } };
        return rows(result);
    }
    if (const auto* drop = std::get_if<statement::DropConstraint>(&action))
        return applyChange(dropConstraint(database(), *drop), run);
    if (const auto* add = std::get_if<statement::AddPrimaryKey>(&action))
        return applyChange(addPrimaryKey(database(), *add), run);
    if (const auto* set = std::get_if<statement::Set>(&action)) {
        if (set->words.size() >= 2 && set->words.first().compare(u"IMPLICIT_TRANSACTIONS", Qt::CaseInsensitive) == 0)
            m_implicitTransactions = set->words.last().compare(u"ON", Qt::CaseInsensitive) == 0;
        return statementDone(run, DoneStatus::Final);
    }
    if (std::holds_alternative<statement::BeginTransaction>(action)) {
        beginTransaction(run.out);
        return statementDone(run, DoneStatus::Final);
    }
    if (std::holds_alternative<statement::CommitTransaction>(action)) {
        if (!m_transaction.active())
            return writeErrors(run, { errors::commitWithoutBegin() });
        if (m_transaction.count() > 1)
            m_transaction.commitLevel();
        else
            commitTransaction(run.out);
        return statementDone(run, DoneStatus::Final);
    }
    if (std::holds_alternative<statement::RollbackTransaction>(action)) {
        if (!m_transaction.active())
            return writeErrors(run, { errors::rollbackWithoutBegin() });
        rollbackTransaction(run.out);
        return statementDone(run, DoneStatus::Final);
    }
    if (const auto* request = std::get_if<statement::TransactionRequest>(&action))
        return executeTransactionRequest(*request, run);
    if (const auto* use = std::get_if<statement::Use>(&action)) {
        const auto found = m_host.catalogue().findDatabase(use->database);
        if (!found)
            return writeErrors(run, { errors::databaseDoesNotExist(use->database) });
        const QString before = databaseName();
        m_database = *found;
        run.out.envChange(EnvChange::Database, databaseName(), before);
        run.out.message(errors::databaseContextChanged(databaseName()), kServerName);
        return statementDone(run, DoneStatus::Final);
    }
}

void Session::applyChange(const ChangeOutcome& outcome, Run& run)
{
    if (!outcome.errors.isEmpty())
        return writeErrors(run, outcome.errors);
    if (outcome.change) {
        if (m_transaction.active())
            m_transaction.recordChange(m_database, *outcome.change);
        else
            m_host.changesCommitted();
    }
    statementDone(run, DoneStatus::Final);
}

void Session::beginTransaction(TokenWriter& out)
{
    const bool opening = !m_transaction.active();
    m_transaction.begin(m_host.newTransactionDescriptor());
    if (opening && m_tdsVersion >= TdsVersion::V7_2)
        out.envChangeBytes(EnvChange::BeginTransaction, m_transaction.descriptor(), {});
}

void Session::commitTransaction(TokenWriter& out)
{
    const QByteArray descriptor = m_transaction.descriptor();
    if (m_transaction.commit())
        m_host.changesCommitted();
    if (m_tdsVersion >= TdsVersion::V7_2)
        out.envChangeBytes(EnvChange::CommitTransaction, {}, descriptor);
}

void Session::rollbackTransaction(TokenWriter& out)
{
    const QByteArray descriptor = m_transaction.descriptor();
    m_transaction.rollback(m_host.catalogue());
    if (m_tdsVersion >= TdsVersion::V7_2)
        out.envChangeBytes(EnvChange::RollbackTransaction, {}, descriptor);
}

void Session::handleTransactionRequest(const QByteArray& payload)
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
    // Answered like a batch of one statement, so that faults and attentions apply to it as well.
    startRun({ Statement { request, std::nullopt } }, false, std::nullopt);
    continueRun();
}

void Session::executeTransactionRequest(const statement::TransactionRequest& request, Run& run)
{
    using Kind = statement::TransactionRequest::Kind;
    if (request.kind == Kind::Begin)
        beginTransaction(run.out);
    else if (request.kind == Kind::Commit && m_transaction.active())
        commitTransaction(run.out);
    else if (request.kind == Kind::Rollback && m_transaction.active())
        rollbackTransaction(run.out);
    if (request.beginsAnother)
        beginTransaction(run.out);
    statementDone(run, DoneStatus::Final);
}

void Session::handleAttention()
{
    if (m_phase != Phase::Ready)
        return;
    m_delay.stop();
    m_run.reset();
    m_queue.clear();
    TokenWriter out(m_tdsVersion);
    out.done(DoneStatus::Attention, 0, 0);
    reply(out.take());
}

void Session::reply(const QByteArray& tokens)
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    std::uint8_t packetId = 1;
    m_socket->write(
        framePackets(PacketType::Reply, tokens, m_packetSize, static_cast<std::uint16_t>(50 + m_id), packetId));
}

void Session::end()
{
    if (m_phase == Phase::Closed && !m_socket)
        return;
    m_phase = Phase::Closed;
    m_delay.stop();
    m_run.reset();
    m_queue.clear();
    if (m_transaction.active())
        m_transaction.rollback(m_host.catalogue());
    if (m_socket) {
        QTcpSocket* socket = m_socket;
        m_socket = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    Q_EMIT finished(this);
}

Database& Session::database()
{
    return m_host.catalogue().databases[static_cast<size_t>(m_database)];
}

QString Session::databaseName() const
{
    const Catalogue& catalogue = m_host.catalogue();
    if (m_database < 0 || m_database >= static_cast<int>(catalogue.databases.size()))
        return {};
    return catalogue.databases[static_cast<size_t>(m_database)].name();
}

} // namespace standin
