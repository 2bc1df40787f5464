#pragma once

#include "keys/KeyDetails.h"
#include "rebuild/FixRun.h"
#include "rebuild/RebuildScript.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace quorvane {

// The error a list view raises for a row or sub-item position that does not exist.
inline constexpr std::int32_t kIndexOutOfBounds = 35600;

// The rows of the primary-key list: one row per primary-key constraint, its own text the constraint name,
// sub-item 1 the table name, sub-item 2 the database name, and a tick. Rows stay in the order
// they were added; nothing sorts them. A row may carry fewer than two sub-items when filling it
// failed part way.
//
// The window's routines address rows and sub-items from 1, as the list view they were written
// for did; the Qt side of the model uses the usual 0-based indexes. A tick set through setData
// (the view, on the user's click or space bar) raises itemCheckedByUser; a tick set by the
// program through setItemChecked does not.
//
// Once the catalogue's details are known, every row's tool tip tells them (ToolTipRole), and two
// roles of the first column carry the marks the view draws: kClusteredRole (bool) and kRefusalRole
// (the predicted refusal in words, empty for none). Rows without details answer neither role.
class KeyListModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int kSubItemCount = 2;
    static constexpr int kClusteredRole = Qt::UserRole + 1;
    static constexpr int kRefusalRole = Qt::UserRole + 2;

    explicit KeyListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // Row access for the routines, positions from 1. Out-of-range positions throw
    // Failure(kIndexOutOfBounds).
    int itemCount() const { return static_cast<int>(m_rows.size()); }
    int addItem(const QString& text); // appends an unticked row; returns its position
    void addSubItem(int item, const QString& text);
    QString itemText(int item) const;
    QString subItemText(int item, int subItem) const;
    bool isItemChecked(int item) const;
    // A tick set by the program: no itemCheckedByUser.
    void setItemChecked(int item, bool checked);

    // The selection over all rows at once. Ticks set here are the program's (no itemCheckedByUser)
    // and reach the views as one change. setAllChecked ticks every row, or clears every tick.
    void setAllChecked(bool checked);
    // Ticks exactly the keys to rebuild (needsClusteredRebuild); rows without details are cleared.
    void checkKeysToRebuild();
    int checkedCount() const;
    // The ticked rows' tables and constraints (with their details for a script), in list order. A
    // ticked row without its table name throws Failure(kIndexOutOfBounds).
    QList<TickedTable> checkedTables() const;
    QList<ScriptKey> checkedScriptKeys() const;
    // The database the keys were read from: the first row's sub-item 2; empty for an empty list.
    // A first row without it throws Failure(kIndexOutOfBounds).
    QString databaseName() const;

    // Hands every row the details of its constraint and table name, announced to the views at once.
    void setDetails(KeyDetailsIndex& details);
    std::optional<KeyDetails> itemDetails(int item) const;

    // While a TickBatch lives, program ticks are collected and announced to the views with one
    // dataChanged when it ends, instead of one per row.
    class TickBatch
    {
    public:
        explicit TickBatch(KeyListModel& model);
        ~TickBatch();
        TickBatch(const TickBatch&) = delete;
        TickBatch& operator=(const TickBatch&) = delete;

    private:
        KeyListModel& m_model;
    };

Q_SIGNALS:
    // The user ticked or cleared the row at this position (from 1); the tick has already changed.
    void itemCheckedByUser(int item);

private:
    struct Row
    {
        QString text;
        std::array<QString, kSubItemCount> subItems;
        std::uint8_t subItemCount = 0;
        bool checked = false;
        std::optional<KeyDetails> details;
    };

    const Row& rowAt(int item) const;
    Row& rowAt(int item);
    void announceTick(int row);

    std::vector<Row> m_rows;
    int m_batchDepth = 0;
    int m_batchFirst = -1; // 0-based range of rows ticked while a batch was open
    int m_batchLast = -1;
};

} // namespace quorvane
