#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// Tells when the machine has woken from suspend or hibernation, by logind's
// PrepareForSleep(false) signal on the given bus (the system bus), so that the
// due check looks at once at the reminders that fell due meanwhile; and when
// timedated has changed the local zone (PropertiesChanged of its Timezone),
// which sets no clock. Without those services it is silent: the due check's
// timer wakes at resume, and its watch of /etc/localtime sees a zone change.
class ResumeWatch : public QObject
{
    Q_OBJECT
public:
    explicit ResumeWatch(QDBusConnection bus, QObject* parent = nullptr);
    // True when the bus took the subscription.
    bool listening() const { return m_listening; }

signals:
    void resumed();
    void zoneChanged();

private slots:
    void onPrepareForSleep(bool sleeping);
    void onTimedateChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated);

private:
    bool m_listening = false;
};
