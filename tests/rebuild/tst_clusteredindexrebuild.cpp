#include "db/ErrorNumbers.h"
#include "log/ActivityLog.h"
#include "log/Clock.h"
#include "log/ErrorReport.h"
#include "rebuild/ClusteredIndexRebuild.h"
#include "support/FakeConnection.h"
#include "support/RecordingMessageSink.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvane;
using quorvane::test::FakeDatabase;
using quorvane::test::FakeResult;

namespace {

// A clock that moves on one second each time it is read.
class SteppingClock final : public Clock
{
public:
    QDateTime now() const override { return start.addSecs(reads++); }
    const QDateTime start { QDate(2024, 3, 5), QTime(14, 7, 9) };
    mutable int reads = 0;
};

const QString kReportBox = QStringLiteral("An Error has occurred, Please see the ErrorLog.txt file for details.");

bool isKeyColumnQuery(const QString& sql)
{
    return sql.startsWith(QLatin1String("SELECT isKCU.COLUMN_NAME "));
}

FakeResult rowsOf(const QStringList& columns)
{
    FakeResult result;
    for (const QString& column : columns)
        result.rows.append(QStringList { column });
    return result;
}

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_ClusteredIndexRebuild : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void sendsStatementsInKeyOrder_data();
    void sendsStatementsInKeyOrder();
    void keyWithoutColumnsLeavesTableAlone();
    void failureIsReportedAndRolledBack_data();
    void failureIsReportedAndRolledBack();
    void lostConnectionReportsOriginalFailure();
    void logsEachStatementBeforeSendingIt_data();
    void logsEachStatementBeforeSendingIt();
    void logWriteFailureDoesNotStopRebuild();

private:
    void rebuild(const QString& table, const QString& constraint);
    QString logPath() const { return m_folder->filePath(QStringLiteral("QuorvaneLog.txt")); }
    QByteArray errorLog() const { return contentsOf(m_folder->filePath(QStringLiteral("ErrorLog.txt"))); }

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<FakeDatabase> m_database;
    std::unique_ptr<db::Connection> m_connection;
    test::RecordingMessageSink m_messages;
    std::unique_ptr<ErrorReport> m_report;
    SteppingClock m_clock;
    QList<bool> m_logAnswers; // successive states of "Log Results to a File"; the last one stays
    QString m_logFile;
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
    m_report = std::make_unique<ErrorReport>(m_messages, m_folder->path());
    m_clock.reads = 0;
    m_logAnswers = { true };
    m_logFile = logPath();
}

void tst_ClusteredIndexRebuild::rebuild(const QString& table, const QString& constraint)
{
    const auto logToFile = [this] { return m_logAnswers.size() > 1 ? m_logAnswers.takeFirst() : m_logAnswers.front(); };
    CreateClusteredIndex({ *m_connection, logToFile, m_logFile, m_clock, *m_report }, table, constraint);
}

void tst_ClusteredIndexRebuild::sendsStatementsInKeyOrder_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("constraint");
    QTest::addColumn<QStringList>("keyColumns"); // as the server lists them, by ORDINAL_POSITION
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("drop");
    QTest::addColumn<QString>("add");

    QTest::newRow("one column") << "CRONUS$Customer"
                                << "CRONUS$Customer$0" << QStringList { "No_" }
                                << "SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU "
                                   "WHERE isKCU.CONSTRAINT_NAME = 'CRONUS$Customer$0' AND isKCU.TABLE_NAME = "
                                   "'CRONUS$Customer' ORDER BY isKCU.ORDINAL_POSITION"
                                << "ALTER TABLE dbo.[CRONUS$Customer] DROP CONSTRAINT [CRONUS$Customer$0]"
                                << "ALTER TABLE dbo.[CRONUS$Customer] ADD CONSTRAINT [CRONUS$Customer$0] PRIMARY KEY "
                                   "CLUSTERED  ([No_]) ON [PRIMARY]";
    QTest::newRow("three columns, key order unlike table order")
        << "CRONUS$Sales Line"
        << "CRONUS$Sales Line$0" << QStringList { "Line No_", "Document Type", "Document No_" }
        << "SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU WHERE isKCU.CONSTRAINT_NAME = "
           "'CRONUS$Sales Line$0' AND isKCU.TABLE_NAME = 'CRONUS$Sales Line' ORDER BY isKCU.ORDINAL_POSITION"
        << "ALTER TABLE dbo.[CRONUS$Sales Line] DROP CONSTRAINT [CRONUS$Sales Line$0]"
        << "ALTER TABLE dbo.[CRONUS$Sales Line] ADD CONSTRAINT [CRONUS$Sales Line$0] PRIMARY KEY CLUSTERED  "
           "([Line No_],[Document Type],[Document No_]) ON [PRIMARY]";
    QTest::newRow("quote and closing bracket in names")
        << "O'Neil]s Ledger"
        << "O'Neil]s Ledger$0" << QStringList { "Entry]No", "Cust's No_" }
        << "SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU WHERE isKCU.CONSTRAINT_NAME = "
           "'O''Neil]s Ledger$0' AND isKCU.TABLE_NAME = 'O''Neil]s Ledger' ORDER BY isKCU.ORDINAL_POSITION"
        << "ALTER TABLE dbo.[O'Neil]]s Ledger] DROP CONSTRAINT [O'Neil]]s Ledger$0]"
        << "ALTER TABLE dbo.[O'Neil]]s Ledger] ADD CONSTRAINT [O'Neil]]s Ledger$0] PRIMARY KEY CLUSTERED  "
           "([Entry]]No],[Cust's No_]) ON [PRIMARY]";
    QTest::newRow("non-Latin names")
        << "Müller GmbH$Kunde"
        << "Müller GmbH$Kunde$0" << QStringList { "Номер", "日付" }
        << "SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU WHERE isKCU.CONSTRAINT_NAME = "
           "'Müller GmbH$Kunde$0' AND isKCU.TABLE_NAME = 'Müller GmbH$Kunde' ORDER BY isKCU.ORDINAL_POSITION"
        << "ALTER TABLE dbo.[Müller GmbH$Kunde] DROP CONSTRAINT [Müller GmbH$Kunde$0]"
        << "ALTER TABLE dbo.[Müller GmbH$Kunde] ADD CONSTRAINT [Müller GmbH$Kunde$0] PRIMARY KEY CLUSTERED  "
           "([Номер],[日付]) ON [PRIMARY]";
}

void tst_ClusteredIndexRebuild::sendsStatementsInKeyOrder()
{
    QFETCH(QString, table);
    QFETCH(QString, constraint);
    QFETCH(QStringList, keyColumns);
    QFETCH(QString, query);
    QFETCH(QString, drop);
    QFETCH(QString, add);
    m_database->respond
        = [&](const QString& sql) { return isKeyColumnQuery(sql) ? rowsOf(keyColumns) : FakeResult {}; };

    rebuild(table, constraint);

    // The time-out is lifted only after the query, and the two statements commit together.
    const QStringList expected { "EXEC " + query, "TIMEOUT 0", "BEGIN", "EXEC " + drop, "EXEC " + add, "COMMIT" };
    QCOMPARE(m_database->events, expected);
    QCOMPARE(m_messages.texts, QStringList());
    QCOMPARE(errorLog(), QByteArray());
}

void tst_ClusteredIndexRebuild::keyWithoutColumnsLeavesTableAlone()
{
    rebuild(QStringLiteral("CRONUS$Item"), QStringLiteral("CRONUS$Item$0"));

    QCOMPARE(m_database->executed().size(), 1);
    QCOMPARE(m_database->events.mid(1), QStringList { "TIMEOUT 0" });
    QCOMPARE(m_messages.texts, QStringList());
    QVERIFY(!QFile::exists(logPath()));
    QCOMPARE(errorLog(), QByteArray());
}

void tst_ClusteredIndexRebuild::failureIsReportedAndRolledBack_data()
{
    QTest::addColumn<QString>("failingStep");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QStringList>("eventsAfterQuery");
    QTest::addColumn<QStringList>("loggedMarkers");

    QTest::newRow("key-column query") << "query" << int(db::kErrorNoTable)
                                      << "Invalid object name 'INFORMATION_SCHEMA.KEY_COLUMN_USAGE'." << QStringList()
                                      << QStringList();
    QTest::newRow("reading the key columns")
        << "rows" << int(db::kErrorFail) << "Communication link failure" << QStringList() << QStringList();
    QTest::newRow("DROP refused by a foreign key")
        << "drop" << 3725
        << "The constraint 'CRONUS$Customer$0' is being referenced by table 'CRONUS$Cust_ Ledger Entry', foreign key "
           "constraint 'FK_Customer'.\nCould not drop constraint. See previous errors."
        << QStringList { "TIMEOUT 0", "BEGIN", "DROP", "ROLLBACK" } << QStringList { "- DROP: " };
    QTest::newRow("ADD refused after DROP")
        << "add" << 1902
        << "Cannot create more than one clustered index on table 'dbo.CRONUS$Customer'. Drop the existing clustered "
           "index 'Customer_Name' before creating another."
        << QStringList { "TIMEOUT 0", "BEGIN", "DROP", "ADD", "ROLLBACK" } << QStringList { "- DROP: ", "- ADD: " };
}

void tst_ClusteredIndexRebuild::failureIsReportedAndRolledBack()
{
    QFETCH(QString, failingStep);
    QFETCH(int, number);
    QFETCH(QString, description);
    QFETCH(QStringList, eventsAfterQuery);
    QFETCH(QStringList, loggedMarkers);
    const Failure failure(number, description);
    m_database->respond = [&](const QString& sql) {
        FakeResult result = isKeyColumnQuery(sql) ? rowsOf({ "No_", "Name" }) : FakeResult {};
        const bool fails = (failingStep == "query" || failingStep == "rows") ? isKeyColumnQuery(sql)
                                                                             : sql.contains(failingStep.toUpper());
        if (fails) {
            result.failure = failure;
            result.failAtRow = failingStep == "rows" ? 1 : 0;
        }
        return result;
    };

    rebuild(QStringLiteral("CRONUS$Customer"), QStringLiteral("CRONUS$Customer$0"));

    QStringList events = m_database->events.mid(1);
    for (QString& event : events)
        event = event.contains(" DROP ") ? "DROP" : event.contains(" ADD ") ? "ADD" : event;
    QCOMPARE(events, eventsAfterQuery);
    QCOMPARE(m_messages.texts, QStringList { kReportBox });
    QCOMPARE(errorLog(),
             (QStringLiteral("Source: CreateClusteredIndex\r\nNumber: %1\r\nDescription: ").arg(number) + description
              + QStringLiteral("\r\n"))
                 .toUtf8());
    QStringList markers;
    for (const QByteArray& line : contentsOf(logPath()).split('\n'))
        if (!line.isEmpty())
            markers.append(line.contains("- DROP: ") ? "- DROP: " : "- ADD: ");
    QCOMPARE(markers, loggedMarkers);
}

void tst_ClusteredIndexRebuild::lostConnectionReportsOriginalFailure()
{
    m_database->respond = [this](const QString& sql) {
        if (isKeyColumnQuery(sql))
            return rowsOf({ "No_" });
        FakeResult result;
        if (sql.contains(QLatin1String(" ADD "))) {
            m_connection->Close(); // the link drops under the statement; a rollback can no longer be sent
            result.failure = Failure(db::kErrorFail, QStringLiteral("Communication link failure"));
        }
        return result;
    };

    rebuild(QStringLiteral("CRONUS$Vendor"), QStringLiteral("CRONUS$Vendor$0"));

    QVERIFY(m_database->events.contains("ROLLBACK"));
    QVERIFY(!m_database->events.contains("COMMIT"));
    QCOMPARE(m_messages.texts, QStringList { kReportBox });
    QCOMPARE(errorLog(),
             QByteArray(
                 "Source: CreateClusteredIndex\r\nNumber: -2147467259\r\nDescription: Communication link failure\r\n"));
}

void tst_ClusteredIndexRebuild::logsEachStatementBeforeSendingIt_data()
{
    QTest::addColumn<QList<bool>>("logAnswers");
    QTest::addColumn<QStringList>("expectedLines");

    const QString drop = QStringLiteral("- DROP: ALTER TABLE dbo.[CRONUS$Item] DROP CONSTRAINT [CRONUS$Item$0]");
    const QString add
        = QStringLiteral("- ADD: ALTER TABLE dbo.[CRONUS$Item] ADD CONSTRAINT [CRONUS$Item$0] PRIMARY KEY "
                         "CLUSTERED  ([No_]) ON [PRIMARY]");
    const QDateTime first = SteppingClock().start;
    const QString firstStamp = generalDateText(first);
    const QString secondStamp = generalDateText(first.addSecs(1));
    QTest::newRow("ticked") << QList<bool> { true } << QStringList { firstStamp + drop, secondStamp + add };
    QTest::newRow("cleared") << QList<bool> { false } << QStringList();
    QTest::newRow("cleared after the DROP line") << QList<bool> { true, false } << QStringList { firstStamp + drop };
    QTest::newRow("ticked after the DROP") << QList<bool> { false, true } << QStringList { firstStamp + add };
}

void tst_ClusteredIndexRebuild::logsEachStatementBeforeSendingIt()
{
    QFETCH(QList<bool>, logAnswers);
    QFETCH(QStringList, expectedLines);
    m_logAnswers = logAnswers;
    QStringList loggedBeforeSending;
    m_database->respond = [&](const QString& sql) {
        if (isKeyColumnQuery(sql))
            return rowsOf({ "No_" });
        loggedBeforeSending = QString::fromUtf8(contentsOf(logPath())).split("\r\n", Qt::SkipEmptyParts);
        return FakeResult {};
    };

    rebuild(QStringLiteral("CRONUS$Item"), QStringLiteral("CRONUS$Item$0"));

    QCOMPARE(m_database->executed().size(), 3);
    if (expectedLines.isEmpty()) {
        QVERIFY(!QFile::exists(logPath()));
        return;
    }
    QCOMPARE(contentsOf(logPath()), (expectedLines.join("\r\n") + "\r\n").toUtf8());
    QCOMPARE(loggedBeforeSending, expectedLines); // the last line was on file before its statement went out
}

void tst_ClusteredIndexRebuild::logWriteFailureDoesNotStopRebuild()
{
    // A log path below a regular file cannot be created, whoever runs the test.
    QFile blocker(m_folder->filePath(QStringLiteral("not-a-folder")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    m_logFile = blocker.fileName() + QStringLiteral("/QuorvaneLog.txt");
    m_database->respond = [](const QString& sql) { return isKeyColumnQuery(sql) ? rowsOf({ "No_" }) : FakeResult {}; };

    rebuild(QStringLiteral("CRONUS$Item"), QStringLiteral("CRONUS$Item$0"));

    QCOMPARE(m_database->executed().size(), 3);
    QCOMPARE(m_database->events.last(), QStringLiteral("COMMIT"));
    QCOMPARE(m_messages.texts.size(), 2);
    for (const QString& text : m_messages.texts)
        QVERIFY2(text.startsWith("An error occurred while attempting to save a file.\r\nNumber: "), qPrintable(text));
    QCOMPARE(errorLog(), QByteArray());
}

QTEST_GUILESS_MAIN(tst_ClusteredIndexRebuild)
#include "tst_clusteredindexrebuild.moc"
