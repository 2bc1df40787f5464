#pragma once

#include "Catalogue.h"
#include "Session.h"
#include "StatementLog.h"

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

    // Starts listening; on failure answers false and sets error.
    bool listen(const QHostAddress& address, quint16 port, QString& error);
    QHostAddress address() const { return m_server.serverAddress(); }
    quint16 port() const { return m_server.serverPort(); }
    // Writes the catalogue's committed state to the state file, if there is one.
    void saveState();

private:
    Catalogue& catalogue() override { return m_catalogue; }
    void batchReceived(int connection, const QString& database, const QString& sql) override;
    void unexpectedBatch(int connection, const QString& sql) override;
    void changesCommitted() override;
    QByteArray newTransactionDescriptor() override;

    void accept();

    Catalogue m_catalogue;
    QTcpServer m_server;
    std::unique_ptr<StatementLog> m_log;
    QString m_statePath;
    QList<Session*> m_sessions;
    int m_nextConnection = 1;
    quint64 m_nextTransaction = 1;
};

} // namespace standin
