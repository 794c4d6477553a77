#include "system/SettingsDlg.h"

#include "base/Constants.h"
#include "base/SettingsFile.h"
#include "store/ProgramStore.h"
#include "system/Autostart.h"
#include "system/SettingsDlgIds.h"
#include "system/Shortcuts.h"
#include "ui_SettingsDlg.h"
#include "widgets/DialogLayout.h"

#include <QApplication>
#include <QCheckBox>
#include <QSpinBox>
#include <QTimeEdit>

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

std::function<void(QWidget*)>& syncOpener()
{
    static std::function<void(QWidget*)> opener;
    return opener;
}
} // namespace

void CSettingsDlg::SetSyncOpener(std::function<void(QWidget*)> opener)
{
    syncOpener() = std::move(opener);
}

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
        {ids::kSettingsImport, m_ui->importButton, &CSettingsDlg::OnImport},
        {ids::kSettingsExport, m_ui->exportButton, &CSettingsDlg::OnExport},
        {ids::kSettingsSync, m_ui->syncButton, &CSettingsDlg::OnSync},
    };
    for (const auto& row : table) {
        m_buttons.insert(row.id, row.button);
        connect(row.button, &QAbstractButton::clicked, this, row.handler);
    }
    m_ui->loadHolidaysButton->setEnabled(HasHolidayKeeper());
    m_ui->importButton->setEnabled(HasCalendarFiles());
    m_ui->exportButton->setEnabled(HasCalendarFiles());
    m_ui->syncButton->setEnabled(bool(syncOpener()));
    wireSwitches();
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

QWidget* CSettingsDlg::control(int id) const
{
    if (QAbstractButton* b = button(id))
        return b;
    return m_controls.value(id, nullptr);
}

// The switches show the settings file's values and write each change at once,
// as the buttons act at once.
void CSettingsDlg::wireSwitches()
{
    m_ui->notifyCheck->setChecked(settings::ReadSwitch(settings::kKeyNotify));
    m_ui->idleCheck->setChecked(settings::ReadSwitch(settings::kKeyIdleReset));
    m_ui->idleMinutesSpin->setValue(settings::ReadIdleMinutes());
    m_ui->idleMinutesSpin->setEnabled(m_ui->idleCheck->isChecked());
    m_ui->allDayTimeEdit->setTime(QTime::fromString(settings::ReadAllDayTime(), QStringLiteral("HH:mm:ss")));
    m_buttons.insert(ids::kSettingsNotify, m_ui->notifyCheck);
    m_buttons.insert(ids::kSettingsIdleReset, m_ui->idleCheck);
    m_controls.insert(ids::kSettingsIdleMinutes, m_ui->idleMinutesSpin);
    m_controls.insert(ids::kSettingsAllDayTime, m_ui->allDayTimeEdit);

    connect(m_ui->notifyCheck, &QCheckBox::toggled, this,
            [](bool on) { settings::WriteSwitch(settings::kKeyNotify, on); });
    connect(m_ui->idleCheck, &QCheckBox::toggled, this, [this](bool on) {
        settings::WriteSwitch(settings::kKeyIdleReset, on);
        m_ui->idleMinutesSpin->setEnabled(on);
    });
    connect(m_ui->idleMinutesSpin, &QSpinBox::valueChanged, this,
            [](int minutes) { settings::WriteIdleMinutes(minutes); });
    connect(m_ui->allDayTimeEdit, &QTimeEdit::timeChanged, this,
            [](const QTime& time) { settings::WriteAllDayTime(time.toString(QStringLiteral("HH:mm:ss"))); });
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

void CSettingsDlg::OnImport()
{
    m_maintenance.OnImport();
}

void CSettingsDlg::OnExport()
{
    m_maintenance.OnExport();
}

void CSettingsDlg::OnSync()
{
    if (syncOpener())
        syncOpener()(this);
}
