#include "keys/KeyDetails.h"
#include "keys/KeyListModel.h"
#include "main/KeyListDelegate.h"
#include "support/StandinWindow.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QJsonDocument>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <algorithm>

using namespace quorvane;
using namespace quorvane::test;

namespace {

const QString kCaption = QStringLiteral("Clustered Index Fix Utility - v1.0.0  (TVL 2006)");
const QString kErrorMessage = QStringLiteral("An Error has occurred, Please see the ErrorLog.txt file for details.");

// Notes what the window that shows while start-up reads the list looks like each time a part of
// it is painted: the count of keys read, and server | database | whether the busy bar runs.
struct ReadingKeysPaints final : QObject
{
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* window = qobject_cast<QWidget*>(watched);
        if (event->type() != QEvent::Paint || !window || window->window()->windowTitle() != "Reading primary keys")
            return false;
        window = window->window();
        const auto* bar = window->findChild<QProgressBar*>("sbBusy");
        shown.append(window->findChild<QLabel*>("lblServer")->text() + " | "
                     + window->findChild<QLabel*>("lblDatabase")->text() + " | "
                     + (bar->isVisible() && bar->minimum() == 0 && bar->maximum() == 0 ? "busy" : "idle"));
        if (watched->objectName() == "lblCount")
            counts.append(static_cast<QLabel*>(watched)->text().section(QLatin1Char(' '), -1).toInt());
        return false;
    }
    QStringList shown;
    QList<int> counts;
};

} // namespace

// The main window from start-up to the key-column view and the key details, through the FreeTDS
// ODBC driver against the stand-in.
class tst_MainEndToEnd : public WindowTest
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void detailsTicksAndScriptOfEveryKind()
    {
        QVERIFY(ui().startWith(databaseFixture(everyMark())));
        // The list as sent, to the byte (the stand-in does not mind blanks), then its details.
        QCOMPARE(
            ui().standin().sqlTexts().at(1),
            "SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From INFORMATION_SCHEMA.TABLE_CONSTRAINTS "
            "WHERE CONSTRAINT_TYPE='PRIMARY KEY' ORDER BY [CONSTRAINT_NAME]");
        QVERIFY(ui().window().hasKeyDetails());
        // The same rows, in the same order, with the same texts as without the details.
        QCOMPARE(ui().rows().first(), QStringLiteral("A$Clustered$0 | A$Clustered | CRONUS"));
        QCOMPARE(model().index(1, 2).data(Qt::ToolTipRole).toString(),
                 QStringLiteral(
                     "Primary key: B$Customer$0\nTable: B$Customer\nClustered: no\n5,213 rows, 6 MB\n"
                     "Filegroup: PRIMARY\nWill be refused: a foreign key refers to the key, so the DROP will fail"));

        // Clustered keys in the disabled text colour in every column; a warning in the first column of
        // a refused key only.
        auto& lv = ui().control<QTreeView>("lvTables");
        auto* delegate = qobject_cast<KeyListDelegate*>(lv.itemDelegate());
        QVERIFY(delegate != nullptr);
        const auto styled = [&](int row, int column) {
            QStyleOptionViewItem option;
            option.initFrom(&lv);
            delegate->initStyleOption(&option, model().index(row, column));
            return option;
        };
        const QColor disabled = lv.palette().color(QPalette::Disabled, QPalette::Text);
        QVERIFY(disabled != lv.palette().color(QPalette::Active, QPalette::Text));
        for (int row = 0; row < 3; ++row) // clustered, refused, to rebuild
            for (int column = 0; column < 2; ++column) {
                QCOMPARE(styled(row, column).palette.color(QPalette::Text) == disabled, row == 0);
                QCOMPARE(styled(row, column).icon.isNull(), row != 1 || column != 0);
            }
        QCOMPARE(lv.textElideMode(), Qt::ElideLeft);

        // "Tick keys that are not clustered" replaces the user's ticks; later ticks are the user's as any other.
        ui().tickRow(1);
        ui().tickRow(4);
        ui().control<QAction>("mnuTickNotClustered").trigger();
        QCOMPARE(ui().tickedRows(), (QList<int> { 3, 5, 8 }));
        QCOMPARE(label(), QStringLiteral("Selected Keys: 3"));
        ui().tickRow(2); // referenced: left out of the script
        ui().tickRow(7); // not in dbo: left out
        QCOMPARE(label(), QStringLiteral("Selected Keys: 5"));

        const auto listed = ui().standin().sqlTexts().size();
        ui().control<QAction>("mnuCopyScript").trigger();
        const QString script = QGuiApplication::clipboard()->text();
        // The statements themselves as the unit test of the script has them; here, which keys are in.
        QCOMPARE(script.split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^-- "))),
                 (QStringList {
                     "-- Primary keys re-created as clustered primary keys",
                     "-- Server: " + ui().standin().dataSource(), "-- Database: CRONUS", "-- Time: 2006-03-14 09:26:53",
                     "-- Left out B$Customer (B$Customer$0): a foreign key refers to the key, so the DROP will "
                     "fail",
                     "-- C$Sales Header (C$Sales Header$0), key columns [No_]", "-- E$Dup (E$Dup$0), key columns [No_]",
                     "-- Left out F$Archive (F$Archive$0): the table is not in schema dbo",
                     "-- G$Item (G$Item$0), key columns [No_]" }));
        // The key columns and the filegroup were read now, one query each per scripted table.
        QCOMPARE(ui().standin().sqlTexts().size(), listed + 6);
        QCOMPARE(ui().messages.texts, QStringList {});
        QCOMPARE(ui().errorLog(), QString());
    }

    void failingDetailsQueryLeavesListUnmarked()
    {
        const QJsonObject refused { { "number", 229 }, { "class", 14 }, { "message", "SELECT permission denied" } };
        QVERIFY(ui().startWith(databaseFixture(everyMark(), { fault("key_details", {}, "error", refused) })));

        QCOMPARE(ui().rows().size(), 8);
        QVERIFY(!ui().window().hasKeyDetails());
        for (int item = 1; item <= model().itemCount(); ++item)
            QCOMPARE(model().itemDetails(item), std::nullopt);
        QCOMPARE(model().index(0, 0).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("Primary key: A$Clustered$0\nTable: A$Clustered"));
        QCOMPARE(ui().messages.texts, QStringList {});
        QVERIFY(!ui().control<QAction>("mnuTickNotClustered").isEnabled());

        // The list works as before.
        ui().clickRow(3);
        QCOMPARE(ui().fieldLines(), QStringList { "No_" });
        ui().tickRow(3);
        QCOMPARE(label(), QStringLiteral("Selected Keys: 1"));
        QCOMPARE(ui().errorRecords(), QStringList { "LoadKeyDetails 229" });
    }

    // Start-up that fills no rows: the window opens empty, or start-up ends without a word.
    void startupWithoutRows_data()
    {
        QTest::addColumn<QJsonObject>("fixture");
        QTest::addColumn<QString>("database"); // empty: the login window was closed without connecting
        QTest::addColumn<bool>("listening"); // false: the server stopped since the login
        QTest::addColumn<QString>("number"); // of the one failure reported, if any
        QJsonObject heap = keyedTable("CRONUS$Item");
        heap.remove(QStringLiteral("primary_key"));
        const QJsonObject item = databaseFixture({ keyedTable("CRONUS$Item") });
        QTest::newRow("database without primary keys") << databaseFixture({ heap }) << kDatabaseName << true << "";
        // The stand-in answers the list as a whole or not at all, so the cut comes before the first row.
        QTest::newRow("connection lost on the list")
            << databaseFixture({ keyedTable("CRONUS$Item") }, { fault("primary_keys", {}, "disconnect", true) })
            << kDatabaseName << true << "-2147467259";
        QTest::newRow("login abandoned") << item << QString() << true << "";
        QTest::newRow("server gone since the login") << item << kDatabaseName << false << "";
    }

    void startupWithoutRows()
    {
        QFETCH(QJsonObject, fixture);
        QFETCH(QString, database);
        QFETCH(bool, listening);
        QFETCH(QString, number);
        StandinProcess standin(fixture);
        QVERIFY(standin.started());
        const QString connectString
            = database.isEmpty() ? QString() : standin.connectionString(database, kLoginName, kLoginPassword);
        if (!listening)
            standin.stop();
        const bool opens = listening && database == kDatabaseName;

        QCOMPARE(ui().start(connectString), opens);

        if (opens) { // with its caption and its three columns
            QCOMPARE(ui().rows(), QStringList {});
            QCOMPARE(ui().control<QTreeView>("lvTables").header()->count(), 3);
            QCOMPARE(ui().window().windowTitle(), kCaption);
        } else { // no window, nothing sent
            for (const QWidget* window : QApplication::topLevelWidgets())
                QVERIFY2(!window->isVisible(), qPrintable(window->windowTitle()));
            QVERIFY(ui().window().activityLogFile().endsWith(QStringLiteral("QuorvaneLog.txt")));
            QCOMPARE(standin.sqlTexts(), QStringList {});
        }
        // Nothing said or written, unless the list failed: then its one record, and the box that says so.
        const bool failed = !number.isEmpty();
        QCOMPARE(ui().errorRecords(), failed ? QStringList { "LoadTablesIntoLV " + number } : QStringList());
        QCOMPARE(QDir(ui().folder()).entryList(QDir::Files), failed ? QStringList { "ErrorLog.txt" } : QStringList());
        QCOMPARE(ui().messages.texts, failed ? QStringList { kErrorMessage } : QStringList());
    }

    // A large database whose server waits before it answers the list: from the login to the filled
    // main window the user sees which server and database are read, a busy bar and a growing count.
    // How often the count is repainted goes by the clock, so this runs on its own (tst_readingkeys_e2e).
    void readingKeysWindowCountsUntilMainWindowShows()
    {
        if (!qEnvironmentVariableIsSet("QUORVANE_TIMED_TESTS"))
            QSKIP("timed by the clock: run on its own, by tst_readingkeys_e2e");
        constexpr int kKeys = 20 * 2000;
        const QTemporaryDir folder;
        QJsonObject fixture
            = QJsonDocument::fromJson(fileBytes(StandinProcess::generatedFixture(folder.path(), 20, 2000))).object();
        fixture.insert("faults", QJsonArray { fault("primary_keys", {}, "delay_ms", 1500) });
        StandinProcess standin(fixture);
        QVERIFY(standin.started());
        ReadingKeysPaints paints;
        qApp->installEventFilter(&paints);

        QVERIFY(ui().start(standin.connectionString(kDatabaseName, kLoginName, kLoginPassword)));
        qApp->removeEventFilter(&paints);

        for (const QWidget* window : QApplication::topLevelWidgets())
            QVERIFY(window == &ui().window());
        QCOMPARE(ui().rows().size(), kKeys);
        QCOMPARE(paints.shown.count(standin.dataSource() + " | CRONUS | busy"), paints.shown.size());
        // Nothing yet while the server holds the answer back; then more and more as rows arrive.
        QVERIFY2(paints.counts.size() > 1, qPrintable(QString::number(paints.counts.size())));
        QCOMPARE(paints.counts.first(), 0);
        QVERIFY(std::is_sorted(paints.counts.begin(), paints.counts.end()));
        QVERIFY(paints.counts.last() > 0 && paints.counts.last() <= kKeys);
        QCOMPARE(ui().messages.texts, QStringList {});
    }

private:
    KeyListModel& model() { return *qobject_cast<KeyListModel*>(ui().control<QTreeView>("lvTables").model()); }
    QString label() { return ui().control<QLabel>("lblKeys").text(); }
};

QTEST_MAIN(tst_MainEndToEnd)
#include "tst_main_e2e.moc"
