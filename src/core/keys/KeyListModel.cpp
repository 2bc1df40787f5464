#include "keys/KeyListModel.h"

#include "support/Failure.h"

#include <algorithm>

namespace quorvane {

namespace {

    constexpr int kColumnCount = 1 + KeyListModel::kSubItemCount;

    [[noreturn]] void throwIndexOutOfBounds()
    {
        throw Failure(kIndexOutOfBounds, QStringLiteral("Index out of bounds"));
    }

} // namespace

KeyListModel::KeyListModel(QObject* parent)
    : QAbstractTableModel(parent)
{ }

int KeyListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : itemCount();
}

int KeyListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant KeyListModel::data(const QModelIndex& index, int role) const
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

QVariant KeyListModel::headerData(int section, Qt::Orientation orientation, int role) const
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

Qt::ItemFlags KeyListModel::flags(const QModelIndex& index) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return Qt::NoItemFlags;
    // The check box sits in front of the row, in the first column; no cell is editable.
    const Qt::ItemFlags common = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    return index.column() == 0 ? common | Qt::ItemIsUserCheckable : common;
}

bool KeyListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || index.column() != 0
        || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    const int item = index.row() + 1;
    setItemChecked(item, static_cast<Qt::CheckState>(value.toInt()) == Qt::Checked);
    Q_EMIT itemCheckedByUser(item);
    return true;
}

int KeyListModel::addItem(const QString& text)
{
    const int row = itemCount();
    beginInsertRows({}, row, row);
    m_rows.push_back(Row { text, {}, 0, false, std::nullopt });
    endInsertRows();
    return row + 1;
}

void KeyListModel::addSubItem(int item, const QString& text)
{
    Row& row = rowAt(item);
    if (row.subItemCount >= kSubItemCount)
        throwIndexOutOfBounds();
    row.subItems[row.subItemCount] = text;
    ++row.subItemCount;
    const QModelIndex cell = index(item - 1, row.subItemCount);
    Q_EMIT dataChanged(cell, cell, { Qt::DisplayRole });
}

QString KeyListModel::itemText(int item) const
{
    return rowAt(item).text;
}

QString KeyListModel::subItemText(int item, int subItem) const
{
    const Row& row = rowAt(item);
    if (subItem < 1 || subItem > row.subItemCount)
        throwIndexOutOfBounds();
    return row.subItems[static_cast<std::size_t>(subItem - 1)];
}

bool KeyListModel::isItemChecked(int item) const
{
    return rowAt(item).checked;
}

void KeyListModel::setItemChecked(int item, bool checked)
{
    rowAt(item).checked = checked;
    announceTick(item - 1);
}

void KeyListModel::setAllChecked(bool checked)
{
    const TickBatch batch(*this);
    for (int item = 1; item <= itemCount(); ++item)
        setItemChecked(item, checked);
}

void KeyListModel::checkKeysToRebuild()
{
    const TickBatch batch(*this);
    for (int item = 1; item <= itemCount(); ++item) {
        const std::optional<KeyDetails>& details = rowAt(item).details;
        setItemChecked(item, details && needsClusteredRebuild(*details));
    }
}

int KeyListModel::checkedCount() const
{
    return static_cast<int>(std::count_if(m_rows.cbegin(), m_rows.cend(), [](const Row& row) { return row.checked; }));
}

QList<TickedTable> KeyListModel::checkedTables() const
{
    QList<TickedTable> tables;
    for (int item = 1; item <= itemCount(); ++item)
        if (isItemChecked(item))
            tables.append({ subItemText(item, 1), itemText(item) });
    return tables;
}

QList<ScriptKey> KeyListModel::checkedScriptKeys() const
{
    QList<ScriptKey> keys;
    for (int item = 1; item <= itemCount(); ++item)
        if (isItemChecked(item))
            keys.append({ subItemText(item, 1), itemText(item), itemDetails(item) });
    return keys;
}

QString KeyListModel::databaseName() const
{
    return m_rows.empty() ? QString() : subItemText(1, 2);
}

void KeyListModel::setDetails(KeyDetailsIndex& details)
{
    for (Row& row : m_rows)
        row.details = row.subItemCount > 0 ? details.take(row.text, row.subItems[0]) : std::nullopt;
    if (m_rows.empty())
        return;
    Q_EMIT dataChanged(index(0, 0), index(itemCount() - 1, kColumnCount - 1),
                       { Qt::ToolTipRole, kClusteredRole, kRefusalRole });
}

std::optional<KeyDetails> KeyListModel::itemDetails(int item) const
{
    return rowAt(item).details;
}

const KeyListModel::Row& KeyListModel::rowAt(int item) const
{
    if (item < 1 || item > itemCount())
        throwIndexOutOfBounds();
    return m_rows[static_cast<std::size_t>(item - 1)];
}

KeyListModel::Row& KeyListModel::rowAt(int item)
{
    return const_cast<Row&>(std::as_const(*this).rowAt(item));
}

void KeyListModel::announceTick(int row)
{
    if (m_batchDepth > 0) {
        m_batchFirst = m_batchFirst < 0 ? row : std::min(m_batchFirst, row);
        m_batchLast = std::max(m_batchLast, row);
        return;
    }
    const QModelIndex cell = index(row, 0);
    Q_EMIT dataChanged(cell, cell, { Qt::CheckStateRole });
}

KeyListModel::TickBatch::TickBatch(KeyListModel& model)
    : m_model(model)
{
    ++m_model.m_batchDepth;
}

KeyListModel::TickBatch::~TickBatch()
{
    if (--m_model.m_batchDepth > 0 || m_model.m_batchFirst < 0)
        return;
    const int first = std::exchange(m_model.m_batchFirst, -1);
    const int last = std::exchange(m_model.m_batchLast, -1);
    Q_EMIT m_model.dataChanged(m_model.index(first, 0), m_model.index(last, 0), { Qt::CheckStateRole });
}

} // namespace quorvane
