#include "keys/KeyDetails.h"
#include "keys/KeyDetailsQuery.h"
#include "keys/KeyListModel.h"
#include "rebuild/RebuildScript.h"
#include "support/FakeConnection.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace quorvane;
using namespace quorvane::test;

const KeyRefusals kEveryRefusal = KeyRefusals(KeyRefusal::ReferencedByForeignKey) | KeyRefusal::OtherClusteredIndex
    | KeyRefusal::OnPartitionScheme | KeyRefusal::OutsideDbo;

// The details model without a server: the texts it shows, the rows it matches, the query's rows it
// reads and the script it writes; and the list's rows they go with.
class tst_KeyDetails : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The texts the list shows of a key's details: its size in the user's format, its refusals in words.
    void texts_data()
    {
        QTest::addColumn<QString>("made");
        QTest::addColumn<QString>("expected");
        const auto sized = [](qint64 rows, qint64 kilobytes, const QLocale& locale = QLocale(QLocale::English)) {
            return rowCountText(rows, locale) + QStringLiteral(", ") + sizeText(kilobytes, locale);
        };
        QTest::newRow("German digits") << sized(1234567, 1536, QLocale(QLocale::German)) << "1.234.567 rows, 1,5 MB";
        QTest::newRow("empty table") << sized(0, 0) << "0 rows, 0 KB";
        QTest::newRow("one row, two pages") << sized(1, 16) << "1 row, 16 KB";
        QTest::newRow("just below a MB") << sized(12, 1023) << "12 rows, 1,023 KB";
        QTest::newRow("tens of GB, whole")
            << sized(3000000000, 40LL * 1024 * 1024 + 300000) << "3,000,000,000 rows, 40 GB";
        QTest::newRow("terabytes") << sized(5, 3LL * 1024 * 1024 * 1024 * 1024) << "5 rows, 3,072 TB";
        QTest::newRow("refusals in words, in a fixed order")
            << keyToolTip("K", "T", KeyDetails { true, 2, 8, kEveryRefusal, "Data Filegroup 1" }, QLocale::c())
            << "Primary key: K\nTable: T\nClustered: yes\n2 rows, 8 KB\nFilegroup: Data Filegroup 1\n"
               "Will be refused: the table is not in schema dbo\n"
               "Will be refused: the table's data is on a partition scheme, so it is not rebuilt\n"
               "Will be refused: a foreign key refers to the key, so the DROP will fail\n"
               "Will be refused: the table has another clustered index, so the ADD will fail";
    }

    void texts()
    {
        QFETCH(QString, made);
        QTEST(made, "expected");
    }

    void sameNamesTakeDetailsInQueryOrder()
    {
        KeyDetailsIndex index({ { "K$0", "T", { false, 1, 8, {} } },
                                { "K$0", "T", { true, 2, 16, {} } },
                                { "K$0", "U", { false, 3, 24, {} } } });
        // A key of the same name on another table, asked for out of the query's order.
        QCOMPARE(index.take("K$0", "U")->rows, 3);
        QCOMPARE(index.take("K$0", "T")->rows, 1);
        QCOMPARE(index.take("K$0", "T")->rows, 2);
        QCOMPARE(index.take("K$0", "T"), std::nullopt);
        QCOMPARE(index.take("k$0", "t"), std::nullopt); // names come back from the server exactly
    }

    void queryRowsAreRead_data()
    {
        QTest::addColumn<QStringList>("row");
        QTest::addColumn<int>("failure"); // 0: none
        // The filegroup empty as for NULL: a partitioned table's, the fourth refusal.
        QTest::newRow("every flag") << QStringList { "K", "T", "1", "5000000000", "3", "11", "" } << 0;
        QTest::newRow("not a number") << QStringList { "K", "T", "0", "many", "3", "0", "PRIMARY" } << kTypeMismatch;
        QTest::newRow("refusal not asked for")
            << QStringList { "K", "T", "0", "1", "3", "4", "PRIMARY" } << kTypeMismatch;
        QTest::newRow("short row") << QStringList { "K", "T", "0" } << 3265;
    }

    void queryRowsAreRead()
    {
        QFETCH(QStringList, row);
        QFETCH(int, failure);
        FakeDatabase database;
        database.respond = [&](const QString&) { return FakeResult { { row }, {}, 0 }; };
        const auto connection = database.factory()();
        connection->Open(QString());
        try {
            const std::vector<NamedKeyDetails> all = readKeyDetails(*connection);
            QCOMPARE(failure, 0);
            QCOMPARE(all.size(), 1u);
            QCOMPARE((QStringList { all[0].constraint, all[0].table }), (QStringList { "K", "T" }));
            QCOMPARE(all[0].details, (KeyDetails { true, 5000000000, 24, kEveryRefusal, {} }));
        } catch (const Failure& thrown) {
            QCOMPARE(thrown.number(), failure);
        }
    }

    // The rows behind the primary-key list.
    void ticksAndNamesHoldUp()
    {
        KeyListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int row = 0; row < 1000; ++row)
            model.addSubItem(model.addItem(QStringLiteral("PK%1").arg(row)), QStringLiteral("T%1").arg(row));
        QSignalSpy userTicks(&model, &KeyListModel::itemCheckedByUser);
        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);

        // A tick through the view is the user's, announced with its position.
        QVERIFY(model.setData(model.index(1, 0), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(userTicks, (QList<QVariantList> { { 2 } }));
        // Ticks set by the program are not, and a batch of them reaches the view as one change.
        {
            const KeyListModel::TickBatch batch(model);
            for (int item = 1; item <= model.itemCount(); ++item)
                model.setItemChecked(item, true);
        }
        QCOMPARE(userTicks.size(), 1);
        QCOMPARE(changes.size(), 2);
        QCOMPARE(changes.last().at(0).toModelIndex(), model.index(0, 0));
        QCOMPARE(changes.last().at(1).toModelIndex(), model.index(999, 0));
        QVERIFY(model.isItemChecked(1000));
        // A name edited in place would send the rebuild to another table.
        QVERIFY(!model.setData(model.index(0, 1), QStringLiteral("renamed"), Qt::EditRole));
        QVERIFY(!(model.flags(model.index(0, 1)) & Qt::ItemIsEditable));
        QCOMPARE(model.subItemText(1, 1), QStringLiteral("T0"));
    }

    void scriptLeavesOutWhatWouldFail()
    {
        FakeDatabase database;
        database.respond = [](const QString& sql) {
            if (sql.contains(QLatin1String("'Gone$0'")))
                return FakeResult {};
            // The script uses the ADD a run would send: on the table's own filegroup.
            if (sql.contains(QLatin1String("FILEGROUP_NAME")))
                return FakeResult { { { "Data Filegroup 1" } }, {}, 0 };
            return FakeResult { { { "Document Type" }, { "No]_" } }, {}, 0 };
        };
        const auto connection = database.factory()();
        connection->Open(QString());
        const ScriptHeader header { "srv\n-- x", "Nav", QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)) };
        const QString script
            = rebuildScript(*connection, header,
                            { { "Line\nBreak", "Line$0", KeyDetails {} },
                              { "Gone", "Gone$0", std::nullopt },
                              { "Other", "Other$0", KeyDetails { false, 0, 0, KeyRefusal::OtherClusteredIndex } } });
        QCOMPARE(script,
                 QStringLiteral(
                     "-- Primary keys re-created as clustered primary keys\n"
                     "-- Server: srv -- x\n"
                     "-- Database: Nav\n"
                     "-- Time: 2026-01-02 03:04:05\n"
                     "SET XACT_ABORT ON\n"
                     "GO\n"
                     "-- Line Break (Line$0), key columns [Document Type],[No]]_]\n"
                     "BEGIN TRANSACTION\n"
                     "ALTER TABLE dbo.[Line\nBreak] DROP CONSTRAINT [Line$0]\n"
                     "ALTER TABLE dbo.[Line\nBreak] ADD CONSTRAINT [Line$0] PRIMARY KEY CLUSTERED  "
                     "([Document Type],[No]]_]) ON [Data Filegroup 1]\n"
                     "COMMIT TRANSACTION\n"
                     "GO\n"
                     "-- Left out Gone (Gone$0): the key has no columns\n"
                     "-- Left out Other (Other$0): the table has another clustered index, so the ADD will fail\n"));
        // A refused key's columns are not even read.
        QCOMPARE(database.executed().size(), 3);

        database.respond = [](const QString&) { return FakeResult { {}, Failure(-2147467259, "lost"), 0 }; };
        QVERIFY_THROWS_EXCEPTION(Failure, rebuildScript(*connection, header, { { "T", "T$0", std::nullopt } }));
    }
};

QTEST_MAIN(tst_KeyDetails)
#include "tst_keydetails.moc"
