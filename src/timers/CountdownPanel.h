#pragma once

#include "timers/Countdown.h"

#include <QObject>
#include <memory>

class DialogTimers;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class UpDownControl;

// The group "倒数计时提醒" of the main window: its controls as the countdown's
// view, and the countdown itself, ticking on the window's timer 6. The shutdown
// at the end is the window's to do (shutdownRequested).
class CountdownPanel : public QObject, private CountdownView
{
    Q_OBJECT
public:
    struct Controls
    {
        QLineEdit* hoursEdit = nullptr;         // 1033
        QLineEdit* minutesEdit = nullptr;       // 1039
        QLineEdit* secondsEdit = nullptr;       // 1041
        UpDownControl* hourSpin = nullptr;      // 1034
        UpDownControl* minuteSpin = nullptr;    // 1040
        UpDownControl* secondSpin = nullptr;    // 1042
        QCheckBox* shutdownCheck = nullptr;     // 1038
        QCheckBox* runningCheck = nullptr;      // 1043, hidden
        QPushButton* startStopButton = nullptr; // 1044
        QLabel* statusLabel = nullptr;          // 1035
    };

    // owner: the window that owns the message boxes and the timers.
    CountdownPanel(const Controls& controls, QWidget* owner, DialogTimers& timers);
    ~CountdownPanel() override;

    Countdown& countdown() const { return *m_countdown; }

    // The duration from the settings, shown in the edits.
    void setDuration(int hours, int minutes, int seconds);
    // The bound read of the three edits, hours first; stops at the first
    // refused one (false), which is reported.
    bool readControls();
    // The fields as last read; the feature owns the ones it runs with.
    int countdownHours() const { return m_fields[Hours]; }
    int countdownMinutes() const { return m_fields[Minutes]; }
    int countdownSeconds() const { return m_fields[Seconds]; }

public slots:
    void OnCountdownStartStop();
    void OnCountdownShutdownClicked();
    void CountdownTick();

signals:
    // The countdown has ended with a shutdown: the program is to power off now.
    void shutdownRequested();

private:
    QLineEdit* countdownEdit(Field field) const;
    QString countdownFieldText(Field field) const override;
    void setCountdownFieldText(Field field, const QString& text) override;
    void focusCountdownField(Field field) override;
    bool countdownShutdownChecked() const override;
    void setCountdownShutdownChecked(bool checked) override;
    void setCountdownRunningChecked(bool checked) override;
    void setCountdownControlsEnabled(bool enabled) override;
    QString countdownButtonCaption() const override;
    void setCountdownButtonCaption(const QString& caption) override;
    void setCountdownStatus(const QString& text) override;
    void startCountdownTimer(int periodMs) override;
    void killCountdownTimer() override;

    Controls m_c;
    QWidget* m_owner;
    DialogTimers& m_timers;
    std::unique_ptr<Countdown> m_countdown;
    int m_fields[3] = {12, 30, 30};
};
