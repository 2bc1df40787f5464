#include "Browser.h"
#include "db/InstanceLookup.h"

#include <QTest>
#include <QUdpSocket>
#include <future>
#include <thread>

using namespace quorvane::db;

namespace {

const standin::BrowsedInstance kNav { QStringLiteral("NAVHOST"), QStringLiteral("NAV"), QStringLiteral("9.00.5000.00"),
                                      49172 };

QByteArray bytes(std::initializer_list<char> list)
{
    return QByteArray(list.begin(), qsizetype(list.size()));
}

QByteArray serverResponse(const QByteArray& data)
{
    return bytes({ 0x05, char(data.size() & 0xFF), char(data.size() >> 8) }) + data;
}

} // namespace

// The stand-in's Browser service and the program's reading of its answers.
class TestInstanceLookup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void browserAnswers_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("answered");

        QTest::newRow("its instance") << QByteArray("\x04NAV\0", 5) << true;
        QTest::newRow("its instance in another case, no terminating zero") << QByteArray("\x04nav") << true;
        QTest::newRow("another instance") << QByteArray("\x04NAVISION\0", 10) << false;
        QTest::newRow("the default instance's name") << QByteArray("\x04MSSQLSERVER\0", 13) << false;
        QTest::newRow("an empty name") << QByteArray("\x04\0", 2) << false;
        QTest::newRow("a name longer than 32 bytes") << QByteArray("\x04") + QByteArray(33, 'N') << false;
        QTest::newRow("all instances, unicast") << bytes({ 0x03 }) << true;
        QTest::newRow("all instances, broadcast") << bytes({ 0x02 }) << true;
        QTest::newRow("all instances with bytes behind") << bytes({ 0x03, 0x01 }) << false;
        QTest::newRow("the dedicated administrator connection") << bytes({ 0x0F, 0x01, 'N', 'A', 'V', 0 }) << false;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void browserAnswers()
    {
        QFETCH(QByteArray, request);
        QFETCH(bool, answered);
        const auto reply = standin::browserReply(request, kNav);
        QCOMPARE(reply.has_value(), answered);
        if (!answered)
            return;
        const QByteArray data
            = QByteArrayLiteral("ServerName;NAVHOST;InstanceName;NAV;IsClustered;No;Version;9.00.5000.00;tcp;49172;;");
        QCOMPARE(*reply, serverResponse(data));
        QCOMPARE(InstancePortFromReply(*reply, QStringLiteral("nav")), std::optional<quint16>(49172));
    }

    void readsThePort_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("port"); // 0: none

        QTest::newRow("one instance") << serverResponse("ServerName;S;InstanceName;NAV;IsClustered;No;Version;"
                                                        "10.50.1600.1;tcp;1500;;")
                                      << 1500;
        QTest::newRow("named pipes before tcp")
            << serverResponse("ServerName;S;InstanceName;NAV;IsClustered;No;Version;9.00.5000.00;np;\\\\S\\pipe\\"
                              "MSSQL$NAV\\sql\\query;tcp;2433;;")
            << 2433;
        QTest::newRow("the instance is the second of two")
            << serverResponse("ServerName;S;InstanceName;SQLEXPRESS;IsClustered;No;Version;9.00.5000.00;tcp;1600;;"
                              "ServerName;S;InstanceName;NAV;IsClustered;No;Version;9.00.5000.00;tcp;1700;;")
            << 1700;
        QTest::newRow("another instance only")
            << serverResponse("ServerName;S;InstanceName;SQLEXPRESS;IsClustered;No;Version;9.00.5000.00;tcp;1600;;")
            << 0;
        QTest::newRow("no tcp") << serverResponse("ServerName;S;InstanceName;NAV;IsClustered;No;Version;9.0;;") << 0;
        QTest::newRow("a port out of range")
            << serverResponse("ServerName;S;InstanceName;NAV;IsClustered;No;Version;9.0;tcp;70000;;") << 0;
        QTest::newRow("not a server response")
            << bytes({ 0x04 }) + QByteArray("ServerName;S;InstanceName;NAV;tcp;1500;;") << 0;
        QTest::newRow("cut short") << bytes({ 0x05, 0x10 }) << 0;
    }

    void readsThePort()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, port);
        const auto found = InstancePortFromReply(reply, QStringLiteral("NAV"));
        QCOMPARE(found.value_or(0), port);
    }

    // A Browser on 127.0.0.1:1434 whose answer leaves from the address and port of the row: only
    // the host asked, from the Browser's port, is believed.
    void trustsOnlyTheHostAsked_data()
    {
        QTest::addColumn<QString>("replyAddress");
        QTest::addColumn<bool>("replyFromBrowserPort");
        QTest::addColumn<bool>("believed");
        QTest::newRow("the host asked") << QStringLiteral("127.0.0.1") << true << true;
        QTest::newRow("another address") << QStringLiteral("127.0.0.2") << true << false;
        QTest::newRow("another port of the host") << QStringLiteral("127.0.0.1") << false << false;
    }

    void trustsOnlyTheHostAsked()
    {
        QFETCH(QString, replyAddress);
        QFETCH(bool, replyFromBrowserPort);
        QFETCH(bool, believed);
        std::promise<bool> listening;
        std::thread answer([&] {
            QUdpSocket browser;
            QUdpSocket replier;
            const bool sameSocket = replyAddress == QLatin1String("127.0.0.1") && replyFromBrowserPort;
            listening.set_value(
                browser.bind(QHostAddress::LocalHost, kBrowserPort)
                && (sameSocket || replier.bind(QHostAddress(replyAddress), replyFromBrowserPort ? kBrowserPort : 0)));
            if (!browser.waitForReadyRead(5000))
                return;
            QHostAddress client;
            quint16 clientPort = 0;
            QByteArray request(qsizetype(browser.pendingDatagramSize()), '\0');
            browser.readDatagram(request.data(), request.size(), &client, &clientPort);
            QUdpSocket& from = sameSocket ? browser : replier;
            from.writeDatagram(*standin::browserReply(request, kNav), client, clientPort);
            from.waitForBytesWritten(1000);
        });
        if (!listening.get_future().get()) {
            answer.join();
            QFAIL("cannot bind the Browser's sockets");
        }
        OdbcConnectRequest request;
        request.loginTimeoutSeconds = 2;
        request.browserHost = QStringLiteral("127.0.0.1");
        request.instanceName = QStringLiteral("NAV");
        bool refused = false;
        try {
            ResolveInstancePort(request);
        } catch (const quorvane::Failure&) {
            refused = true;
        }
        answer.join();
        QCOMPARE(refused, !believed);
        QCOMPARE(request.connectionString.contains(QLatin1String("Port=49172;")), believed);
    }
};

QTEST_GUILESS_MAIN(TestInstanceLookup)
#include "tst_instancelookup.moc"
