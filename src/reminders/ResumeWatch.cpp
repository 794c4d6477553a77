#include "reminders/ResumeWatch.h"

ResumeWatch::ResumeWatch(QDBusConnection bus, QObject* parent) : QObject(parent)
{
    if (!bus.isConnected())
        return;
    m_listening =
        bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                    QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
                    SLOT(onPrepareForSleep(bool)));
    bus.connect(QStringLiteral("org.freedesktop.timedate1"), QStringLiteral("/org/freedesktop/timedate1"),
                QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"), this,
                SLOT(onTimedateChanged(QString, QVariantMap, QStringList)));
}

void ResumeWatch::onPrepareForSleep(bool sleeping)
{
    if (!sleeping)
        emit resumed();
}

void ResumeWatch::onTimedateChanged(const QString& interface, const QVariantMap& changed,
                                    const QStringList& invalidated)
{
    const QString zone = QStringLiteral("Timezone");
    if (interface == QLatin1String("org.freedesktop.timedate1") &&
        (changed.contains(zone) || invalidated.contains(zone)))
        emit zoneChanged();
}
