#include "db/ErrorNumbers.h"
#include "db/EventLoopConnection.h"
#include "support/FakeConnection.h"
#include "support/GatedConnection.h"

#include <QTest>
#include <QTimer>
#include <functional>

using namespace quorvane;
using namespace quorvane::test;

using Call = std::function<void(db::Connection&)>;
Q_DECLARE_METATYPE(Call)

// The connection that runs each database call on a thread of its own while the caller's events go on.
class tst_EventLoopConnection : public QObject
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
};

QTEST_GUILESS_MAIN(tst_EventLoopConnection)
#include "tst_eventloopconnection.moc"
