#include "support/StandinProcess.h"
#include "support/StandinWindow.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QSet>
#include <QTest>
#include <QTreeView>
#include <memory>

using namespace quorvane::test;

namespace {

const QString kPrimaryKeyList = QStringLiteral(
    "SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From INFORMATION_SCHEMA.TABLE_CONSTRAINTS WHERE "
    "CONSTRAINT_TYPE='PRIMARY KEY' ORDER BY [CONSTRAINT_NAME]");
const QString kFullCaption = QStringLiteral("Clustered Index Fix Utility - v1.0.0  (TVL 2006)");

QString row(const QString& table)
{
    return table + QStringLiteral("$0 | ") + table + QStringLiteral(" | ") + kDatabaseName;
}

} // namespace

// The main window from start-up to the key-column view, through the FreeTDS ODBC driver against
// the stand-in.
class tst_MainEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void listHoldsEveryKeyInServerOrder();
    void databaseWithoutKeysOpensEmptyWithCaption();
    void sameNameInTwoSchemasMergesKeyColumns_data();
    void sameNameInTwoSchemasMergesKeyColumns();
    void keyColumnsInKeyOrder();
    void apostropheInNamesListsColumns();
    void fillFailureIsReportedOnce_data();
    void fillFailureIsReportedOnce();
    void unopenableConnectionEndsSilently_data();
    void unopenableConnectionEndsSilently();

private:
    // Starts a stand-in serving the fixture and the main window logged in to it.
    void startWith(const QJsonObject& fixture);
    StandinWindow& ui() { return *m_ui; }

    std::unique_ptr<StandinProcess> m_standin;
    std::unique_ptr<StandinWindow> m_ui;
};

void tst_MainEndToEnd::cleanup()
{
    m_ui.reset();
    m_standin.reset();
    QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
}

void tst_MainEndToEnd::startWith(const QJsonObject& fixture)
{
    m_standin = std::make_unique<StandinProcess>(fixture);
    QVERIFY(m_standin->started());
    m_ui = std::make_unique<StandinWindow>();
    QVERIFY(m_ui->start(m_standin->connectionString(kDatabaseName, kLoginName, kLoginPassword)));
}

void tst_MainEndToEnd::listHoldsEveryKeyInServerOrder()
{
    // Added out of order; the server's case-insensitive order puts "a$" before "B$" before "c$",
    // where a byte order would put both capitals first.
    startWith(
        databaseFixture({ keyedTable("c$Vendor", { "No_" }, { "No_" }), keyedTable("B$Customer", { "No_" }, { "No_" }),
                          keyedTable("a$Item", { "No_" }, { "No_" }) }));

    QCOMPARE(ui().rows(), (QStringList { row("a$Item"), row("B$Customer"), row("c$Vendor") }));
    QCOMPARE(ui().tickedRows(), QList<int> {});
    QCOMPARE(m_standin->sqlTexts(), QStringList { kPrimaryKeyList });
    QCOMPARE(ui().window().windowTitle(), kFullCaption);
    QCOMPARE(ui().control<QLabel>("lblKeys").text(), QString());
    QCOMPARE(ui().messages.texts, QStringList {});
}

void tst_MainEndToEnd::databaseWithoutKeysOpensEmptyWithCaption()
{
    QJsonObject heap = keyedTable("CRONUS$Heap", { "No_" }, {});
    heap.remove(QStringLiteral("primary_key"));
    startWith(databaseFixture({ heap }));

    QCOMPARE(ui().rows(), QStringList {});
    QCOMPARE(ui().control<QTreeView>("lvTables").header()->count(), 3);
    QCOMPARE(ui().window().windowTitle(), kFullCaption);
    QVERIFY(ui().window().isVisible());
    QCOMPARE(ui().messages.texts, QStringList {});
    QCOMPARE(QDir(ui().folder()).entryList(QDir::Files), QStringList {});
}

void tst_MainEndToEnd::sameNameInTwoSchemasMergesKeyColumns_data()
{
    QTest::addColumn<int>("clicked");
    QTest::newRow("first row") << 1;
    QTest::newRow("second row") << 2;
}

void tst_MainEndToEnd::sameNameInTwoSchemasMergesKeyColumns()
{
    QFETCH(int, clicked);
    startWith(databaseFixture({ keyedTable("Dup", { "A", "B" }, { "A", "B" }, "dbo"),
                                keyedTable("Dup", { "C", "D" }, { "C", "D" }, "sales") }));
    QCOMPARE(ui().rows(), (QStringList { row("Dup"), row("Dup") }));

    ui().clickRow(clicked);

    // The query does not filter on the schema: both keys' columns come back, first positions first.
    const QStringList lines = ui().fieldLines();
    QCOMPARE(lines.size(), 4);
    QCOMPARE((QSet<QString> { lines.at(0), lines.at(1) }), (QSet<QString> { "A", "C" }));
    QCOMPARE((QSet<QString> { lines.at(2), lines.at(3) }), (QSet<QString> { "B", "D" }));
    QCOMPARE(ui().errorRecords().size(), 0);
}

void tst_MainEndToEnd::keyColumnsInKeyOrder()
{
    startWith(databaseFixture({ keyedTable("CRONUS$Sales Line", { "Document Type", "Document No_", "Line No_", "Type" },
                                           { "Line No_", "Document Type", "Document No_" }),
                                keyedTable("CRONUS$Item", { "No_" }, { "No_" }) }));

    ui().clickRow(2);
    QCOMPARE(ui().fieldLines(), (QStringList { "Line No_", "Document Type", "Document No_" }));
    ui().clickRow(1);
    QCOMPARE(ui().fieldLines(), QStringList { "No_" });
    // Clicking shows the columns; it neither ticks nor counts.
    QCOMPARE(ui().tickedRows(), QList<int> {});
    QCOMPARE(ui().control<QLabel>("lblKeys").text(), QString());
    QCOMPARE(ui().errorRecords().size(), 0);
}

void tst_MainEndToEnd::apostropheInNamesListsColumns()
{
    startWith(databaseFixture({ keyedTable("Jim's Bikes$Item", { "No_", "Variant Code" }, { "No_", "Variant Code" }),
                                keyedTable("Jim's Bikes$Customer", { "No_" }, { "No_" }) }));
    QCOMPARE(ui().rows(), (QStringList { row("Jim's Bikes$Customer"), row("Jim's Bikes$Item") }));

    ui().clickRow(2);

    QCOMPARE(ui().fieldLines(), (QStringList { "No_", "Variant Code" }));
    QCOMPARE(ui().errorRecords().size(), 0);
    QCOMPARE(ui().messages.texts, QStringList {});
}

void tst_MainEndToEnd::fillFailureIsReportedOnce_data()
{
    // The stand-in answers the list as a whole or not at all, so the failure comes before the
    // first row: the error fails the statement, the disconnect cuts the connection on it.
    QTest::addColumn<QString>("faultKey");
    QTest::addColumn<QJsonValue>("faultValue");
    QTest::addColumn<QString>("number");
    QTest::newRow("statement refused") << "error"
                                       << QJsonValue(QJsonObject { { "number", 229 },
                                                                   { "class", 14 },
                                                                   { "message", "SELECT permission denied" } })
                                       << "229";
    QTest::newRow("connection lost") << "disconnect" << QJsonValue(true) << "-2147467259";
}

void tst_MainEndToEnd::fillFailureIsReportedOnce()
{
    QFETCH(QString, faultKey);
    QFETCH(QJsonValue, faultValue);
    QFETCH(QString, number);
    startWith(databaseFixture({ keyedTable("CRONUS$Item", { "No_" }, { "No_" }) },
                              { fault("primary_keys", {}, faultKey, faultValue) }));

    QCOMPARE(ui().errorSources(), QStringList { "LoadTablesIntoLV" });
    QCOMPARE(ui().errorRecords().at(0).number, number);
    QCOMPARE(ui().messages.texts,
             QStringList { "An Error has occurred, Please see the ErrorLog.txt file for details." });
    // Start-up goes on: the window opens with its caption and whatever rows were read.
    QCOMPARE(ui().rows(), QStringList {});
    QCOMPARE(ui().window().windowTitle(), kFullCaption);
    QVERIFY(ui().window().isVisible());
}

void tst_MainEndToEnd::unopenableConnectionEndsSilently_data()
{
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("password");
    QTest::newRow("server gone since the login") << false << kDatabaseName << kLoginPassword;
    QTest::newRow("password changed since the login") << true << kDatabaseName << QStringLiteral("Demo#2007");
    QTest::newRow("database gone since the login") << true << QStringLiteral("NOSUCH") << kLoginPassword;
}

void tst_MainEndToEnd::unopenableConnectionEndsSilently()
{
    QFETCH(bool, listening);
    QFETCH(QString, database);
    QFETCH(QString, password);
    m_standin = std::make_unique<StandinProcess>(databaseFixture({ keyedTable("CRONUS$Item", { "No_" }, { "No_" }) }));
    QVERIFY(m_standin->started());
    const QString connectString = m_standin->connectionString(database, kLoginName, password);
    if (!listening)
        m_standin->stop();
    m_ui = std::make_unique<StandinWindow>();

    QVERIFY(!ui().start(connectString));

    QVERIFY(!ui().window().isVisible());
    QCOMPARE(ui().messages.texts, QStringList {});
    QCOMPARE(QDir(ui().folder()).entryList(QDir::Files), QStringList {});
    QCOMPARE(ui().window().windowTitle(), QStringLiteral("Quorvane"));
    if (listening)
        QCOMPARE(m_standin->sqlTexts(), QStringList {});
}

QTEST_MAIN(tst_MainEndToEnd)
#include "tst_main_e2e.moc"
