#include "db/InstanceLookup.h"
#include "db/OdbcConnection.h"
#include "login/DatabaseCheck.h"
#include "server/Browser.h"
#include "support/Failure.h"
#include "support/HostProcess.h"
#include "support/StandinProcess.h"

#include <QJsonDocument>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>
#include <future>
#include <thread>

using namespace quorvane;
using namespace quorvane::db;

namespace {

const standin::BrowsedInstance kNav { QStringLiteral("NAVHOST"), QStringLiteral("NAV"), QStringLiteral("9.00.5000.00"),
                                      49172 };

QByteArray serverResponse(const QByteArray& data)
{
    return QByteArray("\x05") + char(data.size() & 0xFF) + char(data.size() >> 8) + data;
}

} // namespace

// Who answers for the server: the stand-in's Browser service and the program's reading of its
// answers, and the server's certificate when encryption is asked.
class TestInstanceLookup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void browserAnswers_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("answered");

        QTest::newRow("its instance in another case, no terminating zero") << QByteArray("\x04nav") << true;
        QTest::newRow("an empty name") << QByteArray("\x04\0", 2) << false;
        QTest::newRow("a name longer than 32 bytes") << QByteArray("\x04") + QByteArray(33, 'N') << false;
        QTest::newRow("all instances, unicast") << QByteArray("\x03") << true;
        QTest::newRow("all instances, broadcast") << QByteArray("\x02") << true;
        QTest::newRow("all instances with bytes behind") << QByteArray("\x03\x01") << false;
        QTest::newRow("the dedicated administrator connection") << QByteArray("\x0F\x01NAV\0", 6) << false;
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
        QCOMPARE(*reply,
                 serverResponse("ServerName;NAVHOST;InstanceName;NAV;IsClustered;No;Version;9.00.5000.00;tcp;49172;;"));
        QCOMPARE(InstancePortFromReply(*reply, QStringLiteral("nav")), std::optional<quint16>(49172));
    }

    void readsThePort_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("port"); // 0: none
        // One instance's entry in a server response, `rest` standing behind its version.
        const auto entry = [](const char* instance, const char* rest) {
            return "ServerName;S;InstanceName;" + QByteArray(instance) + ";IsClustered;No;Version;9.00.5000.00;" + rest;
        };

        QTest::newRow("named pipes before tcp")
            << serverResponse(entry("NAV", "np;\\\\S\\pipe\\MSSQL$NAV\\sql\\query;tcp;2433;;")) << 2433;
        QTest::newRow("the instance is the second of two")
            << serverResponse(entry("SQLEXPRESS", "tcp;1600;;") + entry("NAV", "tcp;1700;;")) << 1700;
        QTest::newRow("another instance only") << serverResponse(entry("SQLEXPRESS", "tcp;1600;;")) << 0;
        QTest::newRow("no tcp") << serverResponse(entry("NAV", ";")) << 0;
        QTest::newRow("a port out of range") << serverResponse(entry("NAV", "tcp;70000;;")) << 0;
        QTest::newRow("not a server response") << QByteArray("\x04ServerName;S;InstanceName;NAV;tcp;1500;;") << 0;
        QTest::newRow("cut short") << QByteArray("\x05\x10") << 0;
    }

    void readsThePort()
    {
        QFETCH(QByteArray, reply);
        QTEST(int(InstancePortFromReply(reply, QStringLiteral("NAV")).value_or(0)), "port");
    }

    // A Browser on 127.0.0.1:1434 whose answer leaves from the address and port of the row, or that
    // never answers: only the host asked, from the Browser's port, is believed, and the Browser is
    // asked once a second within the login time-out only, not for the 16 seconds a login without a
    // limit waits.
    void lookupTrustsOnlyTheHostAskedWithinTheLoginTimeout_data()
    {
        QTest::addColumn<QString>("replyAddress"); // empty: no answer
        QTest::addColumn<bool>("fromBrowserPort");
        QTest::newRow("the host asked") << "127.0.0.1" << true;
        QTest::newRow("another address") << "127.0.0.2" << true;
        QTest::newRow("another port of the host") << "127.0.0.1" << false;
        QTest::newRow("no answer") << QString() << true;
    }

    void lookupTrustsOnlyTheHostAskedWithinTheLoginTimeout()
    {
        QFETCH(QString, replyAddress);
        QFETCH(bool, fromBrowserPort);
        const bool believed = replyAddress == QLatin1String("127.0.0.1") && fromBrowserPort;
        const bool replierNeeded = !believed && !replyAddress.isEmpty();
        std::promise<bool> listening;
        QByteArrayList requests;
        std::thread answer([&] {
            QUdpSocket browser;
            QUdpSocket replier;
            listening.set_value(
                browser.bind(QHostAddress::LocalHost, kBrowserPort)
                && (!replierNeeded || replier.bind(QHostAddress(replyAddress), fromBrowserPort ? kBrowserPort : 0)));
            while (browser.hasPendingDatagrams() || browser.waitForReadyRead(1500)) {
                const QNetworkDatagram request = browser.receiveDatagram();
                requests.append(request.data());
                QUdpSocket& from = believed ? browser : replier;
                if (replyAddress.isEmpty())
                    continue;
                from.writeDatagram(*standin::browserReply(request.data(), kNav), request.senderAddress(),
                                   quint16(request.senderPort()));
                from.waitForBytesWritten(1000);
            }
        });
        const bool bound = listening.get_future().get();
        OdbcConnectRequest request
            = TranslateConnectionString(QStringLiteral("Data Source=127.0.0.1\\NAV;Connect Timeout=1"));
        bool refused = false;
        try {
            ResolveInstancePort(request);
        } catch (const quorvane::Failure&) {
            refused = true;
        }
        answer.join();
        QVERIFY(bound);
        QCOMPARE(refused, !believed);
        QCOMPARE(request.connectionString.contains(QLatin1String("Port=49172;")), believed);
        QVERIFY2(requests.size() >= 1 && requests.size() <= 2, qPrintable(QString::number(requests.size())));
        QCOMPARE(requests, QByteArrayList(requests.size(), QByteArray("\x04NAV\0", 5)));
    }

    // Who answers at the door, once connected: what the encryption keywords let through, with
    // certificates of a test authority that is the only one trusted for the run.
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        // The authority; certificates it issued for the right name and for another; one that
        // issued itself.
        const QString authority = QStringLiteral("-CA ca.pem -CAkey ca.key -CAcreateserial -days 2");
        const QString request = QStringLiteral("req -newkey rsa:2048 -nodes -keyout %1.key -subj /CN=%2");
        for (const QString& command :
             QStringList { request.arg("ca", "Authority") + " -x509 -days 2 -out ca.pem",
                           request.arg("localhost", "localhost") + " -out localhost.csr",
                           "x509 -req -in localhost.csr -out localhost.pem " + authority,
                           request.arg("elsewhere.example", "elsewhere.example") + " -out elsewhere.example.csr",
                           "x509 -req -in elsewhere.example.csr -out elsewhere.example.pem " + authority,
                           request.arg("self", "localhost") + " -x509 -days 2 -out self.pem" }) {
            QProcess process;
            process.setWorkingDirectory(m_folder.path());
            process.start(QStringLiteral("openssl"), command.split(u' '));
            QVERIFY2(process.waitForFinished(60000) && process.exitCode() == 0, qPrintable(command));
        }
        qputenv("SSL_CERT_FILE", QFile::encodeName(m_folder.filePath(QStringLiteral("ca.pem"))));
    }

    void keywordsDecideWhoIsLetIn_data()
    {
        QTest::addColumn<QString>("serverCertificate");
        QTest::addColumn<QString>("keywords");
        QTest::addColumn<QString>("refusal"); // empty: let in
        const QString verified = QStringLiteral("Use Encryption for Data=True;");
        const auto row = [](const char* name, const char* served, const QString& keywords, const char* problem,
                            const char* issuedTo) {
            const QString refusal = QStringLiteral(
                "The server's certificate could not be verified (%1); it was issued to \"%2\". Add \"Server "
                "Certificate=PATH\" with a copy of the server's certificate to accept exactly that one, or \"Trust "
                "Server Certificate=True\" to accept any certificate.");
            QTest::newRow(name) << QString(served) << keywords << (*problem ? refusal.arg(problem, issuedTo) : "");
        };
        row("issued for its name", "localhost", verified, "", "");
        row("issued for another name", "elsewhere.example", verified, "hostname mismatch", "elsewhere.example");
        row("self-signed", "self", verified, "self-signed certificate", "localhost");
        row("self-signed and pinned", "self", verified + "Server Certificate=%1/self.pem;", "", "");
        row("another certificate pinned", "self", "Server Certificate=%1/localhost.pem;", "self-signed certificate",
            "localhost");
    }

    void keywordsDecideWhoIsLetIn()
    {
        QFETCH(QString, serverCertificate);
        QFETCH(QString, keywords);
        QFETCH(QString, refusal);
        const QString certificate = m_folder.filePath(serverCertificate);
        const test::StandinProcess standin(
            QJsonDocument::fromJson(test::fileBytes(QUORVANE_SOURCE_DIR "/tools/standin/fixtures/demo.json")).object(),
            { "--cert", certificate + ".pem", "--key", certificate + ".key" });
        QVERIFY(standin.started());
        const QString connect = standin.connectionString("CRONUS", "navuser", "Demo#2006")
                                    .replace(QLatin1String("127.0.0.1"), QLatin1String("localhost"))
            + QString(keywords).replace(QLatin1String("%1"), m_folder.path());

        Failure failure(0, QString());
        const qint16 result = ValidateDatabase(db::odbcConnectionFactory(), connect, nullptr, &failure);

        if (refusal.isEmpty()) {
            QCOMPARE(result, kCheckNavisionDatabase);
            for (const QJsonValue request : standin.requests())
                QVERIFY(request[QStringLiteral("encrypted")].toBool());
            return;
        }
        QCOMPARE(result, kCheckServerUnreachable);
        QCOMPARE(EncryptionRefusalReason(connect, failure), refusal);
        // Refused before the login: neither the password nor anything else reached the server.
        QCOMPARE(standin.requests().size(), 0);
    }

private:
    QTemporaryDir m_folder;
};

QTEST_GUILESS_MAIN(TestInstanceLookup)
#include "tst_instancelookup.moc"
