#include "keys/KeyDetailsQuery.h"
#include "support/StandinWindow.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QJsonDocument>
#include <QLabel>
#include <QProgressBar>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <algorithm>

using namespace quorvane::test;

namespace {

const QString kFullCaption = QStringLiteral("Clustered Index Fix Utility - v1.0.0  (TVL 2006)");

QString row(const QString& table)
{
    return table + QStringLiteral("$0 | ") + table + QStringLiteral(" | ") + kDatabaseName;
}

const QString kReadingKeysTitle = QStringLiteral("Reading primary keys");

// The window that shows the keys read while start-up reads the list, if it exists.
QWidget* readingKeysWindow()
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->windowTitle() == kReadingKeysTitle)
            return window;
    return nullptr;
}

// The visible windows, by title.
QStringList visibleWindows()
{
    QStringList titles;
    for (const QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible())
            titles.append(window->windowTitle());
    return titles;
}

// Notes the number a "Keys read: N" label shows each time it is painted, that is, what the user sees.
struct CountsAtPaint final : QObject
{
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            counts.append(static_cast<QLabel*>(watched)->text().section(QLatin1Char(' '), -1).toInt());
        return false;
    }
    QList<int> counts;
};

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
    void sameNameInTwoSchemasMergesKeyColumns();
    void clickListsKeyColumnsInKeyOrder_data();
    void clickListsKeyColumnsInKeyOrder();
    void startupEndsSilently_data();
    void startupEndsSilently();
    void readingKeysWindowCountsUntilMainWindowShows();
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

void tst_MainEndToEnd::sameNameInTwoSchemasMergesKeyColumns()
{
    QVERIFY(ui().startWith(databaseFixture({ keyedTable("Dup", { "A", "B" }, { "A", "B" }, "dbo"),
                                             keyedTable("Dup", { "C", "D" }, { "C", "D" }, "sales") })));
    QCOMPARE(ui().rows(), (QStringList { row("Dup"), row("Dup") }));

    // Either row names the same constraint and table, so either click sends the same query.
    ui().clickRow(2);

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

    QCOMPARE(visibleWindows(), QStringList {});
    QCOMPARE(ui().messages.texts, QStringList {});
    QCOMPARE(QDir(ui().folder()).entryList(QDir::Files), QStringList {});
    QVERIFY(ui().window().activityLogFile().endsWith(QStringLiteral("QuorvaneLog.txt")));
    if (listening)
        QCOMPARE(standin.sqlTexts(), QStringList {});
}

// A large database whose server waits before it answers the list: from the login to the filled
// main window the user sees which server and database are read, a busy bar and a growing count.
void tst_MainEndToEnd::readingKeysWindowCountsUntilMainWindowShows()
{
    constexpr int kCompanies = 20;
    constexpr int kTablesEach = 2000;
    const QTemporaryDir folder;
    QFile generated(StandinProcess::generatedFixture(folder.path(), kCompanies, kTablesEach));
    QVERIFY(generated.open(QIODevice::ReadOnly));
    QJsonObject fixture = QJsonDocument::fromJson(generated.readAll()).object();
    fixture.insert("faults", QJsonArray { fault("primary_keys", {}, "delay_ms", 1500) });
    QFile delayed(folder.filePath(QStringLiteral("delayed.json")));
    QVERIFY(delayed.open(QIODevice::WriteOnly));
    delayed.write(QJsonDocument(fixture).toJson(QJsonDocument::Compact));
    delayed.close();
    StandinProcess standin(delayed.fileName(), StandinProcess::Observation::Unrecorded);
    QVERIFY(standin.started());

    // Looked at while start-up waits on the server, as often as it lets the events through.
    QStringList shown; // server | database | busy bar running, while the window is visible
    CountsAtPaint paints;
    QTimer look;
    connect(&look, &QTimer::timeout, this, [&] {
        QWidget* window = readingKeysWindow();
        if (!window || !window->isVisible())
            return;
        if (shown.isEmpty())
            window->findChild<QLabel*>("lblCount")->installEventFilter(&paints);
        const auto* bar = window->findChild<QProgressBar*>("sbBusy");
        shown.append(window->findChild<QLabel*>("lblServer")->text() + " | "
                     + window->findChild<QLabel*>("lblDatabase")->text() + " | "
                     + (bar->isVisible() && bar->minimum() == 0 && bar->maximum() == 0 ? "busy" : "idle"));
    });
    look.start(5);

    QVERIFY(ui().start(standin.connectionString(kDatabaseName, kLoginName, kLoginPassword)));
    look.stop();

    QVERIFY(ui().window().isVisible());
    QCOMPARE(readingKeysWindow(), nullptr);
    QCOMPARE(ui().rows().size(), kCompanies * kTablesEach);
    QVERIFY(shown.size() > 1);
    QCOMPARE(shown.first(), standin.dataSource() + " | CRONUS | busy");
    QCOMPARE(shown.count(shown.first()), shown.size());
    // Nothing yet while the server holds the answer back; then more and more as rows arrive.
    QVERIFY2(paints.counts.size() > 1, qPrintable(QString::number(paints.counts.size())));
    QCOMPARE(paints.counts.first(), 0);
    QVERIFY(std::is_sorted(paints.counts.begin(), paints.counts.end()));
    QVERIFY(paints.counts.last() > 0);
    QVERIFY(paints.counts.last() <= kCompanies * kTablesEach);
    QCOMPARE(ui().messages.texts, QStringList {});
}

QTEST_MAIN(tst_MainEndToEnd)
#include "tst_main_e2e.moc"
