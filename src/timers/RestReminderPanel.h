#pragma once

#include "timers/RestReminder.h"

#include <QObject>
#include <memory>

class DialogTimers;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class UpDownControl;

// The group "定时休息提醒" of the main window: its controls as the rest
// reminder's view, and the rest reminder itself, ticking on the window's timer 5.
class RestReminderPanel : public QObject, private RestReminderView
{
    Q_OBJECT
public:
    struct Controls
    {
        QLineEdit* minutesEdit = nullptr;       // 1027
        UpDownControl* spin = nullptr;          // 1032
        QCheckBox* runningCheck = nullptr;      // 1029
        QPushButton* startStopButton = nullptr; // 1030
        QLabel* statusLabel = nullptr;          // 1031
    };

    // owner: the window that owns the message boxes and the timers.
    RestReminderPanel(const Controls& controls, QWidget* owner, DialogTimers& timers);
    ~RestReminderPanel() override;

    RestReminder& rest() const { return *m_rest; }

    // The interval from the settings, shown in the edit.
    void setRestMinutes(int minutes);
    // The bound read of the interval edit (false: refused and reported).
    bool readControls();
    // The interval as last read; the feature owns the one it runs with.
    int restMinutes() const { return m_restMinutes; }

public slots:
    void OnRestStartStop();
    void RestTick();

private:
    QString restIntervalText() const override;
    void setRestIntervalText(const QString& text) override;
    void focusRestInterval() override;
    void setRestIntervalEnabled(bool enabled) override;
    void setRestRunningChecked(bool checked) override;
    QString restButtonCaption() const override;
    void setRestButtonCaption(const QString& caption) override;
    void setRestStatus(const QString& text) override;
    void startRestTimer(int periodMs) override;
    void killRestTimer() override;

    Controls m_c;
    QWidget* m_owner;
    DialogTimers& m_timers;
    std::unique_ptr<RestReminder> m_rest;
    int m_restMinutes = 30;
};
