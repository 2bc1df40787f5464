#include "db/ErrorNumbers.h"
#include "log/Clock.h"
#include "log/ErrorReport.h"
#include "rebuild/ClusteredIndexRebuild.h"
#include "support/FakeConnection.h"
#include "support/RecordingMessageSink.h"

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
// transaction around them, and what a failure at each step leaves behind.
class tst_ClusteredIndexRebuild : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void failureAtEachStep_data();
    void failureAtEachStep();
    void logWriteFailureDoesNotStopRebuild();

private:
    void rebuild(const QString& logFile);
    QString pathOf(const char* file) const { return m_folder->filePath(QLatin1String(file)); }

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<FakeDatabase> m_database;
    RecordingMessageSink m_messages;
};

void tst_ClusteredIndexRebuild::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_database = std::make_unique<FakeDatabase>();
    m_messages.texts.clear();
}

void tst_ClusteredIndexRebuild::rebuild(const QString& logFile)
{
    const SystemClock clock;
    const ErrorReport report(m_messages, m_folder->path());
    const std::unique_ptr<db::Connection> connection = m_database->factory()();
    connection->Open(QStringLiteral("Provider=sqloledb"));
    m_database->events.clear();
    CreateClusteredIndex({ *connection, [] { return true; }, logFile, clock, report },
                         QStringLiteral("CRONUS$Customer"), QStringLiteral("CRONUS$Customer$0"));
}

void tst_ClusteredIndexRebuild::failureAtEachStep_data()
{
    QTest::addColumn<QString>("failing"); // the statement that fails; "rows": the move past the first key column
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("events");
    QTest::newRow("none") << "" << 0 << "QUERY, TIMEOUT 0, BEGIN, DROP, ADD, COMMIT";
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
    int sentBeforeLogged = 0;
    m_database->respond = [&](const QString& sql) {
        const QString kind = kindOf(QStringLiteral("EXEC ") + sql);
        FakeResult result { { { "No_" }, { "Name" } }, std::nullopt, failing == "rows" ? 1 : 0 };
        if (kind != "QUERY") // each statement's line is on file before the statement goes out
            sentBeforeLogged += contentsOf(pathOf("QuorvaneLog.txt")).endsWith((sql + "\r\n").toUtf8()) ? 0 : 1;
        if (kind == failing || (kind == "QUERY" && failing == "rows"))
            result.failure = Failure(number, QStringLiteral("Refused.\nSee previous errors."));
        return result;
    };

    rebuild(pathOf("QuorvaneLog.txt"));

    QStringList kinds;
    for (const QString& event : m_database->events)
        kinds.append(kindOf(event));
    QCOMPARE(kinds.join(QLatin1String(", ")), events);
    QCOMPARE(sentBeforeLogged, 0);
    const QString record = QStringLiteral("Source: CreateClusteredIndex\r\nNumber: %1\r\nDescription: Refused.\n"
                                          "See previous errors.\r\n");
    QCOMPARE(contentsOf(pathOf("ErrorLog.txt")), number == 0 ? QByteArray() : record.arg(number).toUtf8());
    QCOMPARE(m_messages.texts.size(), number == 0 ? 0 : 1);
}

void tst_ClusteredIndexRebuild::logWriteFailureDoesNotStopRebuild()
{
    // A log path below a regular file cannot be created, whoever runs the test.
    QFile blocker(pathOf("not-a-folder"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    m_database->respond = [](const QString&) { return FakeResult { { { "No_" } }, std::nullopt, 0 }; };

    rebuild(blocker.fileName() + QStringLiteral("/QuorvaneLog.txt"));

    QCOMPARE(m_database->events.last(), QStringLiteral("COMMIT"));
    QCOMPARE(m_messages.texts.size(), 2);
    for (const QString& text : m_messages.texts)
        QVERIFY2(text.startsWith("An error occurred while attempting to save a file.\r\nNumber: "), qPrintable(text));
    QVERIFY(!QFile::exists(pathOf("ErrorLog.txt")));
}

QTEST_GUILESS_MAIN(tst_ClusteredIndexRebuild)
#include "tst_clusteredindexrebuild.moc"
