#pragma once

#include "Catalogue.h"
#include "Login.h"
#include "Packet.h"
#include "Statements.h"
#include "TokenWriter.h"
#include "Transaction.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <cstdint>
#include <optional>

namespace standin {

// What a connection needs from the server around it.
class SessionHost
{
public:
    virtual ~SessionHost() = default;
    virtual Catalogue& catalogue() = 0;
    // Called with every SQL batch before it is answered.
    virtual void batchReceived(int connection, const QString& database, const QString& sql) = 0;
    // Called with a batch the stand-in does not understand.
    virtual void unexpectedBatch(int connection, const QString& sql) = 0;
    // Called after a change to the catalogue has been committed.
    virtual void changesCommitted() = 0;
    virtual QByteArray newTransactionDescriptor() = 0;
};

// One client connection: PRELOGIN, LOGIN7, then SQL batches, transaction-manager requests and
// attentions, answered in order. A delayed statement waits on a timer, so other connections are
// served meanwhile; an attention during the wait cancels the rest of the batch.
class Session : public QObject
{
    Q_OBJECT

public:
    Session(QTcpSocket* socket, int id, SessionHost& host, QObject* parent = nullptr);
    ~Session() override;

    int id() const { return m_id; }
    const Transaction& transaction() const { return m_transaction; }

Q_SIGNALS:
    // The connection has ended; its open transaction has been rolled back.
    void finished(standin::Session* session);

private:
    enum class Phase { Prelogin, Login, Ready, Closed };

    // A batch being answered, kept while a delayed statement waits.
    struct Run
    {
        QList<Statement> statements;
        int next = 0;
        bool currentDelayed = false;
        std::optional<Fault> currentFault; // taken when the statement is reached, kept over its delay
        TokenWriter out;
        std::optional<std::uint16_t> pendingStatus;
        std::uint16_t pendingCommand = 0;
        std::uint64_t pendingCount = 0;
        bool procedure = false; // answered as a remote procedure call
        std::optional<int> returnHandle; // the prepared handle sp_prepexec hands back
        bool failed = false;
    };

    void readIncoming();
    void handle(const Message& message);
    void handleLogin(const QByteArray& payload);
    void handleBatch(const QByteArray& payload);
    void handleRpc(const QByteArray& payload);
    void runSql(const QString& sql, bool procedure, std::optional<int> returnHandle);
    void startRun(QList<Statement> statements, bool procedure, std::optional<int> returnHandle);
    void finishRun(Run& run);
    void handleTransactionRequest(const QByteArray& payload);
    void handleAttention();
    void continueRun();
    void execute(const Statement& statement, const std::optional<Fault>& fault, Run& run);
    void executeAction(const Action& action, Run& run);
    void executeTransactionRequest(const statement::TransactionRequest& request, Run& run);
    void statementDone(Run& run, std::uint16_t status, std::uint16_t command = 0, std::uint64_t count = 0);
    void writeErrors(Run& run, const SqlMessages& messages);
    void beginTransaction(TokenWriter& out);
    void commitTransaction(TokenWriter& out);
    void rollbackTransaction(TokenWriter& out);
    void applyChange(const ChangeOutcome& outcome, Run& run);
    void reply(const QByteArray& tokens);
    void drainQueue();
    void end();

    Database& database();
    QString databaseName() const;

    QPointer<QTcpSocket> m_socket;
    const int m_id;
    SessionHost& m_host;
    MessageAssembler m_assembler;
    Phase m_phase = Phase::Prelogin;
    std::uint32_t m_tdsVersion = TdsVersion::V7_4;
    int m_packetSize = 4096;
    int m_database = 0;
    bool m_implicitTransactions = false;
    Transaction m_transaction;
    std::optional<Run> m_run;
    QList<Message> m_queue;
    QHash<int, QString> m_prepared;
    int m_nextHandle = 1;
    QTimer m_delay;
};

} // namespace standin
