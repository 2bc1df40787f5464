#include "db/ErrorNumbers.h"
#include "log/Clock.h"
#include "log/ErrorReport.h"
#include "rebuild/ClusteredIndexRebuild.h"
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
// transaction around them, the activity log line before each, and what a failure at each step
// leaves behind.
class tst_ClusteredIndexRebuild : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void failureAtEachStep_data();
    void failureAtEachStep();
};

void tst_ClusteredIndexRebuild::failureAtEachStep_data()
{
    // The step that fails: a statement, "rows" (the move past the first key column) or "log"
    // (writing the activity log file).
    QTest::addColumn<QString>("failing");
    QTest::addColumn<int>("number"); // of the failure reported
    QTest::addColumn<QString>("events");
    QTest::newRow("none") << "" << 0 << "QUERY, TIMEOUT 0, BEGIN, DROP, ADD, COMMIT";
    QTest::newRow("activity log not writable") << "log" << 0 << "QUERY, TIMEOUT 0, BEGIN, DROP, ADD, COMMIT";
    QTest::newRow("key-column query") << "QUERY" << int(db::kErrorNoTable) << "QUERY";
    QTest::newRow("reading the key columns") << "rows" << int(db::kErrorFail) << "QUERY";
    QTest::newRow("DROP refused by a foreign key") << "DROP" << 3725 << "QUERY, TIMEOUT 0, BEGIN, DROP, ROLLBACK";
    QTest::newRow("ADD refused after the DROP") << "ADD" << 1902 << "QUERY, TIMEOUT 0, BEGIN, DROP, ADD, ROLLBACK";
}

void tst_ClusteredIndexRebuild::failureAtEachStep()
{
    QFETCH(QString, failing);
    QFETCH(int, number);
    QFETCH(QString, events);
    const QTemporaryDir folder;
    // A path below a regular file (this program) cannot be created, whoever runs the test.
    const QString logFile = failing == "log" ? QCoreApplication::applicationFilePath() + "/QuorvaneLog.txt"
                                             : folder.filePath(QStringLiteral("QuorvaneLog.txt"));
    FakeDatabase database;
    QStringList unlogged; // statements whose log line was not on file when they went out
    database.respond = [&](const QString& sql) {
        const QString kind = kindOf(QStringLiteral("EXEC ") + sql);
        FakeResult result { { { "No_" }, { "Name" } }, std::nullopt, failing == "rows" ? 1 : 0 };
        if (kind != "QUERY" && !contentsOf(logFile).endsWith((sql + "\r\n").toUtf8()))
            unlogged.append(kind);
        if (kind == failing || (kind == "QUERY" && failing == "rows"))
            result.failure = Failure(number, QStringLiteral("Refused.\nSee previous errors."));
        return result;
    };
    RecordingMessageSink messages;
    const ErrorReport report(messages, folder.path());
    const std::unique_ptr<db::Connection> connection = database.factory()();
    connection->Open(QStringLiteral("Provider=sqloledb"));
    database.events.clear();

    CreateClusteredIndex({ *connection, [] { return true; }, logFile, SystemClock(), report },
                         QStringLiteral("CRONUS$Customer"), QStringLiteral("CRONUS$Customer$0"));

    QStringList kinds;
    for (const QString& event : database.events)
        kinds.append(kindOf(event));
    QCOMPARE(kinds.join(QLatin1String(", ")), events);
    // A line that cannot be written is reported on its own, and the rebuild goes on.
    QCOMPARE(unlogged, (failing == "log" ? QStringList { "DROP", "ADD" } : QStringList()));
    QCOMPARE(messages.texts.filter("An error occurred while attempting to save a file.").size(), unlogged.size());
    QCOMPARE(messages.texts.size(), unlogged.size() + (number == 0 ? 0 : 1));
    const QString record = QStringLiteral("Source: CreateClusteredIndex\r\nNumber: %1\r\nDescription: Refused.\n"
                                          "See previous errors.\r\n");
    QCOMPARE(contentsOf(folder.filePath(QStringLiteral("ErrorLog.txt"))),
             number == 0 ? QByteArray() : record.arg(number).toUtf8());
}

QTEST_GUILESS_MAIN(tst_ClusteredIndexRebuild)
#include "tst_clusteredindexrebuild.moc"
