#include "main/TableListModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using quorvane::TableListModel;

class tst_TableListModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void staysConsistentThroughFillingAndTicking();
    void userTickIsAnnouncedWithItsPosition();
    void programTicksAreNotUserTicks();
    void batchOfTicksIsOneChange();
    void nothingIsEditableInPlace();
};

namespace {

// Three rows: two complete, the last one cut short after its table name.
void fill(TableListModel& model)
{
    int item = model.addItem(QStringLiteral("a$Item$0"));
    model.addSubItem(item, QStringLiteral("a$Item"));
    model.addSubItem(item, QStringLiteral("Navision"));
    item = model.addItem(QStringLiteral("B$Customer$0"));
    model.addSubItem(item, QStringLiteral("B$Customer"));
    model.addSubItem(item, QStringLiteral("Navision"));
    item = model.addItem(QStringLiteral("C$Vendor$0"));
    model.addSubItem(item, QStringLiteral("C$Vendor"));
}

} // namespace

void tst_TableListModel::staysConsistentThroughFillingAndTicking()
{
    TableListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    fill(model);
    model.setData(model.index(0, 0), Qt::Checked, Qt::CheckStateRole);
    {
        const TableListModel::TickBatch batch(model);
        for (int item = 1; item <= model.itemCount(); ++item)
            model.setItemChecked(item, true);
    }
    QCOMPARE(model.data(model.index(2, 0), Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QVERIFY(!model.data(model.index(2, 2)).isValid());
}

void tst_TableListModel::userTickIsAnnouncedWithItsPosition()
{
    TableListModel model;
    fill(model);
    QSignalSpy userTicks(&model, &TableListModel::itemCheckedByUser);
    QVERIFY(model.setData(model.index(1, 0), Qt::Checked, Qt::CheckStateRole));
    QCOMPARE(userTicks.count(), 1);
    QCOMPARE(userTicks.at(0).at(0).toInt(), 2);
    // The tick has changed before the announcement is handled.
    QVERIFY(model.isItemChecked(2));
    QVERIFY(model.setData(model.index(1, 0), Qt::Unchecked, Qt::CheckStateRole));
    QVERIFY(!model.isItemChecked(2));
    QCOMPARE(userTicks.count(), 2);
}

void tst_TableListModel::programTicksAreNotUserTicks()
{
    TableListModel model;
    fill(model);
    QSignalSpy userTicks(&model, &TableListModel::itemCheckedByUser);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    model.setItemChecked(3, true);
    QVERIFY(model.isItemChecked(3));
    QCOMPARE(userTicks.count(), 0);
    QCOMPARE(changes.count(), 1);
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

void tst_TableListModel::nothingIsEditableInPlace()
{
    TableListModel model;
    fill(model);
    for (int column = 0; column < 3; ++column)
        QVERIFY(!(model.flags(model.index(0, column)) & Qt::ItemIsEditable));
    QVERIFY(model.flags(model.index(0, 0)) & Qt::ItemIsUserCheckable);
    QVERIFY(!model.setData(model.index(0, 1), QStringLiteral("renamed"), Qt::EditRole));
    QCOMPARE(model.itemText(1), QStringLiteral("a$Item$0"));
}

QTEST_GUILESS_MAIN(tst_TableListModel)
#include "tst_tablelistmodel.moc"
