#pragma once

#include "reminders/DueCheck.h"

#include <QDateTime>
#include <QPoint>
#include <QString>
#include <functional>

class QAction;
class QMenu;
class QWidget;

// Deleting reminder records from the main window: the list's context menu, one
// selected record after a question naming its subject, or a batch of the ten
// earliest expired records.
namespace deletion {

// Where the context menu opens: the cursor, or, when the cursor position reads
// (-1, -1), the owner's client area's top-left corner moved by 5 pixels.
QPoint ContextMenuPoint(const QPoint& cursorPos, const QWidget* owner);

// Runs a menu at a screen point and returns the chosen action, or null.
using MenuRunner = std::function<QAction*(QMenu* menu, const QPoint& at)>;

// OnListRightClick: with exactly one selected row, opens the first pop-up of
// menu 129 and returns the chosen command id (32772 or 32780); otherwise, and
// when nothing is chosen, 0. The caller runs the command.
int OnListRightClick(QWidget* owner, int selectedRowCount, const QPoint& cursorPos,
                     const MenuRunner& runMenu = MenuRunner());

// What the main window does after a deletion and after the answer No.
struct Editor
{
    // Back to add mode: re-enable the edits if auto-shutdown was set, show the
    // auto-shutdown box, clear it, ClearEditor(), captions "添  加" / "刷  新",
    // and reload the list with the current filter.
    std::function<void()> backToAddMode;
    // The answer No: button 1020 reads "删  除".
    std::function<void()> declined;
};

// DeleteSelectedRecord: id and subject are the selected row's (columns 6 and
// 0); an empty id means no row is selected and nothing is asked. A deletion
// the store refuses says why in a message; one that finds nothing says nothing.
void DeleteSelectedRecord(QWidget* owner, const QString& id, const QString& subject, const Editor& editor,
                          const StoreProvider& store = StoreProvider());

// DeleteExpiredRecords: at most the ten lowest ids among the expired records.
void DeleteExpiredRecords(QWidget* owner, const Editor& editor, const StoreProvider& store = StoreProvider());

// The records dated before that moment: today before now, or any earlier day.
// "Every Day" sorts after every date, so it never expires.
QString ExpiredCondition(const QDateTime& now);
// The records dated before now that still come again: a repeating record not
// yet moved on from an occurrence while its series goes on. Empty when the
// store cannot say (nothing is then spared by it; snoozes still are).
QStringList ComingAgain(CAdoDatabase& db, const QDateTime& now);
// The where clause of one batch: the ten lowest ids of the expired records,
// which are those dated before now but neither snoozed until today or later
// nor in `comingAgain`.
QString ExpiredBatchClause(const QDateTime& now, const QStringList& comingAgain = {});

inline constexpr int kExpiredBatch = 10;

} // namespace deletion
