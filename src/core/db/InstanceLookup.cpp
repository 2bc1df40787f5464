#include "db/InstanceLookup.h"

#include "db/ErrorNumbers.h"
#include "support/Failure.h"

#include <QDeadlineTimer>
#include <QHostInfo>
#include <QThread>
#include <QUdpSocket>
#include <algorithm>

namespace quorvane::db {

namespace {

    constexpr char kUnicastInstanceRequest = 0x04;
    constexpr char kServerResponse = 0x05;
    constexpr int kRetryMilliseconds = 1000;

    // The request for one instance: its type, then the name as a zero-terminated byte string.
    QByteArray requestFor(const QString& instanceName)
    {
        return QByteArray(1, kUnicastInstanceRequest) + instanceName.toLocal8Bit() + QByteArray(1, '\0');
    }

    [[noreturn]] void refuseUnanswered(const OdbcConnectRequest& request)
    {
        throw Failure(kErrorFail,
                      QStringLiteral("The SQL Server Browser service on \"%1\" gave no port for the instance \"%2\": "
                                     "the instance does not exist there, or the Browser service is not running or "
                                     "cannot be reached (UDP port %3). Check the instance name, or type the server "
                                     "with the instance's port, as in %1,port.")
                          .arg(request.browserHost, request.instanceName)
                          .arg(kBrowserPort));
    }

    QList<QHostAddress> addressesOf(const OdbcConnectRequest& request)
    {
        const QHostInfo info = QHostInfo::fromName(request.browserHost);
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
            throw Failure(kErrorFail,
                          QStringLiteral("The server \"%1\" of the instance \"%2\" cannot be found: %3")
                              .arg(request.browserHost, request.instanceName, info.errorString()));
        return info.addresses();
    }

    bool isOneOf(const QHostAddress& sender, const QList<QHostAddress>& addresses)
    {
        return std::any_of(addresses.begin(), addresses.end(), [&sender](const QHostAddress& address) {
            return address.isEqual(sender, QHostAddress::TolerantConversion);
        });
    }

    std::optional<quint16> askBrowser(const QList<QHostAddress>& addresses, const QString& instanceName,
                                      const QDeadlineTimer& deadline)
    {
        QUdpSocket socket;
        const QByteArray request = requestFor(instanceName);
        while (!deadline.hasExpired()) {
            for (const QHostAddress& address : addresses)
                socket.writeDatagram(request, address, kBrowserPort);
            const QDeadlineTimer retry(std::min<qint64>(kRetryMilliseconds, deadline.remainingTime()));
            while (!retry.hasExpired()) {
                if (!socket.waitForReadyRead(int(retry.remainingTime()))) {
                    // A network error ends the wait early; the next request still comes a second later.
                    QThread::msleep(std::max<qint64>(retry.remainingTime(), 0));
                    break;
                }
                while (socket.hasPendingDatagrams()) {
                    QByteArray reply(qsizetype(std::max<qint64>(socket.pendingDatagramSize(), 0)), '\0');
                    QHostAddress sender;
                    quint16 senderPort = 0;
                    socket.readDatagram(reply.data(), reply.size(), &sender, &senderPort);
                    // Only the Browser service of the host asked may name the port: a reply from
                    // another machine, or from another port of this one, could send the login to
                    // a listener of its own.
                    if (senderPort != kBrowserPort || !isOneOf(sender, addresses))
                        continue;
                    if (const auto port = InstancePortFromReply(reply, instanceName))
                        return port;
                }
            }
        }
        return std::nullopt;
    }

} // namespace

std::optional<quint16> InstancePortFromReply(const QByteArray& reply, const QString& instanceName)
{
    if (reply.size() < 3 || reply.front() != kServerResponse)
        return std::nullopt;
    const qsizetype size = qsizetype(quint8(reply[1])) | (qsizetype(quint8(reply[2])) << 8);
    const QString data = QString::fromLocal8Bit(reply.mid(3, size));
    // Each instance is a list of "key;value;" pairs ending in an empty key (";;").
    for (const QString& description : data.split(QStringLiteral(";;"), Qt::SkipEmptyParts)) {
        const QStringList fields = description.split(QLatin1Char(';'));
        bool named = false;
        std::optional<quint16> port;
        for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
            const QString& key = fields[i];
            if (key.compare(QLatin1String("InstanceName"), Qt::CaseInsensitive) == 0)
                named = fields[i + 1].compare(instanceName, Qt::CaseInsensitive) == 0;
            else if (key.compare(QLatin1String("tcp"), Qt::CaseInsensitive) == 0) {
                bool ok = false;
                const uint number = fields[i + 1].toUInt(&ok);
                if (ok && number >= 1 && number <= 65535)
                    port = quint16(number);
            }
        }
        if (named && port)
            return port;
    }
    return std::nullopt;
}

void ResolveInstancePort(OdbcConnectRequest& request)
{
    if (request.instanceName.isEmpty())
        return;
    // The name lookup counts against the login time-out as much as the Browser's answer does.
    const int limitSeconds = request.loginTimeoutSeconds > 0 ? request.loginTimeoutSeconds : kUnlimitedLookupSeconds;
    const QDeadlineTimer deadline { std::chrono::seconds { limitSeconds } };
    const QList<QHostAddress> addresses = addressesOf(request);
    const auto port = askBrowser(addresses, request.instanceName, deadline);
    if (!port)
        refuseUnanswered(request);
    request.connectionString += QStringLiteral("Port=%1;").arg(*port);
    request.serverPort = *port;
    if (request.loginTimeoutSeconds > 0) {
        const auto left = std::chrono::ceil<std::chrono::seconds>(std::chrono::milliseconds(deadline.remainingTime()));
        request.loginTimeoutSeconds = std::max(1, int(left.count()));
    }
}

} // namespace quorvane::db
