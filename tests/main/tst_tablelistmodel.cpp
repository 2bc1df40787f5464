#include "main/TableListModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using quorvane::TableListModel;

// The rows behind the primary-key list.
class tst_TableListModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void staysConsistentAndUneditable();
    void onlyUserTicksAreAnnounced();
    void batchOfTicksIsOneChange();
};

namespace {

// Two complete rows, and a third cut short after its table name.
void fill(TableListModel& model)
{
    for (const QString& table :
         { QStringLiteral("a$Item"), QStringLiteral("B$Customer"), QStringLiteral("C$Vendor") }) {
        const int item = model.addItem(table + QStringLiteral("$0"));
        model.addSubItem(item, table);
        if (item < 3)
            model.addSubItem(item, QStringLiteral("Navision"));
    }
}

} // namespace

void tst_TableListModel::staysConsistentAndUneditable()
{
    TableListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    fill(model);
    model.setData(model.index(0, 0), Qt::Checked, Qt::CheckStateRole);
    QVERIFY(!model.data(model.index(2, 2)).isValid());
    // A name edited in place would send the rebuild to another table.
    for (int column = 0; column < 3; ++column)
        QVERIFY(!(model.flags(model.index(0, column)) & Qt::ItemIsEditable));
    QVERIFY(!model.setData(model.index(0, 1), QStringLiteral("renamed"), Qt::EditRole));
    QCOMPARE(model.subItemText(1, 1), QStringLiteral("a$Item"));
}

void tst_TableListModel::onlyUserTicksAreAnnounced()
{
    TableListModel model;
    fill(model);
    QSignalSpy userTicks(&model, &TableListModel::itemCheckedByUser);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    // A tick through the view is the user's: announced with its position, after it has changed.
    connect(&model, &TableListModel::itemCheckedByUser, this, [&](int item) { QVERIFY(model.isItemChecked(item)); });
    QVERIFY(model.setData(model.index(1, 0), Qt::Checked, Qt::CheckStateRole));
    QCOMPARE(userTicks, (QList<QVariantList> { { 2 } }));
    model.setItemChecked(3, true);
    QVERIFY(model.isItemChecked(3));
    QCOMPARE(userTicks.count(), 1);
    QCOMPARE(changes.count(), 2);
}

void tst_TableListModel::batchOfTicksIsOneChange()
{
    TableListModel model;
    for (int row = 0; row < 1000; ++row)
        model.addItem(QString::number(row));
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    {
        const TableListModel::TickBatch batch(model);
        for (int item = 1; item <= model.itemCount(); ++item)
            model.setItemChecked(item, true);
        QCOMPARE(changes.count(), 0);
    }
    QCOMPARE(changes.count(), 1);
    QCOMPARE(changes.at(0).at(0).toModelIndex(), model.index(0, 0));
    QCOMPARE(changes.at(0).at(1).toModelIndex(), model.index(999, 0));
}

QTEST_GUILESS_MAIN(tst_TableListModel)
#include "tst_tablelistmodel.moc"
