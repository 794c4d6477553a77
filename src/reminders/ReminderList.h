#pragma once

#include "store/AdoDatabase.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QTableView>

// The reminder records of the main window's list: one row per record, the
// seven values of ListFields() per row, in the order the store returned them.
class ReminderListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int kColumnCount = 7;
    static constexpr int kIdColumn = 6;

    explicit ReminderListModel(QObject* parent = nullptr);

    // Replaces every row at once.
    void setRows(RowSet rows);
    void clear();
    // A row's seven values (missing ones empty); empty for a row that does not exist.
    QStringList rowValues(int row) const;
    QString text(int row, int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    RowSet m_rows;
};

// The report-style list: grid lines, whole rows selected (several at once),
// centred columns of fixed widths, the id column present but not shown.
// Reports every left click, on a row or on empty space, after the selection
// has followed it, and every right click likewise.
class ReminderListView : public QTableView
{
    Q_OBJECT
public:
    // Header and width in pixels of each column.
    struct Column
    {
        const char* header;
        int width;
    };
    static const Column kColumns[ReminderListModel::kColumnCount];
    // Background and text background of the list.
    static QColor BackgroundColour() { return QColor(240, 247, 233); }

    explicit ReminderListView(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;

    // The first selected row in list order, or -1.
    int FirstSelectedRow() const;
    int SelectedRowCount() const;

signals:
    void listClicked();
    void listRightClicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void applyColumns();
};
