#include "server/Browser.h"

#include <QNetworkDatagram>

namespace standin {

namespace {

    // Request and response types of the resolution protocol.
    constexpr char kBroadcastEx = 0x02;
    constexpr char kUnicastEx = 0x03;
    constexpr char kUnicastInstance = 0x04;
    constexpr char kServerResponse = 0x05;
    // An instance name is at most 32 bytes plus its terminating zero.
    constexpr qsizetype kMaxInstanceNameBytes = 32;

    // "ServerName;S;InstanceName;I;IsClustered;No;Version;V;tcp;P;;"
    QByteArray describe(const BrowsedInstance& instance)
    {
        const QString text = QStringLiteral("ServerName;%1;InstanceName;%2;IsClustered;No;Version;%3;tcp;%4;;")
                                 .arg(instance.serverName, instance.instanceName, instance.version)
                                 .arg(instance.tcpPort);
        return text.toLatin1();
    }

    QByteArray response(const QByteArray& data)
    {
        QByteArray reply;
        reply.append(kServerResponse);
        reply.append(static_cast<char>(data.size() & 0xFF));
        reply.append(static_cast<char>((data.size() >> 8) & 0xFF));
        return reply + data;
    }

    std::optional<QString> requestedInstance(const QByteArray& request)
    {
        QByteArray name = request.mid(1);
        const qsizetype zero = name.indexOf('\0');
        if (zero >= 0)
            name.truncate(zero);
        if (name.isEmpty() || name.size() > kMaxInstanceNameBytes)
            return std::nullopt;
        return QString::fromLatin1(name);
    }

} // namespace

std::optional<QByteArray> browserReply(const QByteArray& request, const BrowsedInstance& instance)
{
    if (request.isEmpty())
        return std::nullopt;
    switch (request.front()) {
    case kBroadcastEx:
    case kUnicastEx:
        if (request.size() != 1)
            return std::nullopt;
        return response(describe(instance));
    case kUnicastInstance: {
        const auto name = requestedInstance(request);
        if (!name || name->compare(instance.instanceName, Qt::CaseInsensitive) != 0)
            return std::nullopt;
        return response(describe(instance));
    }
    default:
        return std::nullopt;
    }
}

Browser::Browser(BrowsedInstance instance, QObject* parent)
    : QObject(parent)
    , m_instance(std::move(instance))
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &Browser::answerPending);
}

bool Browser::listen(const QHostAddress& address, quint16 port, QString& error)
{
    if (!m_socket.bind(address, port)) {
        error = m_socket.errorString();
        return false;
    }
    return true;
}

void Browser::answerPending()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        if (const auto reply = browserReply(datagram.data(), m_instance))
            m_socket.writeDatagram(datagram.makeReply(*reply));
    }
}

} // namespace standin
