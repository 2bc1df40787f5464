#include "db/ErrorNumbers.h"
#include "db/EventLoopConnection.h"
#include "db/ReopeningConnection.h"
#include "support/FakeConnection.h"
#include "support/GatedConnection.h"

#include <QTest>
#include <QTimer>
#include <functional>

using namespace quorvane;
using namespace quorvane::test;

using Call = std::function<void(db::Connection&)>;
Q_DECLARE_METATYPE(Call)

// The connections that wrap another: the one that runs each database call on a thread of its own
// while the caller's events go on, and the one that opens the link again.
class tst_WrappedConnections : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void heldCallLetsTimersFireAndFailsIntact_data()
    {
        QTest::addColumn<Call>("call");
        QTest::newRow("setCommandTimeout") << Call([](db::Connection& c) { c.setCommandTimeout(0); });
        QTest::newRow("BeginTrans") << Call([](db::Connection& c) { c.BeginTrans(); });
        QTest::newRow("CommitTrans") << Call([](db::Connection& c) { c.CommitTrans(); });
        QTest::newRow("RollbackTrans") << Call([](db::Connection& c) { c.RollbackTrans(); });
        QTest::newRow("Close") << Call([](db::Connection& c) { c.Close(); });
    }

    void heldCallLetsTimersFireAndFailsIntact()
    {
        QFETCH(Call, call);
        Gate gate;
        gate.failure = Failure(3725, QStringLiteral("The constraint 'Item$0' is being referenced.\nCould not drop."));
        db::EventLoopConnection connection(std::make_unique<GatedConnection>(gate));
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
            FakeResult result { {}, Failure(db::kErrorFail, QStringLiteral("Communication link failure")), kLostAt };
            for (int row = 0; row < 10000; ++row)
                result.rows.append({ QString::number(row), QStringLiteral("CRONUS") });
            return result;
        };
        db::EventLoopConnection connection(database.factory()());
        connection.Open(QStringLiteral("Provider=sqloledb"));
        const std::unique_ptr<db::RecordSet> rows = connection.Execute(QStringLiteral("SELECT 1"));

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
        const QString open = QStringLiteral("OPEN Data Source=S");
        QTest::newRow("known lost: opened again first")
            << "lost" << QStringList { "ok", "ok" } << false << QStringList { open, "EXEC 1", "EXEC 2" } << 0;
        QTest::newRow("known lost, cannot be opened")
            << "lost" << QStringList { "ok", "ok" } << true << QStringList { open } << 1;
        QTest::newRow("link dropped during the pause: sent again once")
            << "" << QStringList { "lost", "ok" } << false << QStringList { "EXEC 1", open, "EXEC 1", "EXEC 2" } << 0;
        QTest::newRow("link dropped during the pause, cannot be opened")
            << "" << QStringList { "lost", "ok" } << true << QStringList { "EXEC 1", open, "EXEC 2" } << 2;
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
        database.respond = [&](const QString&) {
            const QString how = plan.isEmpty() ? QStringLiteral("ok") : plan.takeFirst();
            return FakeResult {
                {}, how == "ok" ? std::nullopt : std::optional(Failure(db::kErrorFail, "gone")), 0, how == "lost"
            };
        };
        db::ReopeningConnection connection(database.factory()());
        connection.Open(QStringLiteral("Data Source=S"));
        connection.setCommandTimeout(0);
        if (before == "lost")
            QVERIFY_THROWS_EXCEPTION(Failure, connection.Execute(QStringLiteral("0")));
        database.events.clear();
        if (openFails)
            database.openFailure = Failure(db::kErrorFail, QStringLiteral("unreachable"));

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

QTEST_GUILESS_MAIN(tst_WrappedConnections)
#include "tst_wrappedconnections.moc"
