#include "server/Session.h"

#include "protocol/Prelogin.h"

namespace standin {

Session::Session(QTcpSocket* socket, int id, SessionHost& host, QObject* parent)
    : QObject(parent)
    , m_socket(socket)
    , m_id(id)
    , m_host(host)
    , m_spid(host.locks().addSession(50 + id))
    , m_transport(host.tls())
    , m_login(host.catalogue(), host.profile())
    , m_engine(host, id,
               { [this](const QByteArray& tokens) {
                    reply(tokens);
                    drainQueue();
                },
                 [this] { end(); } })
    , m_rpc(host, id, m_engine, [this](const QByteArray& tokens) { reply(tokens); })
{
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, &Session::readIncoming);
    connect(socket, &QTcpSocket::disconnected, this, &Session::end);
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            end();
    });
}

Session::~Session()
{
    m_engine.stop();
    m_host.locks().removeSession(m_spid);
}

void Session::readIncoming()
{
    if (!m_socket || m_phase == Phase::Closed)
        return;
    for (const ReceivedTds& received : m_transport.receive(m_socket->readAll()))
        m_assembler.feed(received.bytes, received.encrypted);
    sendOutgoing();
    while (m_phase != Phase::Closed) {
        auto message = m_assembler.next();
        if (!message)
            break;
        if (message->type == static_cast<std::uint8_t>(PacketType::Attention))
            handleAttention(message->encrypted);
        else if (m_engine.running())
            m_queue.append(std::move(*message));
        else
            handle(*message);
    }
    if (m_assembler.broken() || m_transport.failed())
        end();
}

void Session::handle(const Message& message)
{
    const auto type = static_cast<PacketType>(message.type);
    switch (m_phase) {
    case Phase::Prelogin:
        if (type == PacketType::Prelogin)
            return handlePrelogin(message.payload);
        // A server that forces encryption takes no login that skipped the negotiation.
        if (type == PacketType::Login7 && m_host.profile().encryption != EncryptionSetting::Required)
            return handleLogin(message);
        return end();
    case Phase::Login:
        if (type == PacketType::Login7)
            return handleLogin(message);
        return end();
    case Phase::Authentication:
        if (type == PacketType::Sspi)
            return loginStep(m_login.authenticate(message.payload));
        return end();
    case Phase::Ready:
        if (type == PacketType::SqlBatch) {
            const qsizetype start = afterAllHeaders(message.payload, m_login.tdsVersion());
            ByteReader reader(message.payload, start);
            return m_engine.runSql(reader.utf16((message.payload.size() - start) / 2).value_or(QString()),
                                   message.encrypted);
        }
        if (type == PacketType::TransactionManager)
            return m_engine.runTransactionRequest(message.payload, message.encrypted);
        if (type == PacketType::Rpc)
            return m_rpc.handle(message.payload, m_login.tdsVersion(), message.encrypted);
        return end();
    case Phase::Closed:
        return;
    }
}

void Session::handlePrelogin(const QByteArray& payload)
{
    const EncryptionAnswer answer = m_host.profile().answerEncryption(clientEncryption(payload));
    reply(preloginReply(m_host.profile(), answer.value));
    m_transport.startTls(answer.channel);
    m_phase = Phase::Login;
}

void Session::handleLogin(const Message& message)
{
    const LoginStep step = m_login.login(message.payload);
    if (step.outcome != LoginStep::Outcome::Broken) {
        m_host.loginReceived(m_id, m_login.integrated() ? QStringLiteral("ntlm") : QStringLiteral("sql"),
                             message.encrypted);
        m_packetSize = m_login.packetSize();
    }
    loginStep(step);
}

void Session::loginStep(const LoginStep& step)
{
    switch (step.outcome) {
    case LoginStep::Outcome::Broken:
        return end();
    case LoginStep::Outcome::Challenged:
        m_phase = Phase::Authentication;
        return reply(step.reply);
    case LoginStep::Outcome::Accepted:
        m_engine.setTdsVersion(m_login.tdsVersion());
        m_engine.setDatabase(m_login.database());
        m_engine.setIdentity({ m_spid, m_login.viewServerState(), m_host.profile().name });
        m_host.locks().describeSession(
            { m_spid, m_login.hostName(), m_login.loginName(), m_login.programName(), false });
        reply(step.reply);
        m_phase = Phase::Ready;
        return;
    case LoginStep::Outcome::Refused:
        reply(step.reply);
        m_phase = Phase::Closed;
        if (m_socket)
            m_socket->disconnectFromHost();
        return;
    }
}

void Session::handleAttention(bool encrypted)
{
    if (m_phase != Phase::Ready)
        return;
    m_host.attentionReceived(m_id, encrypted);
    m_engine.cancel();
    m_queue.clear();
    TokenWriter out(m_login.tdsVersion());
    out.done(DoneStatus::Attention, 0, 0);
    reply(out.take());
}

void Session::reply(const QByteArray& tokens)
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    std::uint8_t packetId = 1;
    m_socket->write(m_transport.send(
        framePackets(PacketType::Reply, tokens, m_packetSize, static_cast<std::uint16_t>(m_spid), packetId)));
}

void Session::sendOutgoing()
{
    const QByteArray outgoing = m_transport.takeOutgoing();
    if (!outgoing.isEmpty() && m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->write(outgoing);
}

void Session::drainQueue()
{
    while (!m_engine.running() && !m_queue.isEmpty() && m_phase != Phase::Closed)
        handle(m_queue.takeFirst());
}

void Session::end()
{
    if (m_phase == Phase::Closed && !m_socket)
        return;
    m_phase = Phase::Closed;
    m_engine.stop();
    m_queue.clear();
    if (m_socket) {
        QTcpSocket* socket = m_socket;
        m_socket = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    Q_EMIT finished(this);
}

} // namespace standin
