#pragma once

#include "store/DataMaintenance.h"

#include <QDialog>
#include <QHash>
#include <functional>
#include <memory>

class QAbstractButton;

namespace Ui {
class SettingsDlg;
}

// The settings dialog (134, "常规设置"): start with the system, shortcuts,
// maintenance of the data file, iCalendar files, the holiday arrangement
// workdays follow, how reminders reach the user, and the sync. Every button
// acts at once and reports in its own message boxes; every switch is written
// to the settings file as it changes.
class CSettingsDlg : public QDialog
{
    Q_OBJECT

public:
    // Without a parent the main window becomes the parent: it is found by its title.
    explicit CSettingsDlg(QWidget* parent = nullptr);
    ~CSettingsDlg() override;

    // The button or check box of a control id (1, 1050-1055, 1064-1069, 1072, 1073, 1076), else null.
    QAbstractButton* button(int id) const;
    // The control of any id, buttons included.
    QWidget* control(int id) const;

    // Opens the sync's dialog; set by the program at start ("同步…" is enabled only then).
    static void SetSyncOpener(std::function<void(QWidget* parent)> opener);

    void OnAutostartOn();
    void OnAutostartOff();
    void OnAutostartRepair();
    void OnShortcutSend();
    void OnShortcutDelete();
    void OnShortcutRepair();
    void OnBackup();
    void OnRestore();
    void OnCompact();
    // Enabled only where the program has set its holiday keeper (SetHolidayKeeper).
    void OnLoadHolidays();
    void OnImport();
    void OnExport();
    void OnSync();

    // Restore, compaction and the holiday loader; its refreshList defaults to the parent window's
    // ApplyFilter.
    CDataMaintenance& maintenance() { return m_maintenance; }

private:
    std::unique_ptr<Ui::SettingsDlg> m_ui;
    void wireSwitches();

    QHash<int, QAbstractButton*> m_buttons;
    QHash<int, QWidget*> m_controls;
    CDataMaintenance m_maintenance;
};
