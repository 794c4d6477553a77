#include "reminders/ResumeWatch.h"

ResumeWatch::ResumeWatch(QDBusConnection bus, QObject* parent) : QObject(parent)
{
    if (bus.isConnected())
        m_listening =
            bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                        this, SLOT(onPrepareForSleep(bool)));
}

void ResumeWatch::onPrepareForSleep(bool sleeping)
{
    if (!sleeping)
        emit resumed();
}
