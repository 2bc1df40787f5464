#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QUdpSocket>
#include <optional>

namespace standin {

// One instance as the SQL Server Browser service describes it.
struct BrowsedInstance
{
    QString serverName;
    QString instanceName;
    QString version; // the release's, e.g. "13.0.6300"
    quint16 tcpPort = 0;
};

// The reply the Browser sends to one SQL Server Resolution Protocol request, or nothing when it
// stays silent: an unknown instance, a malformed request or one it does not serve.
std::optional<QByteArray> browserReply(const QByteArray& request, const BrowsedInstance& instance);

// The SQL Server Browser service for one instance: answers resolution requests on a UDP port.
class Browser : public QObject
{
    Q_OBJECT

public:
    explicit Browser(BrowsedInstance instance, QObject* parent = nullptr);

    // Starts answering; on failure answers false and sets error.
    bool listen(const QHostAddress& address, quint16 port, QString& error);
    quint16 port() const { return m_socket.localPort(); }

private:
    void answerPending();

    BrowsedInstance m_instance;
    QUdpSocket m_socket;
};

} // namespace standin
