#include "db/ErrorNumbers.h"
#include "rebuild/ClusteredIndexRebuild.h"
#include "support/Clock.h"
#include "support/ErrorReport.h"
#include "support/FakeConnection.h"
#include "support/RecordingMessageSink.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvane;
using namespace quorvane::test;

namespace {

// A recorded event in short: "QUERY", "DROP" or "ADD" for the statements, others as they are.
QString kindOf(const QString& event)
{
    if (!event.startsWith(QLatin1String("EXEC ")))
        return event;
    return event.startsWith(QLatin1String("EXEC SELECT ")) ? "QUERY" : event.contains(" DROP ") ? "DROP" : "ADD";
}

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// One rebuild over an in-process database: the time-out lifted for the statements, the
// transaction around them, the activity log line before each, the messages held back while the
// transaction is open, and what a failure at each step leaves behind.
class tst_ClusteredIndexRebuild : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void failureAtEachStep_data()
    {
        // The steps that fail: a statement, "rows" (the move past the first key column) or "log" (writing
        // the activity log file). A rebuild that goes through, or finds no key columns: tst_rebuild_e2e.
        QTest::addColumn<QStringList>("failing");
        QTest::addColumn<int>("number"); // of the failure reported; 0: none, the key rebuilt
        // What happened, in order; BOX is a message shown to the user.
        QTest::addColumn<QString>("events");
        // The boxes wait until the transaction has ended, so the table is not locked meanwhile.
        QTest::newRow("activity log not writable")
            << QStringList { "log" } << 0 << "QUERY, TIMEOUT 0, BEGIN, DROP, ADD, COMMIT, BOX, BOX";
        QTest::newRow("activity log not writable, ADD refused")
            << QStringList { "log", "ADD" } << 1902 << "QUERY, TIMEOUT 0, BEGIN, DROP, ADD, ROLLBACK, BOX, BOX, BOX";
        QTest::newRow("key-column query") << QStringList { "QUERY" } << int(db::kErrorNoTable) << "QUERY, BOX";
        QTest::newRow("reading the key columns") << QStringList { "rows" } << int(db::kErrorFail) << "QUERY, BOX";
        QTest::newRow("DROP refused by a foreign key")
            << QStringList { "DROP" } << 3725 << "QUERY, TIMEOUT 0, BEGIN, DROP, ROLLBACK, BOX";
        QTest::newRow("ADD refused after the DROP")
            << QStringList { "ADD" } << 1902 << "QUERY, TIMEOUT 0, BEGIN, DROP, ADD, ROLLBACK, BOX";
    }

    void failureAtEachStep()
    {
        QFETCH(QStringList, failing);
        QFETCH(int, number);
        QFETCH(QString, events);
        const QTemporaryDir folder;
        // A path below a regular file (this program) cannot be created, whoever runs the test.
        const QString logFile = failing.contains("log") ? QCoreApplication::applicationFilePath() + "/QuorvaneLog.txt"
                                                        : folder.filePath(QStringLiteral("QuorvaneLog.txt"));
        FakeDatabase database;
        QStringList unlogged; // statements whose log line was not on file when they went out
        database.respond = [&](const QString& sql) {
            const QString kind = kindOf(QStringLiteral("EXEC ") + sql);
            FakeResult result { { { "No_" }, { "Name" } }, std::nullopt, failing.contains("rows") ? 1 : 0 };
            if (kind != "QUERY" && !contentsOf(logFile).endsWith((sql + "\r\n").toUtf8()))
                unlogged.append(kind);
            if (failing.contains(kind) || (kind == "QUERY" && failing.contains("rows")))
                result.failure = Failure(number, QStringLiteral("Refused.\nSee previous errors."));
            return result;
        };
        RecordingMessageSink messages;
        messages.whileShown = [&](const QString&) { database.events.append(QStringLiteral("BOX")); };
        const ErrorReport report(messages, folder.path());
        const std::unique_ptr<db::Connection> connection = database.factory()();
        connection->Open(QStringLiteral("Provider=sqloledb"));
        database.events.clear();

        const RebuildOutcome result
            = CreateClusteredIndex({ *connection, [] { return true; }, logFile, SystemClock(), report },
                                   QStringLiteral("CRONUS$Customer"), QStringLiteral("CRONUS$Customer$0"));
        QCOMPARE(result.kind, number == 0 ? RebuildOutcome::Rebuilt : RebuildOutcome::Failed);
        QCOMPARE(result.failure ? result.failure->number() : 0, number);

        QStringList kinds;
        for (const QString& event : database.events)
            kinds.append(kindOf(event));
        QCOMPARE(kinds.join(QLatin1String(", ")), events);
        // A line that cannot be written is reported on its own, and the rebuild goes on.
        QCOMPARE(unlogged, (failing.contains("log") ? QStringList { "DROP", "ADD" } : QStringList()));
        QCOMPARE(messages.texts.filter("An error occurred while attempting to save a file.").size(), unlogged.size());
        const QString record = QStringLiteral("Source: CreateClusteredIndex\r\nNumber: %1\r\nDescription: Refused.\n"
                                              "See previous errors.\r\n");
        QCOMPARE(contentsOf(folder.filePath(QStringLiteral("ErrorLog.txt"))),
                 number == 0 ? QByteArray() : record.arg(number).toUtf8());
    }
};

QTEST_GUILESS_MAIN(tst_ClusteredIndexRebuild)
#include "tst_clusteredindexrebuild.moc"
