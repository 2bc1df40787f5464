#pragma once

#include "catalogue/Catalogue.h"
#include "protocol/TlsContext.h"
#include "server/ServerProfile.h"
#include "server/Session.h"
#include "server/StatementLog.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <memory>
#include <optional>

namespace standin {

// Accepts connections and serves the catalogue to all of them; writes the statement log and the
// state file when they are asked for.
class Server : public QObject, private SessionHost
{
    Q_OBJECT

public:
    // logPath and statePath may be empty: then no file work is done per statement.
    Server(Catalogue catalogue, const QString& logPath, const QString& statePath, QObject* parent = nullptr);
    ~Server() override;

    // Plays the given release; tls may be null only for a release that cannot encrypt.
    void playRelease(const ServerProfile& profile, std::unique_ptr<TlsContext> tls);
    // Starts listening; on failure answers false and sets error.
    bool listen(const QHostAddress& address, quint16 port, QString& error);
    QHostAddress address() const { return m_server.serverAddress(); }
    quint16 port() const { return m_server.serverPort(); }
    // Writes the catalogue's committed state to the state file, if there is one.
    void saveState();
    // The other users' sessions of the fixture let go of their locks and leave.
    void releaseOtherSessions();

private:
    Catalogue& catalogue() override { return m_catalogue; }
    void batchReceived(int connection, const QString& database, const QString& sql, bool encrypted) override;
    void transactionRequestReceived(int connection, const QString& request, bool encrypted) override;
    void loginReceived(int connection, const QString& authentication, bool encrypted) override;
    void attentionReceived(int connection, bool encrypted) override;
    void unexpectedBatch(int connection, const QString& sql) override;
    void changesCommitted() override;
    QByteArray newTransactionDescriptor() override;
    const ServerProfile& profile() const override { return m_profile; }
    const TlsContext* tls() const override { return m_tls.get(); }
    LockManager& locks() override { return m_locks; }

    void accept();
    void startOtherSessions();
    void releaseOtherSession(int sessionId);

    Catalogue m_catalogue;
    LockManager m_locks;
    ServerProfile m_profile = defaultProfile();
    std::unique_ptr<TlsContext> m_tls;
    QTcpServer m_server;
    std::unique_ptr<StatementLog> m_log;
    QString m_statePath;
    QList<Session*> m_sessions;
    int m_nextConnection = 1;
    quint64 m_nextTransaction = 1;
};

} // namespace standin
