#include "reminders/DueQueue.h"

#include "base/FileOps.h"
#include "reminders/DueCheck.h"
#include "reminders/ReminderEditor.h"
#include "reminders/ReminderFilter.h"
#include "store/AdoDatabase.h"
#include "store/ProgramStore.h"
#include "store/StoreErrors.h"

#include <QDir>
#include <QFileInfo>
#include <sqlite3.h>

std::shared_ptr<CAdoDatabase> ClosedStore()
{
    static const std::shared_ptr<CAdoDatabase> closed = std::make_shared<CAdoDatabase>();
    return closed;
}

std::shared_ptr<CAdoDatabase> AppStore()
{
    std::shared_ptr<CAdoDatabase> db = ProgramDatabase();
    return db ? db : ClosedStore();
}

QString ReadOnlyReason(const CAdoDatabase& db)
{
    const QString file = db.FilePath();
    if (file.isEmpty())
        return QString();
    const QString folder = QFileInfo(file).absolutePath();
    QString detail;
    if (!fileops::CanWrite(folder))
        detail = QString::fromUtf8("数据文件夹 %1 是只读的").arg(QDir::toNativeSeparators(folder));
    else if (!fileops::CanWrite(file))
        detail = QString::fromUtf8("数据文件 %1 是只读的").arg(QDir::toNativeSeparators(file));
    else
        return QString();
    return store::ErrorText(SQLITE_READONLY, detail);
}

QString RefusedWriteText(const CAdoDatabase& db, const QString& storeMessage)
{
    const QString reason = ReadOnlyReason(db);
    return reason.isEmpty() ? storeMessage : reason;
}

QDateTime DueMoment(const QString& date, const QString& time, const QDateTime& now)
{
    if (date != QLatin1String(reminders::kEveryDay))
        return reminders::RecordDateTime(date, time);
    const QDateTime today = reminders::RecordDateTime(reminders::FormatDate(now), time);
    if (!today.isValid() || today <= now)
        return today;
    return reminders::RecordDateTime(reminders::FormatDate(now.addDays(-1)), time);
}

void DueQueue::rememberAcknowledged(const QString& recordId, const QDateTime& dueMoment)
{
    m_acknowledged.insert({recordId, dueMoment.toMSecsSinceEpoch()});
}

bool DueQueue::wasAcknowledged(const QString& recordId, const QDateTime& dueMoment) const
{
    return m_acknowledged.contains({recordId, dueMoment.toMSecsSinceEpoch()});
}

DueQueue::Due DueQueue::OnRemindersDue(DueCheckContext& context)
{
    if (!context.running.load())
        return Due::Exit;
    const QStringList found = context.takeDue();
    for (const QString& id : found) {
        if (!m_pendingIds.contains(id))
            m_pendingIds.append(id);
    }
    return Due::Queued;
}

bool DueQueue::ShowNextDueReminder(const RunPopup& runPopup)
{
    if (m_pendingIds.isEmpty() || m_alertShowing)
        return false;
    m_alertShowing = true;
    // Messages keep flowing while the popup runs: ids found meanwhile queue up
    // behind the head, and ticks of timer 1 find m_alertShowing set.
    runPopup(m_pendingIds.first());
    m_alertShowing = false;
    m_pendingIds.removeFirst();
    return true;
}

void DueQueue::reset()
{
    m_pendingIds.clear();
    m_alertShowing = false;
}
