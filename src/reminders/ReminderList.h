#pragma once

#include "reminders/DueCheck.h"
#include "store/AdoDatabase.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QTableView>
#include <functional>

namespace reminders {
// The 重复 column of a page of records (rows of the seven ListFields() values):
// a snooze as 已暂停至 MM-dd HH:mm, a rule in words, 每天 for an every-day
// record, nothing for a dated one. The page's rules and snoozes are read at
// once, one read each.
QStringList RepeatTexts(CAdoDatabase& db, const RowSet& page);
} // namespace reminders

// The reminder records of the main window's list: one row per record, newest
// first. A row holds the seven values of ListFields(); the columns show them in
// that order with the 重复 column, worked out per page, after 时间. A table may
// hold far more records than anyone scrolls through, so the rows are read a page
// at a time, each page the records of the filter below the oldest id read so
// far, as the view scrolls to the end.
class ReminderListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int kColumnCount = 8;
    static constexpr int kRepeatColumn = 4;
    static constexpr int kIdColumn = 7;
    // Values held per row: ListFields().
    static constexpr int kFieldCount = 7;
    // Rows read at a time: a few screens of the list.
    static constexpr int kPageRows = 200;

    // Reads the seven values of at most maxRows records of a where clause,
    // newest first, appending one row per record; returns the number read, or
    // a negative store code with message set.
    using PageReader = std::function<int(const QString& where, RowSet& rows, int maxRows, QString& message)>;

    explicit ReminderListModel(QObject* parent = nullptr);

    // Where the rules and snoozes of each page are read (the program's store unless set).
    void setStore(StoreProvider store) { m_store = std::move(store); }

    // Starts over on the records of filterClause ("where ..." or empty): reads
    // the first page, by filter or by key (PageWhereClause). Returns the number
    // of rows read (at most kPageRows), or the reader's failure, which leaves
    // the list empty.
    int load(PageReader reader, const QString& filterClause, bool byFilter, QString& message);
    // Replaces every row at once, with their 重复 texts (none when not given);
    // nothing more to read.
    void setRows(RowSet rows, QStringList repeatTexts = QStringList());
    void clear();
    // A row's seven values in ListFields() order (missing ones empty), without
    // the 重复 text: what the editor and the deletion read. Empty for a row that
    // does not exist.
    QStringList rowValues(int row) const;
    // The text shown in a column.
    QString text(int row, int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    QStringList repeatTextsOf(const RowSet& page) const;

    RowSet m_rows;
    QStringList m_repeatTexts; // one per row
    StoreProvider m_store;
    PageReader m_reader;
    QString m_filter;
    bool m_byFilter = false;
    // A full page came last: there may be more.
    bool m_more = false;
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
