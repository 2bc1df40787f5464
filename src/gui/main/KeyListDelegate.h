#pragma once

#include <QIcon>
#include <QStyledItemDelegate>

namespace quorvane {

// Draws the marks of the primary-key list from the model's roles (see KeyListModel): a row whose
// key is clustered already in the disabled text colour, and a warning icon in the first column of
// a row whose rebuild the server will refuse. Everything else is drawn as the view would.
class KeyListDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit KeyListDelegate(QObject* parent = nullptr);

    // The options a cell is drawn with; public so that the marks can be checked without pixels.
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    QIcon m_warning;
};

} // namespace quorvane
