#include "support/WireRecorder.h"

#include <QMutexLocker>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace quorvane::test {

// Lives in the recorder's thread: accepts clients and pipes each to a connection of its own to
// the server.
class WireRelay : public QObject
{
    Q_OBJECT

public:
    explicit WireRelay(quint16 serverPort)
        : m_serverPort(serverPort)
    { }

    Q_INVOKABLE quint16 listen()
    {
        m_listener = new QTcpServer(this);
        connect(m_listener, &QTcpServer::newConnection, this, &WireRelay::accept);
        return m_listener->listen(QHostAddress::LocalHost, 0) ? m_listener->serverPort() : 0;
    }

    QList<QByteArray> recorded() const
    {
        const QMutexLocker lock(&m_mutex);
        return m_recorded;
    }

private:
    void accept()
    {
        while (QTcpSocket* client = m_listener->nextPendingConnection()) {
            auto* server = new QTcpSocket(client);
            const qsizetype index = startRecording();
            connect(client, &QTcpSocket::readyRead, server, [this, client, server, index] {
                const QByteArray bytes = client->readAll();
                {
                    const QMutexLocker lock(&m_mutex);
                    m_recorded[index].append(bytes);
                }
                server->write(bytes);
            });
            connect(server, &QTcpSocket::readyRead, client, [client, server] { client->write(server->readAll()); });
            connect(server, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
            connect(client, &QTcpSocket::disconnected, client, [client, server] {
                server->disconnectFromHost();
                client->deleteLater();
            });
            server->connectToHost(QHostAddress::LocalHost, m_serverPort);
        }
    }

    // A new, empty record for a client that has just connected; answers its index.
    qsizetype startRecording()
    {
        const QMutexLocker lock(&m_mutex);
        m_recorded.append(QByteArray());
        return m_recorded.size() - 1;
    }

    const quint16 m_serverPort;
    QTcpServer* m_listener = nullptr;
    mutable QMutex m_mutex;
    QList<QByteArray> m_recorded; // one per client connection, in the order they came
};

WireRecorder::WireRecorder(quint16 serverPort)
    : m_relay(new WireRelay(serverPort))
{
    m_relay->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_relay, &QObject::deleteLater);
    m_thread.start();
    QMetaObject::invokeMethod(m_relay, &WireRelay::listen, Qt::BlockingQueuedConnection, &m_port);
}

WireRecorder::~WireRecorder()
{
    m_thread.quit();
    m_thread.wait();
}

QByteArray WireRecorder::fromClients() const
{
    return m_relay->recorded().join();
}

QList<QByteArray> WireRecorder::connectionsFromClients() const
{
    return m_relay->recorded();
}

} // namespace quorvane::test

#include "WireRecorder.moc"
