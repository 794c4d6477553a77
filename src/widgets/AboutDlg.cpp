#include "widgets/AboutDlg.h"

#include "base/Constants.h"
#include "ui_AboutDlg.h"
#include "widgets/DialogLayout.h"
#include "widgets/LinkLabel.h"

#include <QIcon>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::AboutDlg>())
{
    setFont(DialogFont());
    m_ui->setupUi(this);
    ApplyDialogUnits(this);
    // A static icon control takes the icon's own size, whatever its template says.
    const QSize iconSize(32, 32);
    m_ui->iconLabel->resize(iconSize);
    m_ui->iconLabel->setPixmap(QIcon(QString::fromLatin1(tolva::kIconResource)).pixmap(iconSize));
    connect(m_ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
    // The link is taken over as the dialog's controls are bound.
    m_ui->downloadLink->PreSubclassWindow();
}

CAboutDlg::~CAboutDlg() = default;

CLinkLabel* CAboutDlg::link() const
{
    return m_ui->downloadLink;
}

QPushButton* CAboutDlg::okButton() const
{
    return m_ui->okButton;
}

void CAboutDlg::setVisible(bool visible)
{
    // The dialog initialises once, just before it is first shown.
    if (visible && !m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    QDialog::setVisible(visible);
}

void CAboutDlg::OnInitDialog()
{
    m_ui->downloadLink->SetLinkUrl(QString::fromUtf8(tolva::kProductUrl));
    m_ui->downloadLink->SetUnderline(false);
}
