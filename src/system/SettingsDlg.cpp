#include "system/SettingsDlg.h"

#include "base/Constants.h"
#include "store/ProgramStore.h"
#include "system/Autostart.h"
#include "system/SettingsDlgIds.h"
#include "system/Shortcuts.h"
#include "ui_SettingsDlg.h"
#include "widgets/DialogLayout.h"

#include <QApplication>

namespace {
QWidget* mainWindow()
{
    const QString title = QString::fromUtf8(tolva::kMainWindowTitle);
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->windowTitle() == title)
            return w;
    }
    return nullptr;
}
} // namespace

CSettingsDlg::CSettingsDlg(QWidget* parent)
    : QDialog(parent ? parent : mainWindow()), m_ui(std::make_unique<Ui::SettingsDlg>()),
      m_maintenance(this, ProgramStoreService())
{
    setFont(DialogFont());
    m_ui->setupUi(this);
    ApplyDialogUnits(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    const struct
    {
        int id;
        QAbstractButton* button;
        void (CSettingsDlg::*handler)();
    } table[] = {
        {ids::kSettingsAutostartOn, m_ui->autostartOnButton, &CSettingsDlg::OnAutostartOn},
        {ids::kSettingsAutostartOff, m_ui->autostartOffButton, &CSettingsDlg::OnAutostartOff},
        {ids::kSettingsAutostartRepair, m_ui->autostartRepairButton, &CSettingsDlg::OnAutostartRepair},
        {ids::kSettingsShortcutSend, m_ui->shortcutSendButton, &CSettingsDlg::OnShortcutSend},
        {ids::kSettingsShortcutDelete, m_ui->shortcutDeleteButton, &CSettingsDlg::OnShortcutDelete},
        {ids::kSettingsShortcutRepair, m_ui->shortcutRepairButton, &CSettingsDlg::OnShortcutRepair},
        {ids::kSettingsBackup, m_ui->backupButton, &CSettingsDlg::OnBackup},
        {ids::kSettingsRestore, m_ui->restoreButton, &CSettingsDlg::OnRestore},
        {ids::kSettingsCompact, m_ui->compactButton, &CSettingsDlg::OnCompact},
        {ids::kSettingsLoadHolidays, m_ui->loadHolidaysButton, &CSettingsDlg::OnLoadHolidays},
    };
    for (const auto& row : table) {
        m_buttons.insert(row.id, row.button);
        connect(row.button, &QAbstractButton::clicked, this, row.handler);
    }
    m_ui->loadHolidaysButton->setEnabled(HasHolidayKeeper());
    m_buttons.insert(ids::kSettingsClose, m_ui->closeButton);
    connect(m_ui->closeButton, &QAbstractButton::clicked, this, &QDialog::accept);

    m_maintenance.refreshList = [this] {
        if (QWidget* owner = parentWidget())
            QMetaObject::invokeMethod(owner, "ApplyFilter", Qt::DirectConnection);
    };
}

CSettingsDlg::~CSettingsDlg() = default;

QAbstractButton* CSettingsDlg::button(int id) const
{
    return m_buttons.value(id, nullptr);
}

void CSettingsDlg::OnAutostartOn()
{
    EnableAutostart(this);
}

void CSettingsDlg::OnAutostartOff()
{
    DisableAutostart(this);
}

void CSettingsDlg::OnAutostartRepair()
{
    RepairAutostart(this);
}

void CSettingsDlg::OnShortcutSend()
{
    SendShortcuts(this);
}

void CSettingsDlg::OnShortcutDelete()
{
    DeleteShortcuts(this);
}

void CSettingsDlg::OnShortcutRepair()
{
    RepairShortcuts(this);
}

void CSettingsDlg::OnBackup()
{
    m_maintenance.OnBackup();
}

void CSettingsDlg::OnRestore()
{
    m_maintenance.OnRestore();
}

void CSettingsDlg::OnCompact()
{
    m_maintenance.OnCompact();
}

void CSettingsDlg::OnLoadHolidays()
{
    m_maintenance.OnLoadHolidays();
}
