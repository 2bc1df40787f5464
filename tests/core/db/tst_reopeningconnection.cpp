#include "db/ErrorNumbers.h"
#include "db/ReopeningConnection.h"
#include "support/FakeConnection.h"

#include <QTest>

using namespace quorvane;
using namespace quorvane::test;

// The connection that is opened again with its own connection string: when a use starts on a
// connection known to be lost, and when the first statement after a pause finds the link gone.
class tst_ReopeningConnection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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

QTEST_GUILESS_MAIN(tst_ReopeningConnection)
#include "tst_reopeningconnection.moc"
