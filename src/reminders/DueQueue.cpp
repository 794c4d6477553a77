#include "reminders/DueQueue.h"

#include "reminders/DueCheck.h"
#include "store/AdoDatabase.h"
#include "store/ProgramStore.h"

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
