#pragma once

#include "store/DataMaintenance.h"

#include <QDialog>
#include <QHash>
#include <memory>

class QAbstractButton;

namespace Ui {
class SettingsDlg;
}

// The settings dialog (134, "常规设置"): start with the system, shortcuts,
// maintenance of the data file and the holiday arrangement workdays follow. It holds no settings of its own;
// every button acts at once and reports in its own message boxes.
class CSettingsDlg : public QDialog
{
    Q_OBJECT

public:
    // Without a parent the main window becomes the parent: it is found by its title.
    explicit CSettingsDlg(QWidget* parent = nullptr);
    ~CSettingsDlg() override;

    // The push button of a control id (1, 1050-1055, 1064-1067), else null.
    QAbstractButton* button(int id) const;

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

    // Restore, compaction and the holiday loader; its refreshList defaults to the parent window's
    // ApplyFilter.
    CDataMaintenance& maintenance() { return m_maintenance; }

private:
    std::unique_ptr<Ui::SettingsDlg> m_ui;
    QHash<int, QAbstractButton*> m_buttons;
    CDataMaintenance m_maintenance;
};
