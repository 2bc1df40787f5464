#include "db/OdbcConnection.h"
#include "login/DatabaseCheck.h"
#include "support/StandinProcess.h"

#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvane;

// What the encryption keywords let through, with certificates of a test authority that is the only
// one trusted for the run, through the FreeTDS driver against the stand-in.
class tst_ServerTrustEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        row("self-signed, any certificate trusted", "self", verified + "Trust Server Certificate=True;", "", "");
        row("self-signed and pinned", "self", verified + "Server Certificate=%1/self.pem;", "", "");
        row("another certificate pinned", "self", "Server Certificate=%1/localhost.pem;", "self-signed certificate",
            "localhost");
    }

    void keywordsDecideWhoIsLetIn()
    {
        QFETCH(QString, serverCertificate);
        QFETCH(QString, keywords);
        QFETCH(QString, refusal);
        QFile demo(QStringLiteral(QUORVANE_SOURCE_DIR "/tools/standin/fixtures/demo.json"));
        QVERIFY(demo.open(QIODevice::ReadOnly));
        const QString certificate = m_folder.filePath(serverCertificate);
        const test::StandinProcess standin(QJsonDocument::fromJson(demo.readAll()).object(),
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

QTEST_GUILESS_MAIN(tst_ServerTrustEndToEnd)
#include "tst_servertrust_e2e.moc"
