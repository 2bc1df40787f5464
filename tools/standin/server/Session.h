#pragma once

#include "protocol/Packet.h"
#include "protocol/TdsTransport.h"
#include "security/LoginHandshake.h"
#include "server/RpcCalls.h"
#include "server/ServerProfile.h"
#include "sql/BatchEngine.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>

namespace standin {

// What a connection needs from the server around it.
class SessionHost : public EngineHost
{
public:
    // Called with every LOGIN7 read: "sql" for a SQL login's password, "ntlm" for integrated
    // security; encrypted tells whether it came inside TLS.
    virtual void loginReceived(int connection, const QString& authentication, bool encrypted) = 0;
    // The release the server plays, and its TLS (null when it cannot encrypt).
    virtual const ServerProfile& profile() const = 0;
    virtual const TlsContext* tls() const = 0;
};

// One client connection: its socket and transport, and the phase it is in. PRELOGIN (and the TLS
// handshake it negotiates), then the login, then SQL batches, remote procedure calls,
// transaction-manager requests and attentions, answered in order: a request that arrives while a
// run waits on a delayed statement is queued; an attention cancels the run and the queue.
class Session : public QObject
{
    Q_OBJECT

public:
    Session(QTcpSocket* socket, int id, SessionHost& host, QObject* parent = nullptr);
    ~Session() override;

    int id() const { return m_id; }
    // The session id the server gives the connection (@@SPID).
    int spid() const { return m_spid; }
    const Transaction& transaction() const { return m_engine.transaction(); }

Q_SIGNALS:
    // The connection has ended; its open transaction has been rolled back.
    void finished(standin::Session* session);

private:
    enum class Phase { Prelogin, Login, Authentication, Ready, Closed };

    void readIncoming();
    void handle(const Message& message);
    void handlePrelogin(const QByteArray& payload);
    void handleLogin(const Message& message);
    void loginStep(const LoginStep& step);
    void handleAttention(bool encrypted);
    void reply(const QByteArray& tokens);
    void sendOutgoing();
    void drainQueue();
    void end();

    QPointer<QTcpSocket> m_socket;
    const int m_id;
    SessionHost& m_host;
    const int m_spid;
    TdsTransport m_transport;
    MessageAssembler m_assembler;
    Phase m_phase = Phase::Prelogin;
    int m_packetSize = 4096;
    LoginHandshake m_login;
    BatchEngine m_engine;
    RpcCalls m_rpc;
    QList<Message> m_queue;
};

} // namespace standin
