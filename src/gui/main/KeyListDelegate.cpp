#include "main/KeyListDelegate.h"

#include "keys/KeyListModel.h"

#include <QApplication>
#include <QStyle>

namespace quorvane {

KeyListDelegate::KeyListDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
    , m_warning(QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning))
{ }

void KeyListDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.data(KeyListModel::kClusteredRole).toBool()) {
        const QColor disabled = option->palette.color(QPalette::Disabled, QPalette::Text);
        option->palette.setColor(QPalette::Text, disabled);
    }
    if (!index.data(KeyListModel::kRefusalRole).toString().isEmpty()) {
        option->icon = m_warning;
        option->features |= QStyleOptionViewItem::HasDecoration;
        // No taller than a line of text, so that marked rows keep the height of the others.
        const int side = option->fontMetrics.height();
        option->decorationSize = QSize(side, side);
    }
}

} // namespace quorvane
