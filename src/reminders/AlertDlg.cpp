#include "reminders/AlertDlg.h"

#include "base/Constants.h"
#include "base/SettingsFile.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/Seams.h"
#include "platform/Sound.h"
#include "reminders/DueQueue.h"
#include "reminders/ReminderEditor.h"
#include "reminders/ReminderFilter.h"
#include "store/AdoDatabase.h"
#include "timers/Shutdown.h"
#include "ui_AlertDlg.h"
#include "widgets/DialogLayout.h"

#include <QApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QWindow>

namespace {
const char kDeleteFailedText[] = "晕！软件罢工啦！重新启动一下吧！  ";
const char kPromptNotice[] = "\n\n您设定的关机时间已经到了，请直接点击按钮执行相关操作！";
const char kDirectNotice[] = "\n\n关机时间已经到了，系统即将自动关机！";
// A popup that falls due while the user types takes the keyboard; for this
// long after it appears, keys are the user's typing, not an answer to it.
constexpr qint64 kKeyGuardMs = 1000;

QString table()
{
    return QString::fromUtf8(tolva::kReminderTable);
}
} // namespace

CAlertDlg::CAlertDlg(const QString& id, QWidget* parent)
    : QDialog(parent), store(&AppStore), recordId(id), m_ui(std::make_unique<Ui::AlertDlg>())
{
    setFont(DialogFont());
    m_ui->setupUi(this);
    ApplyDialogUnits(this);
    // A captioned pop-up with a close box only, above every other window.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
    m_ui->shutdownCheck->hide();

    m_ui->iconLabel->setPixmap(
        QIcon(QString::fromLatin1(tolva::kIconResource)).pixmap(m_ui->iconLabel->size()));
    // Keys go to whichever control has the focus; one filter sees them all.
    qApp->installEventFilter(this);

    connect(m_ui->okButton, &QPushButton::clicked, this, &CAlertDlg::OnOK);
    connect(m_ui->deleteRadio, &QRadioButton::clicked, this, &CAlertDlg::OnChooseDelete);
    connect(m_ui->keepRadio, &QRadioButton::clicked, this, &CAlertDlg::OnChooseKeep);
}

CAlertDlg::~CAlertDlg() = default;

void CAlertDlg::ShowReminder(const QString& recordId, std::function<void()> reloadList)
{
    CAlertDlg dlg(recordId);
    dlg.reloadList = std::move(reloadList);
    dlg.DoModal();
}

int CAlertDlg::DoModal()
{
    if (!OnInitDialog())
        return result();
    return exec();
}

void CAlertDlg::setOwnerWindow(QWidget* owner)
{
    setWindowModality(Qt::WindowModal);
    if (!owner)
        return;
    // Both windows exist natively from here on, hidden or not.
    owner->winId();
    winId();
    windowHandle()->setTransientParent(owner->windowHandle());
}

bool CAlertDlg::OnInitDialog()
{
    const QString where = clause();
    QString message = where;
    RowSet rows;
    const int read = idUsable() ? database()->SelectRows(table(), where,
                                                         {QStringLiteral("titile"), QStringLiteral("text"),
                                                          QStringLiteral("date"), QStringLiteral("time")},
                                                         rows, 1, message)
                                : 0;
    if (read != 1) {
        // Gone or unreadable: say so, then wait with empty fields, no sound, both
        // boxes clear and no default chosen.
        ShowMessageBox(this, message);
        return true;
    }
    const Row& row = rows.first();
    const QString subject = row.value(0);
    const QString content = row.value(1);
    const QString date = row.value(2);
    const QString time = row.value(3);
    dueMoment = DueMoment(date, time, seams::clock().now());
    if (dueQueue && dueQueue->wasAcknowledged(recordId, dueMoment)) {
        // Acknowledged already in this run, in a store that could not record it.
        finish(false);
        return false;
    }
    m_ui->subjectEdit->setText(subject);
    m_ui->contentEdit->setPlainText(QString(content).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    m_ui->timeEdit->setText(QStringLiteral("%1 %2").arg(date, time));

    LoadDeleteChoice();
    if (date == QLatin1String(reminders::kEveryDay)) {
        // An every-day reminder is kept by default, whatever the setting says.
        deleteRecord = false;
        everyDayRecord = true;
    }
    shutdownNow = false;

    const bool isShutdown = subject == QString::fromUtf8(shutdown::kSubject);
    if (isShutdown && content == QString::fromUtf8(shutdown::kPrompt)) {
        if (!everyDayRecord)
            deleteRecord = true;
        m_soundPlay = seams::sound().play(kWaveReminder, true);
        shutdownNow = true;
        m_ui->deleteCheck->hide();
        m_ui->shutdownCheck->show();
        m_ui->contentEdit->setPlainText(QString::fromUtf8(kPromptNotice));
    } else if (isShutdown && content == QString::fromUtf8(shutdown::kDirect)) {
        shutdownNow = true;
        m_ui->deleteCheck->hide();
        m_ui->shutdownCheck->show();
        m_ui->contentEdit->setPlainText(QString::fromUtf8(kDirectNotice));
        // No waiting for the user: delete, shut down, close.
        QString deleteMessage = where;
        if (database()->DeleteRows(table(), where, 1, deleteMessage) != 1) {
            // The boxes are still clear here, so this marks the record used.
            shutdownNow = false;
            OnOK();
        }
        ShutDownSystem(storeService, this);
        finish(false);
        return false;
    } else {
        m_soundPlay = seams::sound().play(kWaveReminder, true);
    }
    writeChecks();
    return true;
}

bool CAlertDlg::idUsable() const
{
    return reminders::IsRecordId(recordId);
}

QString CAlertDlg::clause() const
{
    return QStringLiteral("where id=%1").arg(recordId);
}

std::shared_ptr<CAdoDatabase> CAlertDlg::database() const
{
    std::shared_ptr<CAdoDatabase> db = store ? store() : nullptr;
    return db ? db : ClosedStore();
}

void CAlertDlg::readChecks()
{
    deleteRecord = m_ui->deleteCheck->isChecked();
    shutdownNow = m_ui->shutdownCheck->isChecked();
}

void CAlertDlg::writeChecks()
{
    m_ui->deleteCheck->setChecked(deleteRecord);
    m_ui->shutdownCheck->setChecked(shutdownNow);
}

void CAlertDlg::OnOK()
{
    if (m_closed)
        return;
    readChecks();
    const QString where = clause();
    QString message = where;
    const std::shared_ptr<CAdoDatabase> db = database();
    if (deleteRecord) {
        const int deleted = idUsable() ? db->DeleteRows(table(), where, 1, message) : 0;
        if (deleted != 1) {
            // The box's first line is the program's own; a refusal of the store
            // says why under it.
            QString text = QString::fromUtf8(kDeleteFailedText);
            if (deleted < 0)
                text += QLatin1Char('\n') + RefusedWriteText(*db, message);
            ShowMessageBox(this, text);
            m_deleteFailed = true;
            acknowledgementFailed();
            return;
        }
        if (shutdownNow) {
            ShutDownSystem(storeService, this);
            // Released once the system says yes: no list to reload.
            finish(false);
            return;
        }
    } else {
        const int marked = idUsable() ? db->UpdateRows(table(), where, {QStringLiteral("use")},
                                                       {QString::fromUtf8(reminders::kTaken)}, 1, message)
                                      : 0;
        if (marked != 1) {
            ShowMessageBox(this, marked < 0 ? RefusedWriteText(*db, message) : message);
            m_updateFailed = true;
            acknowledgementFailed();
            return;
        }
    }
    finish(true);
}

void CAlertDlg::acknowledgementFailed()
{
    const std::shared_ptr<CAdoDatabase> db = database();
    if (!ReadOnlyReason(*db).isEmpty()) {
        // No try can succeed in this run: the user has seen why, and the same
        // occurrence must not come back to ask again.
        if (dueQueue && dueMoment.isValid())
            dueQueue->rememberAcknowledged(recordId, dueMoment);
        finish(false);
        return;
    }
    // A record that the store has refused both to delete and to mark cannot be
    // acknowledged at all.
    bool retryCanHelp = !(m_deleteFailed && m_updateFailed);
    if (retryCanHelp) {
        // Only a record that is still there, in a store that answers, can be
        // deleted or marked on another try.
        const QString where = clause();
        QString message = where;
        retryCanHelp = idUsable() && db->CountRows(table(), where, message) == 1;
    }
    if (!retryCanHelp)
        finish(true);
}

void CAlertDlg::finish(bool reload)
{
    seams::sound().stop(m_soundPlay);
    m_soundPlay = 0;
    if (reload && reloadList)
        reloadList();
    m_closed = true;
    QDialog::done(QDialog::Accepted);
}

void CAlertDlg::LoadDeleteChoice()
{
    deleteRecord = settings::ReadDeleteChoice();
    m_ui->deleteRadio->setChecked(deleteRecord);
    m_ui->keepRadio->setChecked(!deleteRecord);
}

void CAlertDlg::OnChooseDelete()
{
    settings::WriteDeleteChoice(true);
    m_ui->deleteCheck->setChecked(true);
}

void CAlertDlg::OnChooseKeep()
{
    settings::WriteDeleteChoice(false);
    m_ui->deleteCheck->setChecked(false);
}

void CAlertDlg::accept()
{
    OnOK();
}

void CAlertDlg::reject()
{
    // Esc and the close box acknowledge too.
    OnOK();
}

void CAlertDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_shownAtMs < 0)
        m_shownAtMs = seams::clock().monotonicMs();
}

bool CAlertDlg::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if ((type != QEvent::KeyPress && type != QEvent::KeyRelease) || !watched->isWidgetType())
        return QDialog::eventFilter(watched, event);
    auto* widget = static_cast<QWidget*>(watched);
    if (widget != this && !isAncestorOf(widget))
        return QDialog::eventFilter(watched, event);
    return swallowKey(static_cast<QKeyEvent*>(event));
}

bool CAlertDlg::swallowKey(const QKeyEvent* event)
{
    const int key = event->key();
    const bool fresh = m_shownAtMs < 0 || seams::clock().monotonicMs() - m_shownAtMs < kKeyGuardMs;
    if (event->type() == QEvent::KeyRelease) {
        const bool held = m_swallowedKeys.contains(key);
        if (!event->isAutoRepeat())
            m_swallowedKeys.remove(key);
        return fresh || held;
    }
    // A key held down since the first second repeats into the time after it.
    if (fresh || (event->isAutoRepeat() && m_swallowedKeys.contains(key))) {
        m_swallowedKeys.insert(key);
        return true;
    }
    return false;
}

void CAlertDlg::keyPressEvent(QKeyEvent* event)
{
    // Help is answered as handled, and nothing is shown.
    if (event->key() == Qt::Key_F1) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
