#include "server/Server.h"

#include "catalogue/CatalogueJson.h"

#include <QTextStream>
#include <QTimer>

namespace standin {

Server::Server(Catalogue catalogue, const QString& logPath, const QString& statePath, QObject* parent)
    : QObject(parent)
    , m_catalogue(std::move(catalogue))
    , m_statePath(statePath)
{
    if (!logPath.isEmpty())
        m_log = std::make_unique<StatementLog>(logPath);
    connect(&m_server, &QTcpServer::newConnection, this, &Server::accept);
    startOtherSessions();
}

void Server::startOtherSessions()
{
    for (const OtherSession& other : std::as_const(m_catalogue.sessions)) {
        m_locks.describeSession({ other.sessionId, other.host, other.login, other.program, true });
        const auto database = m_catalogue.findDatabase(other.database);
        for (const QString& name : other.locks) {
            const auto table = database
                ? m_catalogue.databases[static_cast<size_t>(*database)].findTable(QStringLiteral("dbo"), name)
                : std::nullopt;
            if (table)
                m_locks.tryLock(other.sessionId, { *database, *table });
        }
        if (other.holdMs)
            QTimer::singleShot(*other.holdMs, this, [this, id = other.sessionId] { releaseOtherSession(id); });
    }
}

void Server::releaseOtherSession(int sessionId)
{
    const auto ended = std::remove_if(m_catalogue.sessions.begin(), m_catalogue.sessions.end(),
                                      [sessionId](const OtherSession& other) { return other.sessionId == sessionId; });
    if (ended == m_catalogue.sessions.end())
        return;
    m_catalogue.sessions.erase(ended, m_catalogue.sessions.end());
    m_locks.removeSession(sessionId);
    saveState();
}

void Server::releaseOtherSessions()
{
    const QList<OtherSession> others = m_catalogue.sessions;
    for (const OtherSession& other : others)
        releaseOtherSession(other.sessionId);
}

Server::~Server()
{
    // Sessions roll their open transactions back as they go.
    const QList<Session*> sessions = std::exchange(m_sessions, {});
    qDeleteAll(sessions);
}

void Server::playRelease(const ServerProfile& profile, std::unique_ptr<TlsContext> tls)
{
    m_profile = profile;
    m_tls = std::move(tls);
}

bool Server::listen(const QHostAddress& address, quint16 port, QString& error)
{
    if (m_log && !m_log->isOpen()) {
        error = QStringLiteral("cannot open the statement log: %1").arg(m_log->errorString());
        return false;
    }
    if (!m_server.listen(address, port)) {
        error = m_server.errorString();
        return false;
    }
    saveState();
    return true;
}

void Server::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        auto* session = new Session(socket, m_nextConnection++, *this, this);
        m_sessions.append(session);
        connect(session, &Session::finished, this, [this](Session* ended) {
            m_sessions.removeOne(ended);
            ended->deleteLater();
        });
    }
}

void Server::batchReceived(int connection, const QString& database, const QString& sql, bool encrypted)
{
    if (m_log)
        m_log->appendBatch(connection, database, sql, encrypted);
}

void Server::transactionRequestReceived(int connection, const QString& request, bool encrypted)
{
    if (m_log)
        m_log->appendTransactionRequest(connection, request, encrypted);
}

void Server::attentionReceived(int connection, bool encrypted)
{
    if (m_log)
        m_log->appendAttention(connection, encrypted);
}

void Server::loginReceived(int connection, const QString& authentication, bool encrypted)
{
    if (m_log)
        m_log->appendLogin(connection, authentication, encrypted);
}

void Server::unexpectedBatch(int connection, const QString& sql)
{
    QTextStream(stderr) << "standin: connection " << connection << ": unexpected statement: " << sql << Qt::endl;
}

void Server::changesCommitted()
{
    saveState();
}

void Server::saveState()
{
    if (m_statePath.isEmpty())
        return;
    // Tables changed by transactions still open are written as they were before them.
    TableOverrides committed;
    for (const Session* session : std::as_const(m_sessions)) {
        const TableOverrides& originals = session->transaction().originals();
        for (auto it = originals.constBegin(); it != originals.constEnd(); ++it) {
            if (!committed.contains(it.key()))
                committed.insert(it.key(), it.value());
        }
    }
    QString error;
    if (!saveCatalogue(m_statePath, catalogueToJson(m_catalogue, committed), error))
        QTextStream(stderr) << "standin: cannot write the state file " << m_statePath << ": " << error << Qt::endl;
}

QByteArray Server::newTransactionDescriptor()
{
    QByteArray descriptor(8, '\0');
    quint64 value = m_nextTransaction++;
    for (int i = 0; i < 8; ++i, value >>= 8)
        descriptor[i] = static_cast<char>(value & 0xFF);
    return descriptor;
}

} // namespace standin
