#pragma once

#include <QDialog>
#include <QTimer>
#include <memory>

namespace Ui {
class RepairDlg;
}

// The runtime repair notice (dialog 136) that start-up shows once when the store
// cannot be opened, before it tries again. It repairs what it can while it
// initialises, then shows its notice for five seconds and closes itself.
class CRepairDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CRepairDlg(QWidget* parent = nullptr);
    ~CRepairDlg() override;

    // On Windows this registers the six data-access libraries again. SQLite is
    // linked into the program, so there is nothing to register. Returns 1.
    int RegisterAdoDlls();

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
};
