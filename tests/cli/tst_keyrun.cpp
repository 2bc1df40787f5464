#include "run/KeyRun.h"
#include "db/ErrorNumbers.h"
#include "support/Clock.h"
#include "support/ErrorReport.h"
#include "support/FakeConnection.h"
#include "support/RecordingMessageSink.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvane;
using namespace quorvane::cli;
using namespace quorvane::test;

namespace {

struct FixedClock final : Clock
{
    QDateTime now() const override { return QDateTime(QDate(2006, 3, 14), QTime(9, 26, 53)); }
};

KeyRows fourKeys()
{
    KeyRows keys;
    for (int n = 1; n <= 4; ++n) {
        const QString table = QStringLiteral("T%1").arg(n);
        keys.append(KeyRow { table + QStringLiteral("$0"), table, QStringLiteral("CRONUS"), std::nullopt });
    }
    return keys;
}

// Which table a statement names, for the rebuild's three statements; empty for any other.
QString tableOf(const QString& sql)
{
    const qsizetype bracket = sql.indexOf(QLatin1String("dbo.["));
    if (bracket >= 0)
        return sql.mid(bracket + 5, sql.indexOf(QLatin1Char(']'), bracket) - bracket - 5);
    const qsizetype literal = sql.indexOf(QLatin1String("TABLE_NAME = '"));
    if (literal >= 0)
        return sql.mid(literal + 14, sql.indexOf(QLatin1Char('\''), literal + 14) - literal - 14);
    return {};
}

// The answer of a key-column query for a key on the one column No_.
FakeResult keyOnNo()
{
    return FakeResult { { { "No_" } }, std::nullopt, 0, false };
}

} // namespace

Q_DECLARE_METATYPE(quorvane::cli::RunTally)

class tst_KeyRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void outcomes_data();
    void outcomes();
    void activityLogOnlyWhenAsked();
    void runLineAndSummary();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
};

void tst_KeyRun::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
}

void tst_KeyRun::outcomes_data()
{
    QTest::addColumn<QString>("faultTable");
    QTest::addColumn<QString>("faultStatement"); // "key", "ADD" or empty
    QTest::addColumn<int>("faultNumber");
    QTest::addColumn<int>("stopBefore"); // 0-based key before which a stop is asked; -1 none
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QStringList>("tablesTouched");

    const QStringList all { "T1", "T2", "T3", "T4" };
    QTest::newRow("every key rebuilt") << QString() << QString() << 0 << -1
                                       << QStringList { "T1\tT1$0\trebuilt", "T2\tT2$0\trebuilt", "T3\tT3$0\trebuilt",
                                                        "T4\tT4$0\trebuilt" }
                                       << "Done: 4 rebuilt, 0 failed, 0 skipped, 0 not processed." << 0 << all;
    QTest::newRow("a key without columns is skipped")
        << "T2"
        << "key" << 0 << -1
        << QStringList { "T1\tT1$0\trebuilt", "T2\tT2$0\tskipped: the key's columns were not found",
                         "T3\tT3$0\trebuilt", "T4\tT4$0\trebuilt" }
        << "Done: 3 rebuilt, 0 failed, 1 skipped, 0 not processed." << 0 << all;
    QTest::newRow("a refused ADD fails and the run goes on")
        << "T3"
        << "ADD" << 1902 << -1
        << QStringList { "T1\tT1$0\trebuilt", "T2\tT2$0\trebuilt", "T3\tT3$0\tfailed: refused by the server",
                         "T4\tT4$0\trebuilt" }
        << "Done: 3 rebuilt, 1 failed, 0 skipped, 0 not processed." << 1 << all;
    QTest::newRow("a lost connection ends the run")
        << "T2"
        << "ADD" << static_cast<int>(db::kErrorFail) << -1
        << QStringList { "T1\tT1$0\trebuilt", "T2\tT2$0\tfailed: refused by the server" }
        << "Done: 1 rebuilt, 1 failed, 0 skipped, 2 not processed." << 1 << QStringList { "T1", "T2" };
    QTest::newRow("a stop ends the run before the next key")
        << QString() << QString() << 0 << 2 << QStringList { "T1\tT1$0\trebuilt", "T2\tT2$0\trebuilt" }
        << "Done: 2 rebuilt, 0 failed, 0 skipped, 2 not processed." << 1 << QStringList { "T1", "T2" };
}

void tst_KeyRun::outcomes()
{
    QFETCH(QString, faultTable);
    QFETCH(QString, faultStatement);
    QFETCH(int, faultNumber);
    QFETCH(int, stopBefore);
    QFETCH(QStringList, lines);
    QFETCH(QString, summary);
    QFETCH(int, exitStatus);
    QFETCH(QStringList, tablesTouched);

    FakeDatabase database;
    database.respond = [&](const QString& sql) {
        const bool faulted = tableOf(sql) == faultTable;
        if (sql.startsWith(QLatin1String("SELECT isKCU")))
            return faulted && faultStatement == QLatin1String("key") ? FakeResult {} : keyOnNo();
        if (faulted && sql.contains(QLatin1String(" ADD ")) && faultStatement == QLatin1String("ADD"))
            return FakeResult { {},
                                Failure(faultNumber, QStringLiteral("refused by\r\nthe server")),
                                0,
                                faultNumber == static_cast<int>(db::kErrorFail) };
        return FakeResult {};
    };
    const std::unique_ptr<db::Connection> connection = database.factory()();
    connection->Open(QStringLiteral("x"));

    RecordingMessageSink messages;
    const ErrorReport report(messages, m_folder->path());
    const FixedClock clock;
    int started = 0;
    QStringList printed;
    const RunSettings settings { *connection,
                                 QString(),
                                 clock,
                                 report,
                                 [&] { return started == stopBefore; },
                                 [&](const KeyRow& key, const KeyResult& result, int done) {
                                     printed.append(runLine(key, result));
                                     started = done;
                                 } };
    const RunTally tally = rebuildKeys(settings, fourKeys());

    QCOMPARE(printed, lines);
    QCOMPARE(summaryLogLine(tally.counts), summary);
    QCOMPARE(tally.exitStatus(), exitStatus);
    QCOMPARE(tally.connectionLost, faultNumber == static_cast<int>(db::kErrorFail));
    QCOMPARE(tally.interrupted, stopBefore >= 0);
    QStringList touched;
    for (const QString& sql : database.executed())
        if (!touched.contains(tableOf(sql)))
            touched.append(tableOf(sql));
    QCOMPARE(touched, tablesTouched);
    // Every failure went to the error log, as the window records it; a lost connection is told
    // once more in the window's words.
    QFile errorLog(m_folder->filePath(QStringLiteral("ErrorLog.txt")));
    const int failures = tally.counts.failed;
    QCOMPARE(errorLog.exists(), failures > 0);
    QCOMPARE(messages.texts.size(), failures + (tally.connectionLost ? 1 : 0));
    if (tally.connectionLost)
        QCOMPARE(messages.texts.last(), lostConnectionMessage(2));
}

void tst_KeyRun::activityLogOnlyWhenAsked()
{
    FakeDatabase database;
    database.respond
        = [](const QString& sql) { return sql.startsWith(QLatin1String("SELECT")) ? keyOnNo() : FakeResult {}; };
    const std::unique_ptr<db::Connection> connection = database.factory()();
    connection->Open(QStringLiteral("x"));
    RecordingMessageSink messages;
    const ErrorReport report(messages, m_folder->path());
    const FixedClock clock;
    const QString logFile = m_folder->filePath(QStringLiteral("activity.log"));

    rebuildKeys(RunSettings { *connection, QString(), clock, report, {}, {} }, fourKeys().mid(0, 1));
    QVERIFY(!QFile::exists(logFile));

    rebuildKeys(RunSettings { *connection, logFile, clock, report, {}, {} }, fourKeys().mid(0, 1));
    QFile file(logFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> logLines = file.readAll().split('\n');
    QCOMPARE(logLines.size(), 3);
    QVERIFY(logLines[0].endsWith("- DROP: ALTER TABLE dbo.[T1] DROP CONSTRAINT [T1$0]\r"));
    QVERIFY(logLines[1].endsWith("- ADD: ALTER TABLE dbo.[T1] ADD CONSTRAINT [T1$0] PRIMARY KEY CLUSTERED  ([No_]) ON "
                                 "[PRIMARY]\r"));
}

void tst_KeyRun::runLineAndSummary()
{
    const KeyRow key { "K$0", "Jim's Bikes$Sales Line", "CRONUS", std::nullopt };
    QCOMPARE(runLine(key,
                     { RebuildOutcome::Failed,
                       "Cannot create more than one clustered index.\r\nCould not create "
                       "constraint. See previous errors." }),
             QStringLiteral("Jim's Bikes$Sales Line\tK$0\tfailed: Cannot create more than one clustered index. Could "
                            "not create constraint. See previous errors."));
    RunTally tally;
    tally.counts.skipped = 2;
    QCOMPARE(tally.exitStatus(), 0);
    tally.counts.notProcessed = 1;
    QCOMPARE(tally.exitStatus(), 1);
}

QTEST_GUILESS_MAIN(tst_KeyRun)
#include "tst_keyrun.moc"
