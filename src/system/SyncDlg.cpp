#include "system/SyncDlg.h"

#include "platform/MessageBoxes.h"
#include "system/SyncDlgIds.h"
#include "ui_SyncDlg.h"
#include "widgets/DialogLayout.h"

#include <QHostAddress>
#include <QUrl>

namespace {
QString u(const char* text)
{
    return QString::fromUtf8(text);
}

const char kOwnCalendar[] = "Tolva提醒";

bool isLoopback(const QString& host)
{
    return host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0 ||
           QHostAddress(host).isLoopback();
}

// An address the sync can use: http or https with a host.
bool isServerAddress(const QUrl& url)
{
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QStringLiteral("https") || url.scheme() == QStringLiteral("http"));
}
} // namespace

CSyncDlg::CSyncDlg(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::SyncDlg>())
{
    setFont(DialogFont());
    m_ui->setupUi(this);
    ApplyDialogUnits(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    m_controls = {
        {ids::kSyncClose, m_ui->closeButton},      {ids::kSyncUrl, m_ui->urlEdit},
        {ids::kSyncUser, m_ui->userEdit},          {ids::kSyncPassword, m_ui->passwordEdit},
        {ids::kSyncCalendar, m_ui->calendarCombo}, {ids::kSyncFind, m_ui->findButton},
        {ids::kSyncInterval, m_ui->intervalSpin},  {ids::kSyncNow, m_ui->syncNowButton},
        {ids::kSyncSave, m_ui->saveButton},        {ids::kSyncStatus, m_ui->statusLabel},
    };
    connect(m_ui->findButton, &QAbstractButton::clicked, this, &CSyncDlg::OnFind);
    connect(m_ui->syncNowButton, &QAbstractButton::clicked, this, &CSyncDlg::OnSyncNow);
    connect(m_ui->saveButton, &QAbstractButton::clicked, this, &CSyncDlg::OnSave);
    connect(m_ui->closeButton, &QAbstractButton::clicked, this, &QDialog::reject);

    const sync::SyncAccount account = sync::ReadSyncAccount();
    m_ui->urlEdit->setText(account.url);
    m_ui->userEdit->setText(account.user);
    m_ui->intervalSpin->setValue(account.intervalMinutes);
    if (!account.calendar.isEmpty())
        m_ui->calendarCombo->addItem(account.calendar, account.calendar);
}

CSyncDlg::~CSyncDlg() = default;

QWidget* CSyncDlg::control(int id) const
{
    return m_controls.value(id, nullptr);
}

// The account the controls hold, after the checks; the saved AllowHttp is kept
// for the same address, asked again for another.
bool CSyncDlg::readAccount(sync::SyncAccount& account)
{
    const sync::SyncAccount saved = sync::ReadSyncAccount();
    account.url = m_ui->urlEdit->text().trimmed();
    account.user = m_ui->userEdit->text().trimmed();
    account.calendar = m_ui->calendarCombo->currentData().toString();
    account.intervalMinutes = m_ui->intervalSpin->value();
    if (account.url.isEmpty()) {
        ShowMessageBox(this, u("请输入服务器地址。  "));
        m_ui->urlEdit->setFocus();
        return false;
    }
    const QUrl url(account.url, QUrl::StrictMode);
    if (!isServerAddress(url)) {
        ShowMessageBox(this, u("服务器地址无效，请输入以 https:// 开头的完整地址。  "));
        m_ui->urlEdit->setFocus();
        return false;
    }
    if (account.user.isEmpty()) {
        ShowMessageBox(this, u("请输入用户名。  "));
        m_ui->userEdit->setFocus();
        return false;
    }
    account.allowPlainHttp = false;
    if (url.scheme() == QStringLiteral("http") && !isLoopback(url.host())) {
        if (saved.allowPlainHttp && saved.url == account.url) {
            account.allowPlainHttp = true;
        } else if (ShowMessageBox(
                       this, u("这个地址以 http:// 开头，同步时会以明文发送密码，确定要使用吗？  "),
                       QString(), MbButtons::YesNo, MbIcon::Question, MbResult::No) == MbResult::Yes) {
            account.allowPlainHttp = true;
        } else {
            return false;
        }
    }
    return true;
}

// The password goes to the secret store; without one it serves this run only.
void CSyncDlg::keepPassword(const sync::SyncAccount& account)
{
    const QString password = m_ui->passwordEdit->text();
    if (password.isEmpty())
        return;
    QString error;
    switch (sync::WriteSyncPassword(account, password, error)) {
    case SecretStore::Result::Ok:
    case SecretStore::Result::NotFound:
        return;
    case SecretStore::Result::NoStore:
        emit passwordForRun(password);
        if (!m_toldNoStore)
            ShowMessageBox(this, u("没有可用的密钥环，密码不会被保存，每次同步时需要输入。  "));
        m_toldNoStore = true;
        return;
    case SecretStore::Result::Failed:
        emit passwordForRun(password);
        ShowMessageBox(this, u("密码没有保存到密钥环：") + error + u("  "));
        return;
    }
}

bool CSyncDlg::OnSave()
{
    sync::SyncAccount account;
    if (!readAccount(account))
        return false;
    if (!sync::WriteSyncAccount(account)) {
        ShowMessageBox(this, u("同步设置没有保存：无法写入设置文件。  "));
        return false;
    }
    keepPassword(account);
    emit accountSaved(account);
    return true;
}

void CSyncDlg::OnFind()
{
    sync::SyncAccount account;
    if (!readAccount(account))
        return;
    setRunning(true);
    emit discoverRequested(account, m_ui->passwordEdit->text());
}

void CSyncDlg::OnSyncNow()
{
    if (!OnSave())
        return;
    setRunning(true);
    emit syncRequested();
}

void CSyncDlg::setCalendars(const QList<SyncCalendarChoice>& calendars)
{
    setRunning(false);
    m_ui->statusLabel->clear();
    const QString chosen = m_ui->calendarCombo->currentData().toString();
    m_ui->calendarCombo->clear();
    int own = -1;
    int kept = -1;
    for (const SyncCalendarChoice& c : calendars) {
        const QString label = c.name.isEmpty() ? c.url : c.name;
        m_ui->calendarCombo->addItem(label, c.url);
        if (c.url == chosen)
            kept = m_ui->calendarCombo->count() - 1;
        if (c.name == u(kOwnCalendar) && own < 0)
            own = m_ui->calendarCombo->count() - 1;
    }
    m_ui->calendarCombo->setCurrentIndex(kept >= 0 ? kept : own);
}

void CSyncDlg::setRunning(bool running)
{
    for (QWidget* w : {static_cast<QWidget*>(m_ui->findButton), static_cast<QWidget*>(m_ui->syncNowButton),
                       static_cast<QWidget*>(m_ui->saveButton)})
        w->setEnabled(!running);
    if (running)
        m_ui->statusLabel->setText(u("正在同步…"));
}

void CSyncDlg::setStatus(const QString& text)
{
    setRunning(false);
    m_ui->statusLabel->setText(text);
}
