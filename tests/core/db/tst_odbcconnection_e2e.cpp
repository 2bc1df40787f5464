#include "db/DriverEnvironment.h"
#include "db/ErrorNumbers.h"
#include "db/EventLoopConnection.h"
#include "db/OdbcConnection.h"
#include "db/ReopeningConnection.h"
#include "login/DatabaseCheck.h"
#include "rebuild/Statements.h"
#include "support/Failure.h"
#include "support/FakeConnection.h"
#include "support/GatedConnection.h"
#include "support/HostProcess.h"
#include "support/StandinProcess.h"

#include <QFile>
#include <QJsonDocument>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

using quorvane::Failure;
using quorvane::test::StandinProcess;
using namespace quorvane::db;
using namespace quorvane::test;

using Call = std::function<void(Connection&)>;
Q_DECLARE_METATYPE(Call)

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
        m_standin = std::make_unique<StandinProcess>(QJsonDocument::fromJson(fileBytes(kFixturePath)).object(),
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

    // The connections that wrap another: the one that runs each database call on a thread of its
    // own while the caller's events go on, and the one that opens the link again.
    void heldCallLetsTimersFireAndFailsIntact_data()
    {
        QTest::addColumn<Call>("call");
        QTest::newRow("setCommandTimeout") << Call([](Connection& c) { c.setCommandTimeout(0); });
        QTest::newRow("BeginTrans") << Call([](Connection& c) { c.BeginTrans(); });
        QTest::newRow("CommitTrans") << Call([](Connection& c) { c.CommitTrans(); });
        QTest::newRow("RollbackTrans") << Call([](Connection& c) { c.RollbackTrans(); });
        QTest::newRow("Close") << Call([](Connection& c) { c.Close(); });
    }

    void heldCallLetsTimersFireAndFailsIntact()
    {
        QFETCH(Call, call);
        Gate gate;
        gate.failure = Failure(3725, QStringLiteral("The constraint 'Item$0' is being referenced.\nCould not drop."));
        EventLoopConnection connection(std::make_unique<GatedConnection>(gate));
        // The timer can only fire while the call is held if this thread handles events meanwhile.
        bool timerFired = false;
        QTimer::singleShot(0, this, [&] {
            timerFired = true;
            gate.letOneThrough();
        });

        try {
            call(connection);
            QFAIL("no failure arrived");
        } catch (const Failure& failure) {
            QCOMPARE(failure.number(), gate.failure->number());
            QCOMPARE(failure.description(), gate.failure->description());
        }
        QVERIFY(timerFired);
        QCOMPARE(gate.forcedOpen.load(), 0);
    }

    // Rows are fetched ahead in batches; a result longer than a batch still arrives whole and in order,
    // and a connection lost part way shows at the move past the last row read, not earlier.
    void longResultFailsWhereTheReaderMeetsIt()
    {
        constexpr int kLostAt = 9000;
        FakeDatabase database;
        database.respond = [](const QString&) {
            FakeResult result { {}, Failure(kErrorFail, QStringLiteral("Communication link failure")), kLostAt };
            for (int row = 0; row < 10000; ++row)
                result.rows.append({ QString::number(row), QStringLiteral("CRONUS") });
            return result;
        };
        EventLoopConnection connection(database.factory()());
        connection.Open(QStringLiteral("Provider=sqloledb"));
        const std::unique_ptr<RecordSet> rows = connection.Execute(QStringLiteral("SELECT 1"));

        int read = 0;
        try {
            for (; !rows->eof(); ++read, rows->MoveNext())
                QCOMPARE(rows->Fields(0), QString::number(read));
            QFAIL("the lost connection did not arrive");
        } catch (const Failure& failure) {
            QCOMPARE(failure.description(), QStringLiteral("Communication link failure"));
        }
        QCOMPARE(read, kLostAt);
    }

    // The connection that is opened again with its own connection string: when a use starts on a
    // connection known to be lost, and when the first statement after a pause finds the link gone.
    void resume_data()
    {
        // What happens before ResumeWithRetry(): "lost" (a statement that took the link with it), or nothing.
        QTest::addColumn<QString>("before");
        // How the first two statements after ResumeWithRetry() go: "ok", "refused" (the link stays), "lost".
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<bool>("openFails"); // opening again fails
        QTest::addColumn<QStringList>("events"); // after ResumeWithRetry() was called
        QTest::addColumn<int>("failures"); // of the two statements, or of ResumeWithRetry() itself
        // Opened again, the new session is told the lock time-out before anything else.
        const QStringList open { QStringLiteral("OPEN Data Source=S"), QStringLiteral("EXEC SET LOCK_TIMEOUT 30000") };
        QTest::newRow("known lost, cannot be opened")
            << "lost" << QStringList { "ok", "ok" } << true << open.mid(0, 1) << 1;
        QTest::newRow("link dropped during the pause: sent again once")
            << "" << QStringList { "lost", "ok" } << false
            << QStringList { "EXEC 1" } + open + QStringList { "EXEC 1", "EXEC 2" } << 0;
        QTest::newRow("link dropped during the pause, cannot be opened")
            << "" << QStringList { "lost", "ok" } << true << QStringList { "EXEC 1", open[0], "EXEC 2" } << 2;
        QTest::newRow("refused by the server: not sent again")
            << "" << QStringList { "refused", "ok" } << false << QStringList { "EXEC 1", "EXEC 2" } << 1;
        QTest::newRow("lost after the first statement: not sent again")
            << "" << QStringList { "ok", "lost" } << false << QStringList { "EXEC 1", "EXEC 2" } << 1;
    }

    void resume()
    {
        QFETCH(QString, before);
        QFETCH(QStringList, statements);
        QFETCH(bool, openFails);
        FakeDatabase database;
        QStringList plan = before == "lost" ? QStringList { "lost" } + statements : statements;
        database.respond = [&](const QString& sql) {
            const QString how
                = plan.isEmpty() || sql.startsWith("SET LOCK_TIMEOUT") ? QStringLiteral("ok") : plan.takeFirst();
            return FakeResult {
                {}, how == "ok" ? std::nullopt : std::optional(Failure(kErrorFail, "gone")), 0, how == "lost"
            };
        };
        ReopeningConnection connection(database.factory()());
        connection.Open(QStringLiteral("Data Source=S"));
        connection.setCommandTimeout(0);
        if (before == "lost")
            QVERIFY_THROWS_EXCEPTION(Failure, connection.Execute(QStringLiteral("0")));
        database.events.clear();
        if (openFails)
            database.openFailure = Failure(kErrorFail, QStringLiteral("unreachable"));

        int failed = 0;
        try {
            connection.ResumeWithRetry();
            for (const QString& sql : { QStringLiteral("1"), QStringLiteral("2") }) {
                try {
                    connection.Execute(sql);
                } catch (const Failure&) {
                    ++failed;
                }
            }
        } catch (const Failure&) {
            ++failed;
        }

        QTEST(database.events, "events");
        QTEST(failed, "failures");
        QCOMPARE(connection.CommandTimeout(), 0);
    }
};

QTEST_GUILESS_MAIN(TestOdbcConnectionEndToEnd)
#include "tst_odbcconnection_e2e.moc"
