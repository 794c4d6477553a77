#pragma once

#include "store/DatabaseRepair.h"

#include <QDialog>
#include <QTimer>
#include <memory>

namespace Ui {
class RepairDlg;
}

// The runtime repair notice (dialog 136) that start-up shows once when the store
// cannot be opened, before it tries again. It repairs what it can while it
// initialises, then shows its notice for five seconds and closes itself; what
// the repair did, if anything, it tells in one message as it closes.
class CRepairDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CRepairDlg(QWidget* parent = nullptr);
    ~CRepairDlg() override;

    // SQLite is linked into the program, so there are no data-access libraries
    // to register again. What does go wrong is a damaged data file: it is
    // repaired here (RepairDataFile). A file that is only locked or unreadable
    // is left alone. Returns 1.
    int RegisterAdoDlls();
    const store::RepairResult& repairResult() const { return m_repair; }

    // Timer 1 ends the notice; other ids are not the dialog's.
    void OnTimer(int id);

    // The notice's lifetime, 5000 ms; tests shorten it.
    void setCloseInterval(int ms) { m_closeTimer.setInterval(ms); }
    int closeInterval() const { return m_closeTimer.interval(); }
    bool closeTimerActive() const { return m_closeTimer.isActive(); }

    void setVisible(bool visible) override;

private:
    void OnInitDialog();

    std::unique_ptr<Ui::RepairDlg> m_ui;
    QTimer m_closeTimer;
    bool m_initialised = false;
    store::RepairResult m_repair;
};
