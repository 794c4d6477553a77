#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <functional>

class QGuiApplication;

// The end of the desktop session or a shutdown started elsewhere: the program
// releases its store and lets the session end. It listens to the session
// manager (commitDataRequest, aboutToQuit) and to logind, from which it holds
// a delay inhibitor until PrepareForShutdown says the shutdown is going ahead.
class SessionEnd : public QObject
{
    Q_OBJECT
public:
    // releaseStore: what releasing means; by default the application's ReleaseStore.
    explicit SessionEnd(std::function<void()> releaseStore = {}, QObject* parent = nullptr);
    ~SessionEnd() override;

    void watchApplication(QGuiApplication* app);
    // Takes logind's delay inhibitor for shutdowns and listens for
    // PrepareForShutdown. False when there is no logind to ask.
    bool watchLogind();
    bool watchLogind(const QDBusConnection& bus, const QString& service);

    // OnQueryEndSession: the session may always end; the store is released first.
    bool OnQueryEndSession();

    bool holdsInhibitor() const { return m_inhibitor.isValid(); }

public slots:
    void onPrepareForShutdown(bool starting);

private:
    std::function<void()> m_release;
    QDBusUnixFileDescriptor m_inhibitor;
};
