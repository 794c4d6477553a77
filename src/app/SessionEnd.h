#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <functional>

class QGuiApplication;
class QSocketNotifier;

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

    // SIGTERM, SIGHUP and SIGINT (the session ending, the terminal closing,
    // Ctrl+C) end the program as the end of the session does: the store is
    // released, then end runs; by default every event loop of the main thread
    // is left, so the modal runs return and the program ends through its
    // normal path. The handler only writes the signal's number to a pipe; the
    // work is done on the event loop. One object at a time may watch; false
    // if another does or the pipe cannot be made.
    bool watchSignals(std::function<void()> end = {});

    // OnQueryEndSession: the session may always end; the store is released first.
    bool OnQueryEndSession();

    bool holdsInhibitor() const { return m_inhibitor.isValid(); }

public slots:
    void onPrepareForShutdown(bool starting);

private:
    void onSignalPipe();

    std::function<void()> m_release;
    std::function<void()> m_end;
    QSocketNotifier* m_signals = nullptr;
    QDBusUnixFileDescriptor m_inhibitor;
};
