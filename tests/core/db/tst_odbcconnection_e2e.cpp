#include "db/DriverEnvironment.h"
#include "db/ErrorNumbers.h"
#include "db/OdbcConnection.h"
#include "login/DatabaseCheck.h"
#include "rebuild/Statements.h"
#include "support/Failure.h"
#include "support/StandinProcess.h"

#include <QFile>
#include <QJsonDocument>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using quorvane::Failure;
using quorvane::test::StandinProcess;
using namespace quorvane::db;

namespace {

// A password that only arrives intact when every layer quotes it right (as in the fixture).
const QString kPassword = QStringLiteral("S3c;r}e=t 'ä\"");

const QString kFixturePath = QStringLiteral(QUORVANE_SOURCE_DIR "/tests/core/db/fixtures/nav.json");

// The key-column query the program sends for a table whose key is named as Navision names it.
QString keyColumnQuery(const QString& table)
{
    return quorvane::keyColumnQuery(table, table + QStringLiteral("$0"));
}

QStringList column(RecordSet& rows, int index)
{
    QStringList values;
    for (; !rows.eof(); rows.MoveNext())
        values.append(rows.Fields(index));
    return values;
}

} // namespace

class TestOdbcConnectionEndToEnd : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;

    // A connection as navuser to NAV, with the keywords added to its connection string.
    std::unique_ptr<Connection> openConnection(const QString& addedKeywords = QString())
    {
        auto connection = odbcConnectionFactory()();
        const QString password = QLatin1Char('"') + QString(kPassword).replace(u'"', QLatin1String("\"\"")) + u'"';
        connection->Open(m_standin->connectionString("NAV", "navuser", password) + addedKeywords);
        return connection;
    }

private Q_SLOTS:
    void init()
    {
        // Customer is referenced by a foreign key, and Slow's key columns take three seconds to read.
        // (A connection cut between DROP and ADD is met by the fix run's end-to-end tests.)
        m_standin = std::make_unique<StandinProcess>(kFixturePath);
        QVERIFY(m_standin->started());
    }

    void cleanup() { m_standin.reset(); }

    // The driver also reads freetds.conf and its environment variables. The program removes the
    // variables once at start-up; freetds.conf does not win over the connection string anyway.
    void connectionStringWinsOverDriverSettings()
    {
        QTemporaryDir folder;
        QFile configuration(folder.filePath(QStringLiteral("freetds.conf")));
        QVERIFY(configuration.open(QIODevice::WriteOnly));
        configuration.write("[global]\n\ttds version = 4.2\n\tport = 1\n\tencryption = off\n");
        configuration.close();
        qputenv("FREETDSCONF", configuration.fileName().toLocal8Bit());
        const auto restore = qScopeGuard([] { qunsetenv("FREETDSCONF"); });
        const QList<QPair<const char*, QByteArray>> overrides { { "TDSVER", "5.0" },
                                                                { "TDSPORT", "1" },
                                                                { "TDSHOST", "192.0.2.1" } };
        for (const auto& [name, value] : overrides)
            qputenv(name, value);

        RemoveDriverEnvironmentOverrides();

        for (const auto& setting : overrides)
            QVERIFY2(!qEnvironmentVariableIsSet(setting.first), setting.first);
        QCOMPARE(qgetenv("FREETDSCONF"), configuration.fileName().toLocal8Bit());
        QVERIFY(!openConnection()->Execute(QString::fromUtf16(quorvane::kNavisionCheckQuery))->eof());
    }

    void errorsOfOneStatementInOrder()
    {
        try {
            openConnection()->Execute(
                QStringLiteral("ALTER TABLE dbo.[Cronus$Customer] DROP CONSTRAINT [Cronus$Customer$0]"));
            QFAIL("the DROP went through");
        } catch (const Failure& failure) {
            QCOMPARE(failure.number(), 3725);
            QCOMPARE(failure.description(),
                     QStringLiteral("The constraint 'Cronus$Customer$0' is being referenced by table 'Cronus$Sales', "
                                    "foreign key constraint 'FK_Sales_Customer'.\nCould not drop constraint. See "
                                    "previous errors."));
        }
        // The key is still there: Customer is the second table of the saved catalogue.
        const QJsonValue customer = m_standin->state()["databases"][0]["tables"][1];
        QCOMPARE(customer["name"].toString(), QStringLiteral("Cronus$Customer"));
        QVERIFY(customer["primary_key"].isObject());
    }

    void commandTimeout_data()
    {
        QTest::addColumn<QString>("release");
        QTest::addColumn<QString>("addedKeywords");
        QTest::addColumn<bool>("attentionInClear");
        QTest::newRow("login encrypted") << QString() << QString() << true;
        QTest::newRow("forced encryption") << QStringLiteral("2022") << QString() << false;
        QTest::newRow("encryption for data")
            << QStringLiteral("2016") << QStringLiteral("Use Encryption for Data=True;Trust Server Certificate=True;")
            << false;
    }

    // The driver cancels a statement that outlasts the time-out with an ATTENTION; the server
    // acknowledges it and the connection goes on. With full encryption nothing but PRELOGIN
    // travels outside TLS, the cancel and its acknowledgement included.
    void commandTimeout()
    {
        QFETCH(QString, release);
        QFETCH(QString, addedKeywords);
        QFETCH(bool, attentionInClear);
        // The release named (empty: the default, which encrypts the login only).
        QFile fixture(kFixturePath);
        QVERIFY(fixture.open(QIODevice::ReadOnly));
        m_standin = std::make_unique<StandinProcess>(QJsonDocument::fromJson(fixture.readAll()).object(),
                                                     StandinProcess::releaseOptions(release));
        QVERIFY(m_standin->started());
        const auto connection = openConnection(addedKeywords);
        QCOMPARE(connection->CommandTimeout(), kDefaultCommandTimeoutSeconds);

        connection->setCommandTimeout(1);
        try {
            connection->Execute(keyColumnQuery("Cronus$Slow"));
            QFAIL("the statement outlasted the time-out");
        } catch (const Failure& timedOut) {
            QCOMPARE(timedOut.number(), kErrorFail);
            QCOMPARE(timedOut.description(), QStringLiteral("Query timeout expired"));
        }
        // The key columns in key order, and no row past the last. (The list of keys, and names outside
        // Latin-1 both ways, are met by the list's and the fix run's end-to-end tests.)
        const auto itemKey = connection->Execute(keyColumnQuery("Cronus$Item"));
        QCOMPARE(column(*itemKey, 0), QStringList({ "No_", "Variant Code" }));
        QVERIFY_THROWS_EXCEPTION(Failure, itemKey->MoveNext());

        connection->setCommandTimeout(0);
        QCOMPARE(column(*connection->Execute(keyColumnQuery("Cronus$Slow")), 0), QStringList { "No_" });

        // One connection sent every request; with full encryption nothing went outside TLS.
        QSet<int> connections;
        QStringList inClear; // "login", "sql", "transaction_request", "attention"
        for (const QJsonValue& request : m_standin->requests()) {
            connections.insert(request[QLatin1String("connection")].toInt());
            for (const char* kind : { "login", "sql", "transaction_request", "attention" })
                if (!request[QLatin1String("encrypted")].toBool() && request.toObject().contains(QLatin1String(kind)))
                    inClear.append(QLatin1String(kind));
        }
        QCOMPARE(connections.size(), 1);
        QVERIFY(m_standin->requests().contains(QJsonObject {
            { "attention", true }, { "connection", *connections.begin() }, { "encrypted", !attentionInClear } }));
        QCOMPARE(inClear.contains(QLatin1String("attention")), attentionInClear);
        QCOMPARE(inClear.isEmpty(), !attentionInClear);
    }
};

QTEST_GUILESS_MAIN(TestOdbcConnectionEndToEnd)
#include "tst_odbcconnection_e2e.moc"
