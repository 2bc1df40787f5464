#include "keys/TableListModel.h"

#include "support/Failure.h"

#include <algorithm>

namespace quorvane {

namespace {

    constexpr int kColumnCount = 1 + TableListModel::kSubItemCount;

    [[noreturn]] void throwIndexOutOfBounds()
    {
        throw Failure(kIndexOutOfBounds, QStringLiteral("Index out of bounds"));
    }

} // namespace

TableListModel::TableListModel(QObject* parent)
    : QAbstractTableModel(parent)
{ }

int TableListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : itemCount();
}

int TableListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant TableListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    if (role == Qt::DisplayRole) {
        if (column == 0)
            return row.text;
        if (column <= row.subItemCount)
            return row.subItems[static_cast<std::size_t>(column - 1)];
        return {};
    }
    if (role == Qt::CheckStateRole && column == 0)
        return row.checked ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::ToolTipRole)
        return keyToolTip(row.text, row.subItemCount > 0 ? row.subItems[0] : QString(), row.details);
    if (!row.details)
        return {};
    if (role == kClusteredRole)
        return row.details->clustered;
    if (role == kRefusalRole && column == 0)
        return refusalText(row.details->refusals);
    return {};
}

QVariant TableListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case 0:
        return QStringLiteral("Primary Key");
    case 1:
        return QStringLiteral("Tables");
    case 2:
        return QStringLiteral("Database");
    default:
        return {};
    }
}

Qt::ItemFlags TableListModel::flags(const QModelIndex& index) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return Qt::NoItemFlags;
    // The check box sits in front of the row, in the first column; no cell is editable.
    const Qt::ItemFlags common = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    return index.column() == 0 ? common | Qt::ItemIsUserCheckable : common;
}

bool TableListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || index.column() != 0
        || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    const int item = index.row() + 1;
    setItemChecked(item, static_cast<Qt::CheckState>(value.toInt()) == Qt::Checked);
    Q_EMIT itemCheckedByUser(item);
    return true;
}

int TableListModel::addItem(const QString& text)
{
    const int row = itemCount();
    beginInsertRows({}, row, row);
    m_rows.push_back(Row { text, {}, 0, false, std::nullopt });
    endInsertRows();
    return row + 1;
}

void TableListModel::addSubItem(int item, const QString& text)
{
    Row& row = rowAt(item);
    if (row.subItemCount >= kSubItemCount)
        throwIndexOutOfBounds();
    row.subItems[row.subItemCount] = text;
    ++row.subItemCount;
    const QModelIndex cell = index(item - 1, row.subItemCount);
    Q_EMIT dataChanged(cell, cell, { Qt::DisplayRole });
}

QString TableListModel::itemText(int item) const
{
    return rowAt(item).text;
}

QString TableListModel::subItemText(int item, int subItem) const
{
    const Row& row = rowAt(item);
    if (subItem < 1 || subItem > row.subItemCount)
        throwIndexOutOfBounds();
    return row.subItems[static_cast<std::size_t>(subItem - 1)];
}

bool TableListModel::isItemChecked(int item) const
{
    return rowAt(item).checked;
}

void TableListModel::setItemChecked(int item, bool checked)
{
    rowAt(item).checked = checked;
    announceTick(item - 1);
}

void TableListModel::setDetails(KeyDetailsIndex& details)
{
    for (Row& row : m_rows)
        row.details = row.subItemCount > 0 ? details.take(row.text, row.subItems[0]) : std::nullopt;
    if (m_rows.empty())
        return;
    Q_EMIT dataChanged(index(0, 0), index(itemCount() - 1, kColumnCount - 1),
                       { Qt::ToolTipRole, kClusteredRole, kRefusalRole });
}

std::optional<KeyDetails> TableListModel::itemDetails(int item) const
{
    return rowAt(item).details;
}

const TableListModel::Row& TableListModel::rowAt(int item) const
{
    if (item < 1 || item > itemCount())
        throwIndexOutOfBounds();
    return m_rows[static_cast<std::size_t>(item - 1)];
}

TableListModel::Row& TableListModel::rowAt(int item)
{
    return const_cast<Row&>(std::as_const(*this).rowAt(item));
}

void TableListModel::announceTick(int row)
{
    if (m_batchDepth > 0) {
        m_batchFirst = m_batchFirst < 0 ? row : std::min(m_batchFirst, row);
        m_batchLast = std::max(m_batchLast, row);
        return;
    }
    const QModelIndex cell = index(row, 0);
    Q_EMIT dataChanged(cell, cell, { Qt::CheckStateRole });
}

TableListModel::TickBatch::TickBatch(TableListModel& model)
    : m_model(model)
{
    ++m_model.m_batchDepth;
}

TableListModel::TickBatch::~TickBatch()
{
    if (--m_model.m_batchDepth > 0 || m_model.m_batchFirst < 0)
        return;
    const int first = std::exchange(m_model.m_batchFirst, -1);
    const int last = std::exchange(m_model.m_batchLast, -1);
    Q_EMIT m_model.dataChanged(m_model.index(first, 0), m_model.index(last, 0), { Qt::CheckStateRole });
}

} // namespace quorvane
