#include "reminders/RecordDeletion.h"

#include "base/Constants.h"
#include "base/MainWindowIds.h"
#include "calendar/Recurrence.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/Seams.h"
#include "reminders/DueQueue.h"
#include "reminders/ReminderEditor.h"
#include "reminders/ReminderFilter.h"
#include "reminders/Repeat.h"
#include "store/AdoDatabase.h"
#include "sync/SyncEngine.h"
#include "widgets/MenuResource.h"

#include <QMenu>
#include <QWidget>
#include <memory>

namespace deletion {
namespace {
std::shared_ptr<CAdoDatabase> storeFrom(const StoreProvider& store)
{
    std::shared_ptr<CAdoDatabase> db = store ? store() : AppStore();
    return db ? db : ClosedStore();
}

// A deletion question: No is the default button, so that an Enter never
// deletes, and the box stays above every window like the program's other questions.
bool confirmed(QWidget* owner, const QString& question)
{
    return ShowMessageBox(owner, question, QString(), MbButtons::YesNo, MbIcon::None, MbResult::No, true) ==
           MbResult::Yes;
}

// A deletion the store refused says why; one that found nothing to delete
// shows in the reloaded list.
void deleteRows(QWidget* owner, const StoreProvider& store, const QString& clause, int maxRecords)
{
    const std::shared_ptr<CAdoDatabase> db = storeFrom(store);
    QString message = clause;
    if (db->DeleteRows(QString::fromUtf8(tolva::kReminderTable), clause, maxRecords, message) < 0)
        ShowMessageBox(owner, RefusedWriteText(*db, message));
}

void done(const Editor& editor)
{
    if (editor.backToAddMode)
        editor.backToAddMode();
}

void declined(const Editor& editor)
{
    if (editor.declined)
        editor.declined();
}
} // namespace

QPoint ContextMenuPoint(const QPoint& cursorPos, const QWidget* owner)
{
    if (cursorPos != QPoint(-1, -1) || !owner)
        return cursorPos;
    return owner->mapToGlobal(QPoint(0, 0)) + QPoint(5, 5);
}

int OnListRightClick(QWidget* owner, int selectedRowCount, const QPoint& cursorPos, const MenuRunner& runMenu)
{
    if (selectedRowCount != 1)
        return 0;
    const QList<MenuPopupTemplate> popups = LoadMenuResource(kMenuMain);
    if (popups.isEmpty())
        return 0;
    std::unique_ptr<QMenu> menu(BuildPlainMenu(popups.first(), owner));
    const QPoint at = ContextMenuPoint(cursorPos, owner);
    QAction* chosen = runMenu ? runMenu(menu.get(), at) : menu->exec(at);
    return chosen ? chosen->data().toInt() : 0;
}

void DeleteSelectedRecord(QWidget* owner, const QString& id, const QString& subject, const Editor& editor,
                          const StoreProvider& store)
{
    if (id.isEmpty())
        return;
    // A synced record leaves the server too, and so the user's other machines: the question says so.
    const bool synced = reminders::IsRecordId(id) && [&] {
        const std::shared_ptr<CAdoDatabase> db = storeFrom(store);
        return sync::IsSynced(*db, repeat::UidOf(*db, id));
    }();
    const QString question =
        QString::fromUtf8("真的要删除标题为“") + subject +
        QString::fromUtf8(synced ? "”的记录吗？同步服务器上的这条提醒也会一起删除。  " : "”的记录吗？  ");
    if (!confirmed(owner, question)) {
        declined(editor);
        return;
    }
    // The id goes into the statement as it stands; anything but digits would
    // change the statement, so it is never sent.
    if (reminders::IsRecordId(id))
        deleteRows(owner, store, QStringLiteral("where id=") + id, 1);
    done(editor);
}

QString ExpiredCondition(const QDateTime& now)
{
    const QString d = reminders::FormatDate(now);
    const QString t = reminders::FormatTime(now);
    return QStringLiteral("date='") + d + QStringLiteral("' and time<'") + t +
           QStringLiteral("' or date <'") + d + QStringLiteral("'");
}

QStringList ComingAgain(CAdoDatabase& db, const QDateTime& now)
{
    // Few records are dated in the past with a rule: those the program has not
    // moved on yet, and series that have ended.
    const QString table = QString::fromUtf8(tolva::kReminderTable);
    const QString where = QStringLiteral("where (") + ExpiredCondition(now) +
                          QStringLiteral(") and id in (select id from ") + QLatin1String(repeat::kRuleTable) +
                          QLatin1Char(')');
    QString message = where;
    const int count = db.CountRows(table, where, message);
    if (count <= 0)
        return {};
    RowSet rows;
    message = where;
    if (db.SelectRows(table, where, {QStringLiteral("id")}, rows, count, message) <= 0)
        return {};
    QStringList ids;
    for (const Row& row : rows)
        ids << row.value(0);
    return repeat::NextOccurrences(db, ids, calendar::wallTime(now.date(), now.time())).keys();
}

QString ExpiredBatchClause(const QDateTime& now, const QStringList& comingAgain)
{
    // The deletion itself takes records in no order; naming the ten lowest ids
    // makes the batch the ten earliest records, as the question promises.
    // A snooze that ended on an earlier day was missed for good, as the list's
    // 未提醒记录 has it; one lasting until today or later comes again.
    QString spared = QStringLiteral("id not in (select id from %1 where until>='%2')")
                         .arg(QLatin1String(repeat::kSnoozeTable), reminders::FormatDate(now));
    QStringList keys;
    for (const QString& id : comingAgain) {
        if (reminders::IsRecordId(id))
            keys << id;
    }
    if (!keys.isEmpty())
        spared += QStringLiteral(" and id not in (") + keys.join(QLatin1Char(',')) + QLatin1Char(')');
    return QStringLiteral("where id in (select id from %1 where (%2) and %3 order by id limit %4)")
        .arg(QString::fromUtf8(tolva::kReminderTable), ExpiredCondition(now), spared)
        .arg(kExpiredBatch);
}

void DeleteExpiredRecords(QWidget* owner, const Editor& editor, const StoreProvider& store)
{
    const QDateTime now = seams::clock().now();
    if (!confirmed(owner, QString::fromUtf8("是否批量删除10条最早的过期数据？  "))) {
        declined(editor);
        return;
    }
    deleteRows(owner, store, ExpiredBatchClause(now, ComingAgain(*storeFrom(store), now)), kExpiredBatch);
    done(editor);
}

} // namespace deletion
