#pragma once

#include <QDBusConnection>
#include <QObject>

// Tells when the machine has woken from suspend or hibernation, by logind's
// PrepareForSleep(false) signal on the given bus (the system bus), so that the
// due check looks at once at the reminders that fell due meanwhile. Without
// logind it is silent; the due check's timer wakes at resume anyway.
class ResumeWatch : public QObject
{
    Q_OBJECT
public:
    explicit ResumeWatch(QDBusConnection bus, QObject* parent = nullptr);
    // True when the bus took the subscription.
    bool listening() const { return m_listening; }

signals:
    void resumed();

private slots:
    void onPrepareForSleep(bool sleeping);

private:
    bool m_listening = false;
};
