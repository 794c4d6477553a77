#pragma once

#include "sync/SyncAccount.h"

#include <QDialog>
#include <QHash>
#include <QList>
#include <memory>

class QAbstractButton;

namespace Ui {
class SyncDlg;
}

// A calendar collection discovery found: its address and its display name.
struct SyncCalendarChoice
{
    QString url;
    QString name;
};

// The sync's settings ("同步设置"): the account, the calendar, the interval, a
// sync at once and the last outcome. It never waits for the network: it asks
// for discovery and syncs by its signals, and whoever runs them (the sync's
// runner, on its own thread) answers through setCalendars, setRunning and setStatus.
class CSyncDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CSyncDlg(QWidget* parent = nullptr);
    ~CSyncDlg() override;

    // The control of an id (2, 1080-1088), else null.
    QWidget* control(int id) const;

    void OnFind();
    void OnSyncNow();
    // Checks and stores the account, the password in the secret store; false
    // when a check failed or the user declined plain http.
    bool OnSave();

    // Discovery's answer: the calendar the account names is chosen, else "Tolva提醒";
    // never by default one of the user's other calendars.
    void setCalendars(const QList<SyncCalendarChoice>& calendars);
    // While a discovery or sync runs, the buttons that start one are disabled.
    void setRunning(bool running);
    // The last sync's outcome: "上次同步：…" or the error in Chinese.
    void setStatus(const QString& text);

signals:
    void discoverRequested(const sync::SyncAccount& account, const QString& password);
    void syncRequested();
    // The account was written: the runner takes its interval and calendar from now on.
    void accountSaved(const sync::SyncAccount& account);
    // No secret store answers: the password is kept for this run only.
    void passwordForRun(const QString& password);

private:
    bool readAccount(sync::SyncAccount& account);
    void keepPassword(const sync::SyncAccount& account);

    std::unique_ptr<Ui::SyncDlg> m_ui;
    QHash<int, QWidget*> m_controls;
    bool m_toldNoStore = false;
};
