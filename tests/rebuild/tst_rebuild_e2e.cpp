#include "db/OdbcConnection.h"
#include "log/ActivityLog.h"
#include "main/LogTextBox.h"
#include "support/StandinProcess.h"
#include "support/StandinWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <memory>

using namespace quorvane;
using namespace quorvane::test;

namespace {

const QString kPrimaryKeyList = QStringLiteral(
    "SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From INFORMATION_SCHEMA.TABLE_CONSTRAINTS WHERE "
    "CONSTRAINT_TYPE='PRIMARY KEY' ORDER BY [CONSTRAINT_NAME]");
const QString kErrorMessage = QStringLiteral("An Error has occurred, Please see the ErrorLog.txt file for details.");

QString bracketed(QString name)
{
    return QLatin1Char('[') + name.replace(QLatin1Char(']'), QLatin1String("]]")) + QLatin1Char(']');
}

QString quoted(QString text)
{
    return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QLatin1String("''")) + QLatin1Char('\'');
}

// The three statements of one rebuild, written out in full.
QString keyQuery(const QString& table)
{
    return QStringLiteral("SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU WHERE "
                          "isKCU.CONSTRAINT_NAME = %1 AND isKCU.TABLE_NAME = %2 ORDER BY isKCU.ORDINAL_POSITION")
        .arg(quoted(table + QStringLiteral("$0")), quoted(table));
}

QString dropStatement(const QString& table)
{
    return QStringLiteral("ALTER TABLE dbo.%1 DROP CONSTRAINT %2")
        .arg(bracketed(table), bracketed(table + QStringLiteral("$0")));
}

QString addStatement(const QString& table, const QStringList& columns)
{
    QStringList list;
    for (const QString& column : columns)
        list.append(bracketed(column));
    return QStringLiteral("ALTER TABLE dbo.%1 ADD CONSTRAINT %2 PRIMARY KEY CLUSTERED  (%3) ON [PRIMARY]")
        .arg(bracketed(table), bracketed(table + QStringLiteral("$0")), list.join(QLatin1Char(',')));
}

QStringList rebuildStatements(const QString& table, const QStringList& columns)
{
    return { keyQuery(table), dropStatement(table), addStatement(table, columns) };
}

QJsonObject referencing(QJsonObject table, const QString& foreignKey, const QString& column, const QString& referenced)
{
    table.insert(QStringLiteral("foreign_keys"),
                 QJsonArray { QJsonObject { { "name", foreignKey },
                                            { "columns", QJsonArray { column } },
                                            { "references", QJsonObject { { "table", referenced } } } } });
    return table;
}

QJsonObject withClusteredIndex(QJsonObject table, const QString& column)
{
    table.insert(
        QStringLiteral("indexes"),
        QJsonArray { QJsonObject { { "name", "$1" }, { "clustered", true }, { "columns", QJsonArray { column } } } });
    return table;
}

// Counts the paint events a widget gets while a condition holds.
class PaintCounter final : public QObject
{
public:
    explicit PaintCounter(std::function<bool()> counting)
        : m_counting(std::move(counting))
    { }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && m_counting())
            ++counted;
        return false;
    }

    int counted = 0;

private:
    std::function<bool()> m_counting;
};

// Five one-column tables T1 .. T5, listed in that order.
QJsonArray fiveTables()
{
    QJsonArray tables;
    for (int n = 1; n <= 5; ++n)
        tables.append(keyedTable(QStringLiteral("CRONUS$T%1").arg(n), { "No_", "Name" }, { "No_" }));
    return tables;
}

} // namespace

// The fix run driven from the main window, through the FreeTDS ODBC driver against the stand-in;
// what reached the server is read back from the stand-in's statement log and saved catalogue.
class tst_RebuildEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void statementTextsAndClusteredResult();
    void twoTickedOfFiveInListOrder();
    void referencedKeyIsReportedAndRunGoesOn();
    void failedAddKeepsOldKey_data();
    void failedAddKeepsOldKey();
    void connectionCutBetweenDropAndAddKeepsOldKey();
    void awkwardNamesAreRebuilt();
    void activityLogFile_data();
    void activityLogFile();
    void keyWithoutColumnsIsLeftAlone();
    void secondRunRepeatsTheRebuild();
    void longStatementKeepsWindowPaintedAndDeaf();

private:
    void startWith(const QJsonObject& fixture);
    StandinWindow& ui() { return *m_ui; }
    // The statements the window's own connection sent after loading the list, transaction
    // control left aside.
    QStringList runStatements() const;

    std::unique_ptr<StandinProcess> m_standin;
    std::unique_ptr<StandinWindow> m_ui;
};

void tst_RebuildEndToEnd::cleanup()
{
    m_ui.reset();
    m_standin.reset();
    QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
}

void tst_RebuildEndToEnd::startWith(const QJsonObject& fixture)
{
    m_standin = std::make_unique<StandinProcess>(fixture);
    QVERIFY(m_standin->started());
    m_ui = std::make_unique<StandinWindow>();
    QVERIFY(m_ui->start(m_standin->connectionString(kDatabaseName, kLoginName, kLoginPassword)));
}

QStringList tst_RebuildEndToEnd::runStatements() const
{
    const QJsonArray statements = m_standin->statements();
    if (statements.isEmpty())
        return {};
    const QJsonValue window = statements.first().toObject().value(QLatin1String("connection"));
    QStringList texts;
    for (qsizetype n = 1; n < statements.size(); ++n) {
        const QJsonObject statement = statements.at(n).toObject();
        if (statement.value(QLatin1String("connection")) == window)
            texts.append(statement.value(QLatin1String("sql")).toString());
    }
    return texts;
}

void tst_RebuildEndToEnd::statementTextsAndClusteredResult()
{
    // The three-column key's order is not the table's column order.
    startWith(databaseFixture({ keyedTable("CRONUS$Item", { "No_", "Description" }, { "No_" }),
                                keyedTable("CRONUS$Sales Line", { "Document Type", "Document No_", "Line No_", "Type" },
                                           { "Line No_", "Document Type", "Document No_" }) }));
    ui().tickRow(1);
    ui().tickRow(2);

    ui().clickExecute();

    // Everything the server received, on any connection: the list, then two rebuilds.
    QCOMPARE(m_standin->sqlTexts(),
             QStringList { kPrimaryKeyList } + rebuildStatements("CRONUS$Item", { "No_" })
                 + rebuildStatements("CRONUS$Sales Line", { "Line No_", "Document Type", "Document No_" }));
    const QJsonObject state = m_standin->state();
    QCOMPARE(primaryKeyIn(state, "CRONUS$Item"), primaryKey("CRONUS$Item$0", { "No_" }, true));
    QCOMPARE(primaryKeyIn(state, "CRONUS$Sales Line"),
             primaryKey("CRONUS$Sales Line$0", { "Line No_", "Document Type", "Document No_" }, true));
    QCOMPARE(ui().errorRecords().size(), 0);
    QCOMPARE(ui().messages.texts, QStringList {});
}

void tst_RebuildEndToEnd::twoTickedOfFiveInListOrder()
{
    startWith(databaseFixture(fiveTables()));
    ui().tickRow(4);
    ui().tickRow(2);
    auto& bar = ui().control<QProgressBar>("sbStatus");
    QSignalSpy progress(&bar, &QProgressBar::valueChanged);

    ui().clickExecute();

    QCOMPARE(runStatements(), rebuildStatements("CRONUS$T2", { "No_" }) + rebuildStatements("CRONUS$T4", { "No_" }));
    QCOMPARE(ui().control<LogTextBox>("txtLog").text(),
             QStringLiteral("CRONUS$T2\tCRONUS$T2$0\r\nCRONUS$T4\tCRONUS$T4$0\r\n"));
    QCOMPARE(bar.maximum(), 2);
    QCOMPARE(progress.size(), 2);
    QCOMPARE(progress.at(0).at(0).toInt(), 1);
    QCOMPARE(progress.at(1).at(0).toInt(), 2);
    const QJsonObject state = m_standin->state();
    for (int n = 1; n <= 5; ++n) {
        const QString table = QStringLiteral("CRONUS$T%1").arg(n);
        QCOMPARE(primaryKeyIn(state, table), primaryKey(table + QStringLiteral("$0"), { "No_" }, n == 2 || n == 4));
    }
    // The run leaves the list and its ticks as they were.
    QCOMPARE(ui().tickedRows(), (QList<int> { 2, 4 }));
    QCOMPARE(ui().rows().size(), 5);
}

void tst_RebuildEndToEnd::referencedKeyIsReportedAndRunGoesOn()
{
    startWith(databaseFixture({ keyedTable("CRONUS$Customer", { "No_" }, { "No_" }),
                                keyedTable("CRONUS$Item", { "No_" }, { "No_" }),
                                referencing(keyedTable("CRONUS$Sales", { "No_", "Customer No_" }, { "No_" }),
                                            "FK_Sales_Customer", "Customer No_", "CRONUS$Customer") }));
    ui().tickRow(1);
    ui().tickRow(2);

    ui().clickExecute();

    const QList<ErrorRecord> records = ui().errorRecords();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.at(0).source, QStringLiteral("CreateClusteredIndex"));
    QCOMPARE(records.at(0).number, QStringLiteral("3725"));
    QVERIFY2(records.at(0).description.contains(QLatin1String("FK_Sales_Customer")),
             qPrintable(records.at(0).description));
    QCOMPARE(ui().messages.texts, QStringList { kErrorMessage });

    const QStringList log = ui().activityLogLines();
    QCOMPARE(log.size(), 3);
    QVERIFY(log.at(0).endsWith(QStringLiteral("- DROP: ") + dropStatement("CRONUS$Customer")));
    QVERIFY(log.at(1).endsWith(QStringLiteral("- DROP: ") + dropStatement("CRONUS$Item")));
    QVERIFY(log.at(2).endsWith(QStringLiteral("- ADD: ") + addStatement("CRONUS$Item", { "No_" })));

    const QJsonObject state = m_standin->state();
    QCOMPARE(primaryKeyIn(state, "CRONUS$Customer"), primaryKey("CRONUS$Customer$0", { "No_" }, false));
    QCOMPARE(primaryKeyIn(state, "CRONUS$Item"), primaryKey("CRONUS$Item$0", { "No_" }, true));
    QCOMPARE(ui().control<LogTextBox>("txtLog").text(),
             QStringLiteral("CRONUS$Customer\tCRONUS$Customer$0\r\nCRONUS$Item\tCRONUS$Item$0\r\n"));
}

void tst_RebuildEndToEnd::failedAddKeepsOldKey_data()
{
    QTest::addColumn<QJsonObject>("fixture");
    QTest::addColumn<QString>("number");
    const QJsonObject item = keyedTable("CRONUS$Item", { "No_" }, { "No_" });
    const QJsonObject entries = keyedTable("CRONUS$G_L Entry", { "Entry No_", "Posting Date" }, { "Entry No_" });
    QTest::newRow("a second clustered index")
        << databaseFixture({ withClusteredIndex(entries, "Posting Date"), item }) << "1902";
    QTest::newRow("duplicate key") << databaseFixture(
        { entries, item },
        { fault("add", "CRONUS$G_L Entry", "error",
                QJsonObject { { "number", 1505 },
                              { "message", "CREATE UNIQUE INDEX terminated because a duplicate key was found." } }) })
                                   << "1505";
}

void tst_RebuildEndToEnd::failedAddKeepsOldKey()
{
    QFETCH(QJsonObject, fixture);
    QFETCH(QString, number);
    startWith(fixture);
    QVERIFY(ui().rows().first().startsWith(QStringLiteral("CRONUS$G_L Entry$0 | ")));
    ui().tickRow(1);
    ui().tickRow(2);

    ui().clickExecute();

    // The ADD was sent after a DROP that went through, and refused; the next row is rebuilt.
    QCOMPARE(runStatements(),
             rebuildStatements("CRONUS$G_L Entry", { "Entry No_" }) + rebuildStatements("CRONUS$Item", { "No_" }));
    const QJsonObject state = m_standin->state();
    QCOMPARE(primaryKeyIn(state, "CRONUS$G_L Entry"), primaryKey("CRONUS$G_L Entry$0", { "Entry No_" }, false));
    QCOMPARE(primaryKeyIn(state, "CRONUS$Item"), primaryKey("CRONUS$Item$0", { "No_" }, true));
    QCOMPARE(ui().errorSources(), QStringList { "CreateClusteredIndex" });
    QCOMPARE(ui().errorRecords().at(0).number, number);
    QCOMPARE(ui().messages.texts, QStringList { kErrorMessage });

    // The connection is still usable: clicking the row shows its key as it stands.
    ui().clickRow(1);
    QCOMPARE(ui().fieldLines(), QStringList { "Entry No_" });
}

void tst_RebuildEndToEnd::connectionCutBetweenDropAndAddKeepsOldKey()
{
    startWith(databaseFixture({ keyedTable("CRONUS$Item", { "No_", "Variant Code" }, { "No_", "Variant Code" }) },
                              { fault("add", "CRONUS$Item", "disconnect", true) }));
    ui().tickRow(1);

    ui().clickExecute();

    QCOMPARE(runStatements(), rebuildStatements("CRONUS$Item", { "No_", "Variant Code" }));
    QCOMPARE(primaryKeyIn(m_standin->state(), "CRONUS$Item"),
             primaryKey("CRONUS$Item$0", { "No_", "Variant Code" }, false));
    QCOMPARE(ui().errorSources(), QStringList { "CreateClusteredIndex" });
    QCOMPARE(ui().messages.texts, QStringList { kErrorMessage });
    QCOMPARE(ui().control<LogTextBox>("txtLog").text(), QStringLiteral("CRONUS$Item\tCRONUS$Item$0\r\n"));
}

void tst_RebuildEndToEnd::awkwardNamesAreRebuilt()
{
    const QString table = QStringLiteral("O'Brien] Bikes$Straße 日本");
    const QStringList columns { QStringLiteral("Äpfel'ß]"), QStringLiteral("[No_]"), QStringLiteral("Ωmega") };
    const QStringList key { columns.at(2), columns.at(0), columns.at(1) };
    startWith(databaseFixture({ keyedTable(table, columns, key) }));
    ui().tickRow(1);

    ui().clickExecute();

    QCOMPARE(runStatements(), rebuildStatements(table, key));
    QCOMPARE(primaryKeyIn(m_standin->state(), table), primaryKey(table + QStringLiteral("$0"), key, true));
    QCOMPARE(ui().control<LogTextBox>("txtLog").text(), table + QLatin1Char('\t') + table + QStringLiteral("$0\r\n"));
    QCOMPARE(ui().errorRecords().size(), 0);
    QCOMPARE(ui().messages.texts, QStringList {});
}

void tst_RebuildEndToEnd::activityLogFile_data()
{
    QTest::addColumn<bool>("logToFile");
    QTest::newRow("Log Results to a File cleared") << false;
    QTest::newRow("Log Results to a File ticked") << true;
}

void tst_RebuildEndToEnd::activityLogFile()
{
    QFETCH(bool, logToFile);
    startWith(databaseFixture(fiveTables()));
    const QByteArray earlier = QByteArrayLiteral("an earlier run's line\r\n");
    {
        QFile file(ui().activityLogPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(earlier);
    }
    if (!logToFile)
        QTest::mouseClick(&ui().control<QCheckBox>("chkLog"), Qt::LeftButton);
    QCOMPARE(ui().control<QCheckBox>("chkLog").isChecked(), logToFile);
    ui().tickRow(1);
    ui().tickRow(3);

    ui().clickExecute();

    // The statements go to the server either way.
    QCOMPARE(runStatements(), rebuildStatements("CRONUS$T1", { "No_" }) + rebuildStatements("CRONUS$T3", { "No_" }));
    QFile file(ui().activityLogPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    if (!logToFile) {
        QCOMPARE(file.readAll(), earlier);
        return;
    }
    // Each line's time stamp is taken just before it is written: four lines, four moments.
    QStringList expected { QStringLiteral("an earlier run's line") };
    int stamp = 0;
    for (const QString& table : { QStringLiteral("CRONUS$T1"), QStringLiteral("CRONUS$T3") }) {
        expected.append(activityLogLine(ui().clock.timeOfCall(stamp++), "- DROP: ", dropStatement(table)));
        expected.append(activityLogLine(ui().clock.timeOfCall(stamp++), "- ADD: ", addStatement(table, { "No_" })));
    }
    QCOMPARE(ui().activityLogLines(), expected);
}

void tst_RebuildEndToEnd::keyWithoutColumnsIsLeftAlone()
{
    startWith(databaseFixture({ keyedTable("CRONUS$Item", { "No_" }, { "No_" }) }));
    // The key goes after the list was loaded, as after an earlier run whose ADD failed.
    {
        const auto other = db::odbcConnectionFactory()();
        other->Open(m_standin->connectionString(kDatabaseName, kLoginName, kLoginPassword));
        other->Execute(dropStatement("CRONUS$Item"));
    }
    QCOMPARE(primaryKeyIn(m_standin->state(), "CRONUS$Item"), std::nullopt);
    ui().tickRow(1);

    ui().clickExecute();

    QCOMPARE(runStatements(), QStringList { keyQuery("CRONUS$Item") });
    QVERIFY(!QFile::exists(ui().activityLogPath()));
    QCOMPARE(ui().errorRecords().size(), 0);
    QCOMPARE(ui().messages.texts, QStringList {});
    // The run still counts the row.
    QCOMPARE(ui().control<LogTextBox>("txtLog").text(), QStringLiteral("CRONUS$Item\tCRONUS$Item$0\r\n"));
    QCOMPARE(ui().control<QProgressBar>("sbStatus").value(), 1);
}

void tst_RebuildEndToEnd::secondRunRepeatsTheRebuild()
{
    startWith(databaseFixture(fiveTables()));
    ui().tickRow(5);

    ui().clickExecute();
    ui().clickExecute();

    QCOMPARE(runStatements(), rebuildStatements("CRONUS$T5", { "No_" }) + rebuildStatements("CRONUS$T5", { "No_" }));
    QCOMPARE(primaryKeyIn(m_standin->state(), "CRONUS$T5"), primaryKey("CRONUS$T5$0", { "No_" }, true));
    QCOMPARE(ui().control<LogTextBox>("txtLog").text(), QStringLiteral("CRONUS$T5\tCRONUS$T5$0\r\n"));
    QCOMPARE(ui().activityLogLines().size(), 4);
    QCOMPARE(ui().errorRecords().size(), 0);
}

void tst_RebuildEndToEnd::longStatementKeepsWindowPaintedAndDeaf()
{
    startWith(databaseFixture(fiveTables(), { fault("drop", "CRONUS$T1", "delay_ms", 1500) }));
    ui().tickRow(1);
    ui().tickRow(3);
    auto& chkAll = ui().control<QCheckBox>("chkAll");
    frmMain& window = ui().window();

    // While the run waits on the server, a timer keeps asking the window to repaint and clicks
    // "Select All Tables" once, the way the window system delivers a click; the paints that
    // arrive during the run are counted.
    bool clicked = false;
    QTimer timer;
    timer.setInterval(10);
    connect(&timer, &QTimer::timeout, this, [&] {
        if (!window.isRunInProgress())
            return;
        window.update();
        if (!clicked) {
            clicked = true;
            QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, chkAll.mapTo(&window, chkAll.rect().center()));
        }
    });
    PaintCounter paints([&] { return window.isRunInProgress(); });
    window.installEventFilter(&paints);
    timer.start();

    ui().clickExecute();

    timer.stop();
    window.removeEventFilter(&paints);
    QVERIFY(clicked);
    QVERIFY(paints.counted > 0);
    QVERIFY(!chkAll.isChecked());
    QCOMPARE(ui().tickedRows(), (QList<int> { 1, 3 }));
    QCOMPARE(ui().control<QLabel>("lblKeys").text(), QStringLiteral("Selected Keys: 2"));
    QCOMPARE(runStatements(), rebuildStatements("CRONUS$T1", { "No_" }) + rebuildStatements("CRONUS$T3", { "No_" }));

    // The same click after the run does reach the box.
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, chkAll.mapTo(&window, chkAll.rect().center()));
    QVERIFY(chkAll.isChecked());
    QCOMPARE(ui().tickedRows(), (QList<int> { 1, 2, 3, 4, 5 }));
}

QTEST_MAIN(tst_RebuildEndToEnd)
#include "tst_rebuild_e2e.moc"
