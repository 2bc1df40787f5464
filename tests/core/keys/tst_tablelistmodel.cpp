#include "keys/TableListModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using quorvane::TableListModel;

// The rows behind the primary-key list.
class tst_TableListModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ticksAndNamesHoldUp()
    {
        TableListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int row = 0; row < 1000; ++row)
            model.addSubItem(model.addItem(QStringLiteral("PK%1").arg(row)), QStringLiteral("T%1").arg(row));
        QSignalSpy userTicks(&model, &TableListModel::itemCheckedByUser);
        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);

        // A tick through the view is the user's, announced with its position.
        QVERIFY(model.setData(model.index(1, 0), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(userTicks, (QList<QVariantList> { { 2 } }));
        // Ticks set by the program are not, and a batch of them reaches the view as one change.
        {
            const TableListModel::TickBatch batch(model);
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
};

QTEST_GUILESS_MAIN(tst_TableListModel)
#include "tst_tablelistmodel.moc"
