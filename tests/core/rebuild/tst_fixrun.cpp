#include "db/ErrorNumbers.h"
#include "support/Clock.h"
#include "support/ErrorReport.h"
#include "rebuild/FixRun.h"
#include "support/FakeConnection.h"
#include "support/RecordingMessageSink.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvane;
using namespace quorvane::test;

namespace {

// Records what a run shows, in order, as the main window or a command line would show it.
class RecordingListener final : public FixRunListener
{
public:
    explicit RecordingListener(QStringList& shown)
        : m_shown(shown)
    { }
    void runStarting(qint32 tables) override { m_shown.append(QStringLiteral("START %1").arg(tables)); }
    void tableFinished(const TickedTable& table, RebuildOutcome outcome, qint32 processed) override
    {
        m_shown.append(QStringLiteral("%1 [%2]").arg(tableLogLine(table, outcome)).arg(processed));
    }
    void runFinished(const FixRunCounts& counts) override { m_shown.append(summaryLogLine(counts)); }

private:
    QStringList& m_shown;
};

} // namespace

// The run over the ticked tables against an in-process database: what each table's outcome adds
// to the counts and the lines, and a lost connection that ends the run once.
class tst_FixRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outcomes_data();
    void outcomes();
};

void tst_FixRun::outcomes_data()
{
    // How each table's key-column query goes: "ok", "refused", "empty" (no key columns) or "lost".
    QTest::addColumn<QStringList>("tables");
    // Everything shown, in order: the listener's calls and, as BOX text, the messages.
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("sources"); // of the error records
    const QString box = QStringLiteral("BOX An Error has occurred, Please see the ErrorLog.txt file for details.");
    QTest::newRow("nothing ticked") << QStringList()
                                    << QStringList { "START 0",
                                                     "Done: 0 rebuilt, 0 failed, 0 skipped, 0 not processed." }
                                    << QStringList();
    QTest::newRow("one of each") << QStringList { "ok", "refused", "empty", "ok" }
                                 << QStringList { "START 4",
                                                  "T1\tT1$0 [1]",
                                                  box,
                                                  "T2\tT2$0  (failed, see ErrorLog.txt) [2]",
                                                  "T3\tT3$0 [3]",
                                                  "T4\tT4$0 [4]",
                                                  "Done: 2 rebuilt, 1 failed, 1 skipped, 0 not processed." }
                                 << QStringList { "CreateClusteredIndex" };
    QTest::newRow("lost at the second of four")
        << QStringList { "ok", "lost", "ok", "ok" }
        << QStringList { "START 4",
                         "T1\tT1$0 [1]",
                         box,
                         "T2\tT2$0  (failed, see ErrorLog.txt) [2]",
                         "Done: 1 rebuilt, 1 failed, 0 skipped, 2 not processed.",
                         "BOX The connection to the server was lost. 2 ticked tables were not processed." }
        << QStringList { "CreateClusteredIndex", "PerformFix" };
    QTest::newRow("lost at the last")
        << QStringList { "ok", "lost" }
        << QStringList { "START 2",
                         "T1\tT1$0 [1]",
                         box,
                         "T2\tT2$0  (failed, see ErrorLog.txt) [2]",
                         "Done: 1 rebuilt, 1 failed, 0 skipped, 0 not processed.",
                         "BOX The connection to the server was lost. 0 ticked tables were not processed." }
        << QStringList { "CreateClusteredIndex", "PerformFix" };
}

void tst_FixRun::outcomes()
{
    QFETCH(QStringList, tables);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, sources);
    FakeDatabase database;
    database.respond = [&](const QString& sql) {
        FakeResult result { { { "No_" } }, std::nullopt, 0, false };
        for (int n = 1; n <= tables.size(); ++n) {
            if (!sql.startsWith(QLatin1String("SELECT ")) || !sql.contains(QStringLiteral("'T%1'").arg(n)))
                continue;
            const QString& how = tables.at(n - 1);
            if (how == "empty")
                result.rows.clear();
            if (how == "refused" || how == "lost")
                result.failure = Failure(how == "lost" ? db::kErrorFail : 208, QStringLiteral("Refused."));
            result.dropsConnection = how == "lost";
        }
        return result;
    };
    QStringList seen;
    RecordingMessageSink messages;
    messages.whileShown = [&](const QString& text) { seen.append(QStringLiteral("BOX ") + text); };
    const QTemporaryDir folder;
    const ErrorReport report(messages, folder.path());
    const std::unique_ptr<db::Connection> connection = database.factory()();
    connection->Open(QStringLiteral("Provider=sqloledb"));
    QList<TickedTable> ticked;
    for (int n = 1; n <= tables.size(); ++n)
        ticked.append({ QStringLiteral("T%1").arg(n), QStringLiteral("T%1$0").arg(n) });
    RecordingListener listener(seen);

    const FixRunCounts counts
        = RunFix({ *connection, [] { return false; }, QString(), SystemClock(), report }, ticked, listener);

    QCOMPARE(seen, shown);
    QCOMPARE(summaryLogLine(counts), shown.filter(QStringLiteral("Done: ")).value(0));
    QFile errorLog(folder.filePath(QStringLiteral("ErrorLog.txt")));
    const QString records = errorLog.open(QIODevice::ReadOnly) ? QString::fromUtf8(errorLog.readAll()) : QString();
    QStringList recorded;
    for (const QString& line : records.split(QStringLiteral("\r\n")))
        if (line.startsWith(QLatin1String("Source: ")))
            recorded.append(line.mid(8));
    QCOMPARE(recorded, sources);
    // Nothing is sent for a table after the lost connection.
    const int lostAt = static_cast<int>(tables.indexOf(QStringLiteral("lost")));
    if (lostAt >= 0)
        QVERIFY(database.executed().last().contains(QStringLiteral("'T%1'").arg(lostAt + 1)));
}

QTEST_GUILESS_MAIN(tst_FixRun)
#include "tst_fixrun.moc"
