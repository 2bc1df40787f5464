#include "keys/KeyDetails.h"
#include "main/KeyListDelegate.h"
#include "keys/KeyListModel.h"
#include "support/HostPath.h"
#include "support/HostProcess.h"
#include "support/StandinWindow.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTreeView>

using namespace quorvane;
using namespace quorvane::test;

namespace {

// tsql sending a script to the stand-in, as a DBA would run the copied script.
QString runWithTsql(const StandinProcess& standin, const QString& script)
{
    QTemporaryDir folder;
    const QString scriptFile = folder.filePath(QStringLiteral("script.sql"));
    QFile file(scriptFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(script.toUtf8()) < 0)
        return {};
    file.close();
    HostProcess tsql;
    tsql.start(QStringLiteral("/bin/sh"),
               { "-c", "TDSVER=7.4 exec tsql \"$@\" < \"$0\" 2>&1", hostPath(scriptFile), "-H", "127.0.0.1", "-p",
                 QString::number(standin.port()), "-U", kLoginName, "-P", kLoginPassword, "-D", kDatabaseName });
    tsql.waitForEnd(30000);
    return tsql.output();
}

} // namespace

// The catalogue's details of every key in the main window, through the FreeTDS ODBC driver against
// the stand-in: the marks, the tool tips, the context menu's ticks and the script it copies.
class tst_KeyDetailsEndToEnd : public WindowTest
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void detailsOfEveryKind();
    void tickKeysThatAreNotClustered();
    void copiedScriptMakesEveryScriptedKeyClustered();
    void failingQueryLeavesListUnmarked();

private:
    KeyListModel& model() { return *qobject_cast<KeyListModel*>(ui().control<QTreeView>("lvTables").model()); }
    QAction& action(const char* name) { return ui().control<QAction>(name); }
};

void tst_KeyDetailsEndToEnd::detailsOfEveryKind()
{
    QVERIFY(ui().startWith(databaseFixture(everyMark())));
    QVERIFY(ui().window().hasKeyDetails());

    using R = KeyRefusal;
    const QList<std::optional<KeyDetails>> expected {
        KeyDetails { true, 1234567, 850 * 1024, {} },
        KeyDetails { false, 5213, 6128, R::ReferencedByForeignKey },
        KeyDetails { false, 0, 0, {} },
        KeyDetails { false, 0, 0, R::OtherClusteredIndex },
        KeyDetails { false, 0, 0, R::NameInSeveralSchemas },
        KeyDetails { false, 0, 0, KeyRefusals(R::NameInSeveralSchemas) | R::OutsideDbo },
        KeyDetails { false, 0, 0, R::OutsideDbo },
        KeyDetails { false, 1, 16, {} },
    };
    QCOMPARE(model().itemCount(), expected.size());
    for (int item = 1; item <= model().itemCount(); ++item)
        QCOMPARE(model().itemDetails(item), expected.at(item - 1));

    // The same rows, in the same order, with the same texts as without the details.
    QCOMPARE(ui().rows().first(), QStringLiteral("A$Clustered$0 | A$Clustered | CRONUS"));
    QCOMPARE(model().index(0, 2).data(Qt::ToolTipRole).toString(),
             QStringLiteral("Primary key: A$Clustered$0\nTable: A$Clustered\nClustered: yes\n"
                            "1,234,567 rows, 850 MB"));
    QCOMPARE(model().index(1, 0).data(Qt::ToolTipRole).toString(),
             QStringLiteral("Primary key: B$Customer$0\nTable: B$Customer\nClustered: no\n5,213 rows, 6 MB\n"
                            "Will be refused: a foreign key refers to the key, so the DROP will fail"));

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
    QCOMPARE(styled(0, 1).palette.color(QPalette::Text), disabled);
    QVERIFY(styled(2, 1).palette.color(QPalette::Text) != disabled);
    QVERIFY(styled(0, 0).icon.isNull());
    QVERIFY(!styled(1, 0).icon.isNull());
    QVERIFY(styled(1, 1).icon.isNull());
    QVERIFY(styled(2, 0).icon.isNull());
    QCOMPARE(lv.textElideMode(), Qt::ElideLeft);
    QCOMPARE(ui().messages.texts, QStringList {});
    QCOMPARE(ui().errorLog(), QString());
}

void tst_KeyDetailsEndToEnd::tickKeysThatAreNotClustered()
{
    QVERIFY(ui().startWith(databaseFixture(everyMark())));
    ui().tickRow(1);
    ui().tickRow(4);

    action("mnuTickNotClustered").trigger();

    QCOMPARE(ui().tickedRows(), (QList<int> { 3, 8 }));
    QCOMPARE(ui().control<QLabel>("lblKeys").text(), QStringLiteral("Selected Keys: 2"));
    // The ticks are the user's as any other: one more, and the count follows.
    ui().tickRow(5);
    QCOMPARE(ui().control<QLabel>("lblKeys").text(), QStringLiteral("Selected Keys: 3"));
    QCOMPARE(ui().errorLog(), QString());
}

void tst_KeyDetailsEndToEnd::copiedScriptMakesEveryScriptedKeyClustered()
{
    const QJsonObject fixture = databaseFixture(everyMark());
    QVERIFY(ui().startWith(fixture));
    ui().tickRow(2); // referenced: left out
    ui().tickRow(3);
    ui().tickRow(7); // not in dbo: left out
    ui().tickRow(8);
    const int listedStatements = static_cast<int>(ui().standin().sqlTexts().size());

    action("mnuCopyScript").trigger();

    const QString script = QGuiApplication::clipboard()->text();
    const QStringList lines = script.split(QLatin1Char('\n'));
    QCOMPARE(lines.mid(0, 6),
             (QStringList { "-- Primary keys re-created as clustered primary keys",
                            "-- Server: " + ui().standin().dataSource(), "-- Database: CRONUS",
                            "-- Time: 2006-03-14 09:26:53", "SET XACT_ABORT ON", "GO" }));
    QCOMPARE(lines.mid(6),
             (QStringList {
                 "-- Left out B$Customer (B$Customer$0): a foreign key refers to the key, so the DROP will fail",
                 "-- C$Sales Header (C$Sales Header$0), key columns [No_]",
                 "BEGIN TRANSACTION",
                 "ALTER TABLE dbo.[C$Sales Header] DROP CONSTRAINT [C$Sales Header$0]",
                 "ALTER TABLE dbo.[C$Sales Header] ADD CONSTRAINT [C$Sales Header$0] PRIMARY KEY CLUSTERED  ([No_]) ON "
                 "[PRIMARY]",
                 "COMMIT TRANSACTION",
                 "GO",
                 "-- Left out F$Archive (F$Archive$0): the table is not in schema dbo",
                 "-- G$Item (G$Item$0), key columns [No_]",
                 "BEGIN TRANSACTION",
                 "ALTER TABLE dbo.[G$Item] DROP CONSTRAINT [G$Item$0]",
                 "ALTER TABLE dbo.[G$Item] ADD CONSTRAINT [G$Item$0] PRIMARY KEY CLUSTERED  ([No_]) ON [PRIMARY]",
                 "COMMIT TRANSACTION",
                 "GO",
                 "",
             }));
    // The key columns were read now, one key-column query per scripted table.
    QCOMPARE(ui().standin().sqlTexts().size(), listedStatements + 2);

    // Run as it stands by a tool nobody here wrote, against the database as it was: every scripted
    // key ends clustered, the left-out ones stay as they were.
    StandinProcess fresh(fixture);
    QVERIFY(fresh.started());
    const QString output = runWithTsql(fresh, script);
    const QJsonObject state = fresh.state();
    QVERIFY2(primaryKeyIn(state, "C$Sales Header") == primaryKey("C$Sales Header$0", { "No_" }, true),
             qPrintable(output));
    QCOMPARE(primaryKeyIn(state, "G$Item"), primaryKey("G$Item$0", { "No_" }, true));
    QCOMPARE(primaryKeyIn(state, "B$Customer"), primaryKey("B$Customer$0", { "No_" }, false));

    // A refused ADD undoes its table's DROP (XACT_ABORT), and the next table's batch still runs.
    const QJsonObject duplicate { { "number", 1505 }, { "message", "duplicate key" } };
    StandinProcess refusing(databaseFixture(everyMark(), { fault("add", "C$Sales Header", "error", duplicate) }));
    QVERIFY(refusing.started());
    const QString refusedOutput = runWithTsql(refusing, script);
    QVERIFY2(refusedOutput.contains(QLatin1String("1505")), qPrintable(refusedOutput));
    QCOMPARE(primaryKeyIn(refusing.state(), "C$Sales Header"), primaryKey("C$Sales Header$0", { "No_" }, false));
    QCOMPARE(primaryKeyIn(refusing.state(), "G$Item"), primaryKey("G$Item$0", { "No_" }, true));
    QCOMPARE(ui().errorLog(), QString());
}

void tst_KeyDetailsEndToEnd::failingQueryLeavesListUnmarked()
{
    const QJsonObject refused { { "number", 229 }, { "class", 14 }, { "message", "SELECT permission denied" } };
    QVERIFY(ui().startWith(databaseFixture(everyMark(), { fault("key_details", {}, "error", refused) })));

    QCOMPARE(ui().rows().size(), 8);
    QVERIFY(!ui().window().hasKeyDetails());
    for (int item = 1; item <= model().itemCount(); ++item)
        QCOMPARE(model().itemDetails(item), std::nullopt);
    QCOMPARE(model().index(0, 0).data(Qt::ToolTipRole).toString(),
             QStringLiteral("Primary key: A$Clustered$0\nTable: A$Clustered"));
    QCOMPARE(ui().errorSources(), QStringList { "LoadKeyDetails" });
    QVERIFY(ui().errorLog().contains(QStringLiteral("\r\nNumber: 229\r\n")));
    QCOMPARE(ui().messages.texts, QStringList {});
    QVERIFY(!action("mnuTickNotClustered").isEnabled());

    // The list works as before.
    ui().clickRow(3);
    QCOMPARE(ui().fieldLines(), QStringList { "No_" });
    ui().tickRow(3);
    QCOMPARE(ui().control<QLabel>("lblKeys").text(), QStringLiteral("Selected Keys: 1"));
    QCOMPARE(ui().errorSources(), QStringList { "LoadKeyDetails" });
}

QTEST_MAIN(tst_KeyDetailsEndToEnd)
#include "tst_keydetails_e2e.moc"
