#include "reminders/ReminderList.h"

#include "calendar/Recurrence.h"
#include "calendar/RuleWords.h"
#include "calendar/WorkdayCalendar.h"
#include "reminders/DueQueue.h"
#include "reminders/ReminderFilter.h"
#include "reminders/Repeat.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <algorithm>

const ReminderListView::Column ReminderListView::kColumns[ReminderListModel::kColumnCount] = {
    {"标题", 60},  {"内容", 140}, {"日期", 72},      {"时间", 60},
    {"重复", 100}, {"生效", 40},  {"记录时间", 138}, {"ID", 0},
};

namespace reminders {
namespace {
constexpr int kIdField = 6;
constexpr int kDateField = 2;

// A workday rule says so when the year of its next occurrence has no official arrangement.
QString workdayText(const QString& date, const repeat::Rule& rule, const calendar::WorkdayCalendar& workdays)
{
    QDate day = QDate::fromString(date, QLatin1String(kDateFormat));
    if (!day.isValid())
        day = calendar::wallFromText(rule.dtstart).date();
    return calendar::workdayWords(day.isValid() && !workdays.covers(day.year()) ? day.year() : 0);
}
} // namespace

QStringList RepeatTexts(CAdoDatabase& db, const RowSet& page)
{
    QStringList ids;
    for (const Row& row : page)
        ids << row.value(kIdField);
    const QHash<QString, repeat::Rule> rules = repeat::ReadRules(db, ids);
    const QHash<QString, QDateTime> snoozes = repeat::SnoozesOf(db, ids);
    std::shared_ptr<const calendar::WorkdayCalendar> workdays;
    QStringList texts;
    for (const Row& row : page) {
        const QString id = row.value(kIdField);
        if (const auto snooze = snoozes.constFind(id); snooze != snoozes.cend()) {
            texts << QStringLiteral("已暂停至 ") + snooze->toString(QStringLiteral("MM-dd HH:mm"));
        } else if (const auto rule = rules.constFind(id); rule != rules.cend()) {
            if (rule->isWorkdays()) {
                if (!workdays)
                    workdays = repeat::Workdays(db);
                texts << workdayText(row.value(kDateField), *rule, *workdays);
            } else {
                texts << calendar::ruleWords(rule->rrule, calendar::wallFromText(rule->dtstart));
            }
        } else {
            texts << (row.value(kDateField) == QLatin1String(kEveryDay) ? QStringLiteral("每天") : QString());
        }
    }
    return texts;
}

} // namespace reminders

ReminderListModel::ReminderListModel(QObject* parent) : QAbstractTableModel(parent), m_store(AppStore) {}

QStringList ReminderListModel::repeatTextsOf(const RowSet& page) const
{
    std::shared_ptr<CAdoDatabase> db = m_store ? m_store() : nullptr;
    if (!db)
        db = ClosedStore();
    return reminders::RepeatTexts(*db, page);
}

int ReminderListModel::load(PageReader reader, const QString& filterClause, bool byFilter, QString& message)
{
    RowSet rows;
    const int read =
        reader ? reader(reminders::PageWhereClause(filterClause, -1, byFilter), rows, kPageRows, message) : 0;
    if (read < 0) {
        clear();
        return read;
    }
    QStringList texts = repeatTextsOf(rows);
    setRows(std::move(rows), std::move(texts));
    m_reader = std::move(reader);
    m_filter = filterClause;
    m_byFilter = byFilter;
    m_more = read == kPageRows;
    return read;
}

void ReminderListModel::setRows(RowSet rows, QStringList repeatTexts)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_repeatTexts = std::move(repeatTexts);
    while (m_repeatTexts.size() < m_rows.size())
        m_repeatTexts.append(QString());
    m_reader = PageReader();
    m_filter.clear();
    m_byFilter = false;
    m_more = false;
    endResetModel();
}

void ReminderListModel::clear()
{
    if (m_rows.isEmpty() && !m_more)
        return;
    setRows(RowSet());
}

bool ReminderListModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && m_more && !m_rows.isEmpty();
}

void ReminderListModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    // Keyed on the id, not on a row offset: records added or deleted since
    // the last page neither repeat nor hide a row, and the store finds the
    // page on the key without walking the rows above it.
    const qint64 oldest = text(int(m_rows.size()) - 1, kIdColumn).toLongLong();
    RowSet page;
    QString message;
    const int read =
        m_reader(reminders::PageWhereClause(m_filter, oldest, m_byFilter), page, kPageRows, message);
    m_more = read == kPageRows;
    if (read <= 0)
        return;
    page = page.mid(0, read);
    const QStringList texts = repeatTextsOf(page);
    beginInsertRows(QModelIndex(), int(m_rows.size()), int(m_rows.size()) + read - 1);
    m_rows.append(page);
    m_repeatTexts.append(texts);
    endInsertRows();
}

QStringList ReminderListModel::rowValues(int row) const
{
    if (row < 0 || row >= m_rows.size())
        return {};
    QStringList values = m_rows.at(row);
    while (values.size() < kFieldCount)
        values.append(QString());
    return values.mid(0, kFieldCount);
}

QString ReminderListModel::text(int row, int column) const
{
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= kColumnCount)
        return QString();
    if (column == kRepeatColumn)
        return m_repeatTexts.value(row);
    // The columns after 重复 show the fields one place to their right.
    return m_rows.at(row).value(column < kRepeatColumn ? column : column - 1);
}

int ReminderListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ReminderListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant ReminderListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return text(index.row(), index.column());
    case Qt::ToolTipRole:
        // Long rules do not fit their column.
        return index.column() == kRepeatColumn ? QVariant(text(index.row(), index.column())) : QVariant();
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    default:
        return QVariant();
    }
}

QVariant ReminderListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return QVariant();
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(ReminderListView::kColumns[section].header);
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    return QVariant();
}

Qt::ItemFlags ReminderListModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

ReminderListView::ReminderListView(QWidget* parent) : QTableView(parent)
{
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    QPalette pal = palette();
    pal.setColor(QPalette::Base, BackgroundColour());
    pal.setColor(QPalette::AlternateBase, BackgroundColour());
    setPalette(pal);

    QHeaderView* rows = verticalHeader();
    rows->hide();
    // Fixed heights: the view never measures its rows, however many there are.
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);

    QHeaderView* columns = horizontalHeader();
    columns->setHighlightSections(false);
    columns->setSectionsClickable(false);
    columns->setSectionsMovable(false);
    columns->setStretchLastSection(false);
    columns->setMinimumSectionSize(0);
    columns->setDefaultAlignment(Qt::AlignCenter);
}

void ReminderListView::setModel(QAbstractItemModel* model)
{
    QTableView::setModel(model);
    applyColumns();
}

void ReminderListView::applyColumns()
{
    if (!model())
        return;
    QHeaderView* columns = horizontalHeader();
    for (int i = 0; i < ReminderListModel::kColumnCount && i < model()->columnCount(); ++i) {
        columns->setSectionResizeMode(i, QHeaderView::Interactive);
        columns->resizeSection(i, kColumns[i].width);
    }
    // The id column has no width: present for whoever reads the id, never seen.
    setColumnHidden(ReminderListModel::kIdColumn, true);
}

int ReminderListView::FirstSelectedRow() const
{
    if (!selectionModel())
        return -1;
    int first = -1;
    const QItemSelection selection = selectionModel()->selection();
    for (const QItemSelectionRange& range : selection) {
        if (first < 0 || range.top() < first)
            first = range.top();
    }
    return first;
}

int ReminderListView::SelectedRowCount() const
{
    if (!selectionModel())
        return 0;
    // Distinct rows over all ranges, whatever columns each range covers.
    QList<QPair<int, int>> spans;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        spans.append({range.top(), range.bottom()});
    std::sort(spans.begin(), spans.end());
    int count = 0;
    int end = -1;
    for (const auto& span : spans) {
        const int from = qMax(span.first, end + 1);
        if (span.second >= from)
            count += span.second - from + 1;
        end = qMax(end, span.second);
    }
    return count;
}

void ReminderListView::mouseReleaseEvent(QMouseEvent* event)
{
    const Qt::MouseButton button = event->button();
    QTableView::mouseReleaseEvent(event);
    if (button == Qt::LeftButton)
        emit listClicked();
    else if (button == Qt::RightButton)
        emit listRightClicked();
}
