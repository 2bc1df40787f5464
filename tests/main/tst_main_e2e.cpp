#include "main/KeyDetailsQuery.h"
#include "support/StandinWindow.h"

#include <QDir>
#include <QHeaderView>
#include <QSet>
#include <QTest>
#include <QTreeView>

using namespace quorvane::test;

namespace {

const QString kFullCaption = QStringLiteral("Clustered Index Fix Utility - v1.0.0  (TVL 2006)");

QString row(const QString& table)
{
    return table + QStringLiteral("$0 | ") + table + QStringLiteral(" | ") + kDatabaseName;
}

} // namespace

// The main window from start-up to the key-column view, through the FreeTDS ODBC driver against
// the stand-in.
class tst_MainEndToEnd : public WindowTest
{
    Q_OBJECT

private Q_SLOTS:
    void listHoldsEveryKeyInServerOrder();
    void opensWithoutRows_data();
    void opensWithoutRows();
    void sameNameInTwoSchemasMergesKeyColumns_data();
    void sameNameInTwoSchemasMergesKeyColumns();
    void clickListsKeyColumnsInKeyOrder_data();
    void clickListsKeyColumnsInKeyOrder();
    void startupEndsSilently_data();
    void startupEndsSilently();
};

void tst_MainEndToEnd::listHoldsEveryKeyInServerOrder()
{
    // Added out of order; the server's case-insensitive order puts "a$" before "B$" before "c$",
    // where a byte order would put both capitals first.
    QVERIFY(
        ui().startWith(databaseFixture({ keyedTable("c$Vendor"), keyedTable("B$Customer"), keyedTable("a$Item") })));

    QCOMPARE(ui().rows(), (QStringList { row("a$Item"), row("B$Customer"), row("c$Vendor") }));
    QCOMPARE(ui().standin().sqlTexts(),
             (QStringList { "SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From "
                            "INFORMATION_SCHEMA.TABLE_CONSTRAINTS WHERE CONSTRAINT_TYPE='PRIMARY KEY' ORDER BY "
                            "[CONSTRAINT_NAME]",
                            QString::fromLatin1(quorvane::kKeyDetailsQuery) }));
    QCOMPARE(ui().window().windowTitle(), kFullCaption);
    QCOMPARE(ui().messages.texts, QStringList {});
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
    QVERIFY(ui().startWith(databaseFixture({ keyedTable("Dup", { "A", "B" }, { "A", "B" }, "dbo"),
                                             keyedTable("Dup", { "C", "D" }, { "C", "D" }, "sales") })));
    QCOMPARE(ui().rows(), (QStringList { row("Dup"), row("Dup") }));

    ui().clickRow(clicked);

    // The query does not filter on the schema: both keys' columns come back, first positions first.
    const QStringList lines = ui().fieldLines();
    QCOMPARE(lines.size(), 4);
    QCOMPARE((QSet<QString> { lines.at(0), lines.at(1) }), (QSet<QString> { "A", "C" }));
    QCOMPARE((QSet<QString> { lines.at(2), lines.at(3) }), (QSet<QString> { "B", "D" }));
    QCOMPARE(ui().errorLog(), QString());
}

void tst_MainEndToEnd::clickListsKeyColumnsInKeyOrder_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QStringList>("key");
    QTest::newRow("three columns, key order unlike the table's")
        << "CRONUS$Sales Line" << QStringList { "Document Type", "Document No_", "Line No_", "Type" }
        << QStringList { "Line No_", "Document Type", "Document No_" };
    QTest::newRow("apostrophe in the names")
        << "Jim's Bikes$Item" << QStringList { "No_", "Variant Code" } << QStringList { "No_", "Variant Code" };
}

void tst_MainEndToEnd::clickListsKeyColumnsInKeyOrder()
{
    QFETCH(QString, table);
    QFETCH(QStringList, columns);
    QFETCH(QStringList, key);
    QVERIFY(ui().startWith(databaseFixture({ keyedTable(table, columns, key), keyedTable("A$Item") })));

    ui().clickRow(2);
    QCOMPARE(ui().fieldLines(), key);
    ui().clickRow(1);
    QCOMPARE(ui().fieldLines(), QStringList { "No_" });
    QCOMPARE(ui().errorLog(), QString());
}

void tst_MainEndToEnd::opensWithoutRows_data()
{
    // The stand-in answers the list as a whole or not at all, so a failure comes before the first
    // row: the error fails the statement, the disconnect cuts the connection on it.
    QTest::addColumn<QJsonObject>("fixture");
    QTest::addColumn<QString>("number"); // of the one failure reported, if any
    QJsonObject heap = keyedTable("CRONUS$Item");
    heap.remove(QStringLiteral("primary_key"));
    const QJsonObject refused { { "number", 229 }, { "class", 14 }, { "message", "SELECT permission denied" } };
    QTest::newRow("database without primary keys") << databaseFixture({ heap }) << "";
    QTest::newRow("list statement refused")
        << databaseFixture({ keyedTable("CRONUS$Item") }, { fault("primary_keys", {}, "error", refused) }) << "229";
    QTest::newRow("connection lost on the list")
        << databaseFixture({ keyedTable("CRONUS$Item") }, { fault("primary_keys", {}, "disconnect", true) })
        << "-2147467259";
}

void tst_MainEndToEnd::opensWithoutRows()
{
    QFETCH(QJsonObject, fixture);
    QFETCH(QString, number);
    QVERIFY(ui().startWith(fixture));

    // Start-up goes on: the window opens with its caption and its three columns.
    QCOMPARE(ui().rows(), QStringList {});
    QCOMPARE(ui().control<QTreeView>("lvTables").header()->count(), 3);
    QCOMPARE(ui().window().windowTitle(), kFullCaption);
    if (number.isEmpty()) {
        QCOMPARE(ui().messages.texts, QStringList {});
        QCOMPARE(QDir(ui().folder()).entryList(QDir::Files), QStringList {});
        return;
    }
    QCOMPARE(ui().errorSources(), QStringList { "LoadTablesIntoLV" });
    QVERIFY(ui().errorLog().contains(QStringLiteral("\r\nNumber: ") + number + QStringLiteral("\r\n")));
    QCOMPARE(ui().messages.texts,
             QStringList { "An Error has occurred, Please see the ErrorLog.txt file for details." });
}

void tst_MainEndToEnd::startupEndsSilently_data()
{
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("password"); // empty: the login window was closed without connecting
    QTest::newRow("login abandoned") << true << kDatabaseName << QString();
    QTest::newRow("server gone since the login") << false << kDatabaseName << kLoginPassword;
    QTest::newRow("password changed since the login") << true << kDatabaseName << QStringLiteral("Demo#2007");
    QTest::newRow("database gone since the login") << true << QStringLiteral("NOSUCH") << kLoginPassword;
}

void tst_MainEndToEnd::startupEndsSilently()
{
    QFETCH(bool, listening);
    QFETCH(QString, database);
    QFETCH(QString, password);
    StandinProcess standin(databaseFixture({ keyedTable("CRONUS$Item") }));
    QVERIFY(standin.started());
    const QString connectString
        = password.isEmpty() ? QString() : standin.connectionString(database, kLoginName, password);
    if (!listening)
        standin.stop();

    QVERIFY(!ui().start(connectString));

    QVERIFY(!ui().window().isVisible());
    QCOMPARE(ui().messages.texts, QStringList {});
    QCOMPARE(QDir(ui().folder()).entryList(QDir::Files), QStringList {});
    QVERIFY(ui().window().strLogFile.endsWith(QStringLiteral("QuorvaneLog.txt")));
    if (listening)
        QCOMPARE(standin.sqlTexts(), QStringList {});
}

QTEST_MAIN(tst_MainEndToEnd)
#include "tst_main_e2e.moc"
