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
        QVERIFY(openssl({ "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Test Authority",
                          "-keyout", "ca.key", "-out", "ca.pem" }));
        for (const char* name : { "localhost", "elsewhere.example" }) {
            const QString base = QString::fromLatin1(name);
            QVERIFY(openssl({ "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + base, "-keyout", base + ".key",
                              "-out", base + ".csr" }));
            QVERIFY(openssl({ "x509", "-req", "-in", base + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                              "-CAcreateserial", "-days", "2", "-out", base + ".pem" }));
        }
        QVERIFY(openssl({ "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=localhost",
                          "-keyout", "self.key", "-out", "self.pem" }));
        qputenv("SSL_CERT_FILE", QFile::encodeName(m_folder.filePath(QStringLiteral("ca.pem"))));
    }

    void keywordsDecideWhoIsLetIn_data()
    {
        QTest::addColumn<QString>("serverCertificate");
        QTest::addColumn<QString>("keywords");
        QTest::addColumn<QString>("refusedFor"); // empty: let in
        const QString verified = QStringLiteral("Use Encryption for Data=True;");
        const auto row = [](const char* name, const char* served, const QString& keywords, const char* refusedFor) {
            QTest::newRow(name) << QString(served) << keywords << QString(refusedFor);
        };
        row("issued for its name", "localhost", verified, "");
        row("issued for another name", "elsewhere.example", verified, "elsewhere.example");
        row("self-signed", "self", verified, "localhost");
        row("self-signed, any certificate trusted", "self", verified + "Trust Server Certificate=True;", "");
        row("self-signed and pinned", "self", verified + "Server Certificate=%1/self.pem;", "");
        row("another certificate pinned", "self", "Server Certificate=%1/localhost.pem;", "localhost");
    }

    void keywordsDecideWhoIsLetIn()
    {
        QFETCH(QString, serverCertificate);
        QFETCH(QString, keywords);
        QFETCH(QString, refusedFor);
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

        if (refusedFor.isEmpty()) {
            QCOMPARE(result, kCheckNavisionDatabase);
            for (const QJsonValue request : standin.requests())
                QVERIFY(request[QStringLiteral("encrypted")].toBool());
            return;
        }
        QCOMPARE(result, kCheckServerUnreachable);
        const QString reason = EncryptionRefusalReason(connect, failure);
        QVERIFY2(reason.startsWith(QLatin1String("The server's certificate could not be verified (")),
                 qPrintable(reason));
        QVERIFY2(reason.contains(QStringLiteral("it was issued to \"%1\".").arg(refusedFor)), qPrintable(reason));
        QVERIFY(reason.contains(QLatin1String("\"Server Certificate=PATH\"")));
        QVERIFY(reason.contains(QLatin1String("\"Trust Server Certificate=True\"")));
        // Refused before the login: neither the password nor anything else reached the server.
        QCOMPARE(standin.requests().size(), 0);
    }

private:
    bool openssl(const QStringList& arguments)
    {
        QProcess process;
        process.setWorkingDirectory(m_folder.path());
        process.start(QStringLiteral("openssl"), arguments);
        return process.waitForFinished(60000) && process.exitCode() == 0;
    }

    QTemporaryDir m_folder;
};

QTEST_GUILESS_MAIN(tst_ServerTrustEndToEnd)
#include "tst_servertrust_e2e.moc"
