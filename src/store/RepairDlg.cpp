#include "store/RepairDlg.h"

#include "base/Paths.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/Seams.h"
#include "store/DataMaintenance.h"
#include "store/RepairDlgIds.h"
#include "ui_RepairDlg.h"
#include "widgets/DialogLayout.h"

CRepairDlg::CRepairDlg(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::RepairDlg>())
{
    setFont(DialogFont());
    m_ui->setupUi(this);
    ApplyDialogUnits(this);
    // A modal frame without caption or system menu.
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    m_closeTimer.setInterval(ids::kRepairCloseMs);
    connect(&m_closeTimer, &QTimer::timeout, this, [this] { OnTimer(ids::kRepairCloseTimer); });
}

CRepairDlg::~CRepairDlg() = default;

int CRepairDlg::RegisterAdoDlls()
{
    m_repair = store::RepairDataFile(DatabaseFilePath(), BackupFilePath(), seams::clock().now());
    return 1;
}

void CRepairDlg::setVisible(bool visible)
{
    // The dialog initialises once, just before it is first shown.
    if (visible && !m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    QDialog::setVisible(visible);
}

void CRepairDlg::OnInitDialog()
{
    RegisterAdoDlls();
    // Counted from the end of the repair, however long it took.
    m_closeTimer.start();
}

void CRepairDlg::OnTimer(int id)
{
    if (id != ids::kRepairCloseTimer)
        return;
    m_closeTimer.stop();
    reject();
    const QString report = store::RepairReport(m_repair);
    if (!report.isEmpty())
        ShowMessageBox(nullptr, report, QString::fromUtf8(maintenance_text::kNotice), MbButtons::Ok,
                       m_repair.action == store::RepairResult::Action::Failed ? MbIcon::Warning
                                                                              : MbIcon::Information);
}
