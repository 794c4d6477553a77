#include "base/DialogTimers.h"

#include <QTimer>

DialogTimers::DialogTimers(Handler onTimer, QObject* parent) : QObject(parent), m_onTimer(std::move(onTimer))
{
}

DialogTimers::~DialogTimers() = default;

void DialogTimers::SetTimer(int id, int periodMs, bool oneShot, bool precise)
{
    QTimer*& timer = m_timers[id];
    if (!timer) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] {
            if (m_onTimer)
                m_onTimer(id);
        });
    }
    timer->setSingleShot(oneShot);
    timer->setTimerType(precise ? Qt::PreciseTimer : Qt::CoarseTimer);
    timer->start(periodMs);
}

void DialogTimers::KillTimer(int id)
{
    const auto it = m_timers.find(id);
    if (it != m_timers.end())
        it->second->stop();
}

void DialogTimers::KillAll()
{
    for (auto& entry : m_timers)
        entry.second->stop();
}

bool DialogTimers::IsRunning(int id) const
{
    const auto it = m_timers.find(id);
    return it != m_timers.end() && it->second->isActive();
}

int DialogTimers::Period(int id) const
{
    const auto it = m_timers.find(id);
    return it == m_timers.end() ? -1 : it->second->interval();
}

bool DialogTimers::IsPrecise(int id) const
{
    const auto it = m_timers.find(id);
    return it != m_timers.end() && it->second->timerType() == Qt::PreciseTimer;
}

bool DialogTimers::IsOneShot(int id) const
{
    const auto it = m_timers.find(id);
    return it != m_timers.end() && it->second->isSingleShot();
}
