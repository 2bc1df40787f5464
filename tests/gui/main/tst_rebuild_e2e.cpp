#include "ExpectedRun.h"
#include "support/ActivityLog.h"
#include "main/LogTextBox.h"
#include "support/StandinWindow.h"

#include <QCheckBox>
#include <QFile>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

using namespace quorvane;
using namespace quorvane::test;

namespace {

// Counts the paint events the main window gets during a run.
struct PaintsDuringRun final : QObject
{
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        counted += event->type() == QEvent::Paint && static_cast<frmMain*>(watched)->isRunInProgress() ? 1 : 0;
        return false;
    }
    int counted = 0;
};

} // namespace

// The fix run driven from the main window, through the FreeTDS ODBC driver against the stand-in;
// what reached the server is read back from the stand-in's statement log and saved catalogue.
class tst_RebuildEndToEnd : public WindowTest
{
    Q_OBJECT

private Q_SLOTS:
    void statementTextsAndClusteredResultOnEveryRun();
    void twoTickedOfFiveInListOrder_data();
    void twoTickedOfFiveInListOrder();
    void referencedKeyIsReportedAndRunGoesOn();
    void failedAddKeepsOldKey_data();
    void failedAddKeepsOldKey();
    void awkwardNamesAreRebuilt();
    void keyWithoutColumnsIsLeftAlone();
    void longStatementKeepsWindowPaintedAndDeaf();

private:
    QJsonObject state() { return ui().standin().state(); }
    // The statements the window's own connection sent after loading the list and its details.
    QStringList runStatements();
};

QStringList tst_RebuildEndToEnd::runStatements()
{
    const QJsonArray statements = ui().standin().statements();
    QStringList texts;
    for (qsizetype n = 2; n < statements.size(); ++n)
        if (statements[n][QLatin1String("connection")] == statements[0][QLatin1String("connection")])
            texts.append(statements[n][QLatin1String("sql")].toString());
    return texts;
}

void tst_RebuildEndToEnd::statementTextsAndClusteredResultOnEveryRun()
{
    // The three-column key's order is not the table's column order.
    const QStringList key { "Line No_", "Document Type", "Document No_" };
    QVERIFY(ui().startWith(databaseFixture(
        { keyedTable("CRONUS$Item", { "No_", "Description" }, { "No_" }),
          keyedTable("CRONUS$Sales Line", { "Document Type", "Document No_", "Line No_", "Type" }, key) })));
    const QStringList run = rebuildStatements("CRONUS$Item") + rebuildStatements("CRONUS$Sales Line", key);

    ui().runOn({ 1, 2 });

    // Everything the server received, on any connection: the list and its details, then two rebuilds.
    QCOMPARE(ui().standin().sqlTexts().mid(2), run);
    QCOMPARE(primaryKeyIn(state(), "CRONUS$Item"), primaryKey("CRONUS$Item$0", { "No_" }, true));
    QCOMPARE(primaryKeyIn(state(), "CRONUS$Sales Line"), primaryKey("CRONUS$Sales Line$0", key, true));

    // A second run repeats the rebuild of the same rows.
    ui().clickExecute();
    QCOMPARE(ui().standin().sqlTexts().mid(2), run + run);
    QCOMPARE(ui().control<LogTextBox>("txtLog").text(),
             tableLines({ "CRONUS$Item", "CRONUS$Sales Line" }) + summaryLine(2, 0, 0, 0));
    QCOMPARE(ui().errorLog(), QString());
}

void tst_RebuildEndToEnd::twoTickedOfFiveInListOrder_data()
{
    QTest::addColumn<bool>("logToFile");
    QTest::newRow("Log Results to a File ticked") << true;
    QTest::newRow("Log Results to a File cleared") << false;
}

void tst_RebuildEndToEnd::twoTickedOfFiveInListOrder()
{
    QFETCH(bool, logToFile);
    QVERIFY(ui().startWith(databaseFixture(numberedTables(5))));
    if (!logToFile)
        QTest::mouseClick(&ui().control<QCheckBox>("chkLog"), Qt::LeftButton);
    auto& bar = ui().control<QProgressBar>("sbStatus");
    QSignalSpy progress(&bar, &QProgressBar::valueChanged);

    ui().runOn({ 4, 2 });

    QCOMPARE(runStatements(), rebuildStatements("CRONUS$T2") + rebuildStatements("CRONUS$T4"));
    QCOMPARE(ui().control<LogTextBox>("txtLog").text(),
             tableLines({ "CRONUS$T2", "CRONUS$T4" }) + summaryLine(2, 0, 0, 0));
    QCOMPARE(bar.maximum(), 2);
    QCOMPARE(progress, (QList<QVariantList> { { 1 }, { 2 } }));
    QCOMPARE(primaryKeyIn(state(), "CRONUS$T3"), primaryKey("CRONUS$T3$0", { "No_" }, false));
    // Each activity log line's time stamp is taken just before it is written: four lines, four moments.
    QCOMPARE(QFile::exists(ui().activityLogPath()), logToFile);
    QStringList expected;
    for (int stamp = 0; logToFile && stamp < 4; stamp += 2) {
        const QString table = stamp == 0 ? "CRONUS$T2" : "CRONUS$T4";
        expected.append(activityLogLine(ui().clock.timeOfCall(stamp), "- DROP: ", dropStatement(table)));
        expected.append(activityLogLine(ui().clock.timeOfCall(stamp + 1), "- ADD: ", addStatement(table, { "No_" })));
    }
    QCOMPARE(ui().activityLogLines(), expected);
}

void tst_RebuildEndToEnd::referencedKeyIsReportedAndRunGoesOn()
{
    QJsonObject sales = keyedTable("CRONUS$Sales", { "No_", "Customer No_" }, { "No_" });
    sales.insert("foreign_keys",
                 QJsonArray { QJsonObject { { "name", "FK_Sales_Customer" },
                                            { "columns", QJsonArray { "Customer No_" } },
                                            { "references", QJsonObject { { "table", "CRONUS$Customer" } } } } });
    QVERIFY(ui().startWith(databaseFixture({ keyedTable("CRONUS$Customer"), keyedTable("CRONUS$Item"), sales })));

    ui().runOn({ 1, 2 });

    QCOMPARE(ui().errorSources(), QStringList { "CreateClusteredIndex" });
    QVERIFY(ui().errorLog().contains("\r\nNumber: 3725\r\n"));
    QCOMPARE(ui().messages.texts, QStringList { kErrorMessage });
    const QStringList log = ui().activityLogLines();
    QCOMPARE(log.size(), 3);
    QVERIFY(log.at(0).endsWith("- DROP: " + dropStatement("CRONUS$Customer")));
    QVERIFY(log.at(1).endsWith("- DROP: " + dropStatement("CRONUS$Item")));
    QVERIFY(log.at(2).endsWith("- ADD: " + addStatement("CRONUS$Item", { "No_" })));
    QCOMPARE(primaryKeyIn(state(), "CRONUS$Customer"), primaryKey("CRONUS$Customer$0", { "No_" }, false));
    QCOMPARE(primaryKeyIn(state(), "CRONUS$Item"), primaryKey("CRONUS$Item$0", { "No_" }, true));
    QCOMPARE(ui().control<LogTextBox>("txtLog").text(),
             failedLine("CRONUS$Customer") + tableLines({ "CRONUS$Item" }) + summaryLine(1, 1, 0, 0));
}

void tst_RebuildEndToEnd::failedAddKeepsOldKey_data()
{
    QTest::addColumn<QJsonObject>("fixture");
    QTest::addColumn<QString>("number"); // of the failure reported; a cut connection: the fix run's tests
    QJsonObject entries = keyedTable("CRONUS$G_L Entry", { "Entry No_", "Posting Date" }, { "Entry No_" });
    const QJsonObject duplicate { { "number", 1505 },
                                  { "message", "CREATE UNIQUE INDEX terminated because a duplicate key was found." } };
    QTest::newRow("duplicate key") << databaseFixture({ entries }, { fault("add", {}, "error", duplicate) }) << "1505";
    entries.insert("indexes",
                   QJsonArray { QJsonObject {
                       { "name", "$1" }, { "clustered", true }, { "columns", QJsonArray { "Posting Date" } } } });
    QTest::newRow("a second clustered index") << databaseFixture({ entries }) << "1902";
}

void tst_RebuildEndToEnd::failedAddKeepsOldKey()
{
    QFETCH(QJsonObject, fixture);
    QFETCH(QString, number);
    QVERIFY(ui().startWith(fixture));

    ui().runOn({ 1 });

    // The ADD was sent after a DROP that went through, and refused.
    QCOMPARE(runStatements(), rebuildStatements("CRONUS$G_L Entry", { "Entry No_" }));
    QCOMPARE(primaryKeyIn(state(), "CRONUS$G_L Entry"), primaryKey("CRONUS$G_L Entry$0", { "Entry No_" }, false));
    QCOMPARE(ui().errorSources(), QStringList { "CreateClusteredIndex" });
    QVERIFY(ui().errorLog().startsWith("Source: CreateClusteredIndex\r\nNumber: " + number + "\r\n"));
    QCOMPARE(ui().messages.texts, QStringList { kErrorMessage });
}

void tst_RebuildEndToEnd::awkwardNamesAreRebuilt()
{
    const QString table = QStringLiteral("O'Brien] Bikes$Straße 日本");
    const QStringList columns { QStringLiteral("Äpfel'ß]"), QStringLiteral("[No_]"), QStringLiteral("Ωmega") };
    const QStringList key { columns.at(2), columns.at(0), columns.at(1) };
    QVERIFY(ui().startWith(databaseFixture({ keyedTable(table, columns, key) })));

    ui().runOn({ 1 });

    QCOMPARE(runStatements(), rebuildStatements(table, key));
    QCOMPARE(primaryKeyIn(state(), table), primaryKey(table + "$0", key, true));
    QCOMPARE(ui().control<LogTextBox>("txtLog").text(), tableLines({ table }) + summaryLine(1, 0, 0, 0));
    QCOMPARE(ui().errorLog(), QString());
}

void tst_RebuildEndToEnd::keyWithoutColumnsIsLeftAlone()
{
    QVERIFY(ui().startWith(databaseFixture({ keyedTable("CRONUS$Item") })));
    // The key goes after the list was loaded, as after an earlier run whose ADD failed.
    const auto other = db::odbcConnectionFactory()();
    other->Open(ui().standin().connectionString(kDatabaseName, kLoginName, kLoginPassword));
    other->Execute(dropStatement("CRONUS$Item"));

    ui().runOn({ 1 });

    QCOMPARE(runStatements(), QStringList { keyQuery("CRONUS$Item") });
    QVERIFY(!QFile::exists(ui().activityLogPath()));
    QCOMPARE(ui().errorLog(), QString());
    QCOMPARE(ui().messages.texts, QStringList {});
    QCOMPARE(ui().control<LogTextBox>("txtLog").text(),
             tableLines({ "CRONUS$Item" }) + summaryLine(0, 0, 1, 0)); // skipped
}

void tst_RebuildEndToEnd::longStatementKeepsWindowPaintedAndDeaf()
{
    QVERIFY(ui().startWith(databaseFixture(numberedTables(5), { fault("drop", "CRONUS$T1", "delay_ms", 1500) })));
    auto& chkAll = ui().control<QCheckBox>("chkAll");
    frmMain& window = ui().window();
    const auto clickSelectAll = [&] {
        // The way the window system delivers a click: to the window, at the box's middle.
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, chkAll.mapTo(&window, chkAll.rect().center()));
    };

    // While the run waits on the server, a timer keeps asking the window to repaint, and once
    // clicks "Select All Tables" and tries to close the window; the paints during the run are counted.
    QList<bool> closed;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&] {
        if (!window.isRunInProgress())
            return;
        window.update();
        if (closed.isEmpty()) {
            clickSelectAll();
            closed.append(window.close());
        }
    });
    PaintsDuringRun paints;
    window.installEventFilter(&paints);
    timer.start(10);

    ui().runOn({ 1, 3 });

    QCOMPARE(closed, QList<bool> { false });
    QVERIFY(paints.counted > 0);
    QCOMPARE(ui().tickedRows(), (QList<int> { 1, 3 }));
    QCOMPARE(runStatements(), rebuildStatements("CRONUS$T1") + rebuildStatements("CRONUS$T3"));
    // The same click after the run does reach the box.
    clickSelectAll();
    QCOMPARE(ui().tickedRows(), (QList<int> { 1, 2, 3, 4, 5 }));
}

QTEST_MAIN(tst_RebuildEndToEnd)
#include "tst_rebuild_e2e.moc"
