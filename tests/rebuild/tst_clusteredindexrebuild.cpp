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
    if (event.startsWith(QLatin1String("EXEC SELECT ")))
        return QStringLiteral("QUERY");
    if (event.startsWith(QLatin1String("EXEC ")))
        return event.contains(QLatin1String(" DROP ")) ? QStringLiteral("DROP") : QStringLiteral("ADD");
    return event;
}

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The marker ("- DROP: " or "- ADD: ") of each line of an activity log file.
QStringList markersIn(const QString& path)
{
    QStringList markers;
    for (const QByteArray& line : contentsOf(path).split('\n'))
        if (!line.isEmpty())
            markers.append(line.contains("- DROP: ") ? "- DROP: " : "- ADD: ");
    return markers;
}

} // namespace

// One rebuild over an in-process database: the transaction around the two statements, what a
// failure at each step leaves behind, and the activity log line written before each statement.
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
    QString logPath() const { return m_folder->filePath(QStringLiteral("QuorvaneLog.txt")); }

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<FakeDatabase> m_database;
    std::unique_ptr<db::Connection> m_connection;
    RecordingMessageSink m_messages;
    SystemClock m_clock;
};

void tst_ClusteredIndexRebuild::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_database = std::make_unique<FakeDatabase>();
    m_connection = m_database->factory()();
    m_connection->Open(QStringLiteral("Provider=sqloledb"));
    m_database->events.clear();
    m_messages.texts.clear();
}

void tst_ClusteredIndexRebuild::rebuild(const QString& logFile)
{
    const ErrorReport report(m_messages, m_folder->path());
    CreateClusteredIndex({ *m_connection, [] { return true; }, logFile, m_clock, report },
                         QStringLiteral("CRONUS$Customer"), QStringLiteral("CRONUS$Customer$0"));
}

void tst_ClusteredIndexRebuild::failureAtEachStep_data()
{
    QTest::addColumn<QString>("failingStep"); // "QUERY", "rows" (the move past the first row), "DROP", "ADD"
    QTest::addColumn<int>("number");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("logged");
    const QStringList both { "- DROP: ", "- ADD: " };
    QTest::newRow("none") << "" << 0 << QStringList { "QUERY", "TIMEOUT 0", "BEGIN", "DROP", "ADD", "COMMIT" } << both;
    QTest::newRow("key-column query") << "QUERY" << int(db::kErrorNoTable) << QStringList { "QUERY" } << QStringList();
    QTest::newRow("reading the key columns")
        << "rows" << int(db::kErrorFail) << QStringList { "QUERY" } << QStringList();
    QTest::newRow("DROP refused by a foreign key")
        << "DROP" << 3725 << QStringList { "QUERY", "TIMEOUT 0", "BEGIN", "DROP", "ROLLBACK" }
        << QStringList { "- DROP: " };
    QTest::newRow("ADD refused after the DROP")
        << "ADD" << 1902 << QStringList { "QUERY", "TIMEOUT 0", "BEGIN", "DROP", "ADD", "ROLLBACK" } << both;
}

void tst_ClusteredIndexRebuild::failureAtEachStep()
{
    QFETCH(QString, failingStep);
    QFETCH(int, number);
    QFETCH(QStringList, events);
    QFETCH(QStringList, logged);
    QStringList loggedWhenSent;
    m_database->respond = [&](const QString& sql) {
        const QString kind = kindOf(QStringLiteral("EXEC ") + sql);
        FakeResult result;
        if (kind == "QUERY")
            result.rows = { { "No_" }, { "Name" } };
        else
            loggedWhenSent = markersIn(logPath());
        if (kind == failingStep || (kind == "QUERY" && failingStep == "rows")) {
            result.failure = Failure(number, QStringLiteral("Refused.\nSee previous errors."));
            result.failAtRow = failingStep == "rows" ? 1 : 0;
        }
        return result;
    };

    rebuild(logPath());

    QStringList kinds;
    for (const QString& event : m_database->events)
        kinds.append(kindOf(event));
    QCOMPARE(kinds, events);
    QCOMPARE(markersIn(logPath()), logged);
    QCOMPARE(loggedWhenSent, logged); // the last statement's line was on file before it went out
    const QByteArray record = QStringLiteral("Source: CreateClusteredIndex\r\nNumber: %1\r\nDescription: Refused.\n"
                                             "See previous errors.\r\n")
                                  .arg(number)
                                  .toUtf8();
    QCOMPARE(contentsOf(m_folder->filePath(QStringLiteral("ErrorLog.txt"))), number == 0 ? QByteArray() : record);
    QCOMPARE(m_messages.texts.size(), number == 0 ? 0 : 1);
}

void tst_ClusteredIndexRebuild::logWriteFailureDoesNotStopRebuild()
{
    // A log path below a regular file cannot be created, whoever runs the test.
    QFile blocker(m_folder->filePath(QStringLiteral("not-a-folder")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    m_database->respond = [](const QString& sql) {
        return sql.startsWith(QLatin1String("SELECT ")) ? FakeResult { { { "No_" } }, {}, 0 } : FakeResult {};
    };

    rebuild(blocker.fileName() + QStringLiteral("/QuorvaneLog.txt"));

    QCOMPARE(m_database->events.last(), QStringLiteral("COMMIT"));
    QCOMPARE(m_messages.texts.size(), 2);
    for (const QString& text : m_messages.texts)
        QVERIFY2(text.startsWith("An error occurred while attempting to save a file.\r\nNumber: "), qPrintable(text));
    QVERIFY(!QFile::exists(m_folder->filePath(QStringLiteral("ErrorLog.txt"))));
}

QTEST_GUILESS_MAIN(tst_ClusteredIndexRebuild)
#include "tst_clusteredindexrebuild.moc"
