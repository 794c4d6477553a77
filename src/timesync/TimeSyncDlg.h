#pragma once

#include "platform/SystemClock.h"
#include "timesync/TimeProtocol.h"

#include <QDialog>
#include <QPoint>
#include <memory>

class AsyncSocket;
class DialogTimers;
class QPlainTextEdit;
class QTableWidget;

namespace Ui {
class TimeSyncDlg;
}

// One calibration at a time for the whole program: it outlives a closed dialog,
// so the next dialog finds the server chosen last.
struct TimeSyncState
{
    enum class Phase { Idle, Connecting, Connected };

    QString serverAddress; // dotted; empty until the first calibration of the run
    std::unique_ptr<AsyncSocket> socket;
    timeproto::ReplyReader reply;
    Phase phase = Phase::Idle;
};
TimeSyncState& TimeSyncCalibration();

// Dialog 135: sets the machine's clock from one of the built-in time servers.
class CTimeSyncDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CTimeSyncDlg(QWidget* parent = nullptr);
    ~CTimeSyncDlg() override;

    // Button 1058.
    void OnCalibrate();
    // An event of the calibration's socket (sockev flag, error number).
    void OnSocketNotify(int event, int error);
    // The progress timer; the dialog has no other.
    void OnTimer(int id);
    // Button 2 and the close box.
    void OnCancel();

    // Appends printf-style text at the caret of the log box.
    void AppendLog(const char* format, ...) __attribute__((format(printf, 2, 3)));

    QWidget* GetDlgItem(int id) const;
    const DialogTimers& timers() const { return *m_timers; }

    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void OnInitDialog();
    void setClockFromReply(quint32 reply);
    // The system's answer to the clock setting that setClockFromReply asked for.
    void clockAnswered(const SystemClock::Result& result, const QDateTime& before, const QDateTime& utc,
                       qint64 askedAt);
    void endCalibration();

    std::unique_ptr<Ui::TimeSyncDlg> m_ui;
    QPlainTextEdit* m_log = nullptr;
    QTableWidget* m_list = nullptr;
    DialogTimers* m_timers; // window timer 1
    // Where the dialog was grabbed, when the window system cannot move it itself.
    bool m_dragging = false;
    QPoint m_grabOffset;
};
