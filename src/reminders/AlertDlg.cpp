#include "reminders/AlertDlg.h"

#include "base/Constants.h"
#include "base/SettingsFile.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/Notifications.h"
#include "platform/Seams.h"
#include "platform/Sound.h"
#include "reminders/DueQueue.h"
#include "reminders/ReminderEditor.h"
#include "reminders/ReminderFilter.h"
#include "reminders/Repeat.h"
#include "store/AdoDatabase.h"
#include "sync/SyncEngine.h"
#include "timers/Shutdown.h"
#include "ui_AlertDlg.h"
#include "widgets/DialogLayout.h"

#include <QApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QSpinBox>
#include <QWindow>
#include <utility>

namespace {
// "稍后提醒" on the notification: no menu there to choose a length.
constexpr int kNotificationSnoozeMinutes = 10;

// When an occurrence was last acknowledged, for the user's other machines.
int noteAcknowledged(CAdoDatabase& db, const QString& id, QString& message)
{
    const QString table = QStringLiteral("recordack");
    const QString where = QStringLiteral("where id=%1").arg(id);
    if (db.DeleteRows(table, where, 1, message) < 0)
        return int(store::kDataError);
    const QString at = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
    return db.InsertRows(table, {QStringLiteral("id"), QStringLiteral("at")}, {{id, at}}, 1, message);
}

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

// The local wall clock now, to the second, as the table stores times.
QDateTime wallClockNow()
{
    const QDateTime now = reminders::WholeSeconds(seams::clock().now());
    return calendar::wallTime(now.date(), now.time());
}

QString snoozeChoiceText(int minutes)
{
    return minutes % 60 == 0 ? QString::fromUtf8("%1 小时").arg(minutes / 60)
                             : QString::fromUtf8("%1 分钟").arg(minutes);
}

// "自定义…": asks how many minutes, 1 to a day. False when the user cancels.
bool askMinutes(QWidget* parent, int& minutes)
{
    QDialog dlg(parent);
    dlg.setObjectName(QStringLiteral("snoozeLengthDlg"));
    dlg.setWindowTitle(QString::fromUtf8("稍后提醒"));
    dlg.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                       Qt::WindowStaysOnTopHint);
    dlg.setFont(DialogFont());
    const DialogUnits du(dlg.font());
    auto* label =
        new QLabel(QString::fromUtf8("多少分钟后再提醒（1～%1）：").arg(CAlertDlg::kSnoozeMaxMinutes), &dlg);
    label->setGeometry(du.rect(QRect(7, 7, 136, 8)));
    auto* spin = new QSpinBox(&dlg);
    spin->setObjectName(QStringLiteral("minutesSpin"));
    spin->setRange(1, CAlertDlg::kSnoozeMaxMinutes);
    spin->setValue(15);
    spin->setSuffix(QString::fromUtf8(" 分钟"));
    spin->setGeometry(du.rect(QRect(7, 19, 70, 13)));
    label->setBuddy(spin);
    auto* ok = new QPushButton(QString::fromUtf8("确  定"), &dlg);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    ok->setGeometry(du.rect(QRect(39, 38, 50, 14)));
    auto* cancel = new QPushButton(QString::fromUtf8("取  消"), &dlg);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setGeometry(du.rect(QRect(93, 38, 50, 14)));
    QObject::connect(ok, &QPushButton::clicked, &dlg, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &dlg, &QDialog::reject);
    dlg.setFixedSize(du.x(150), du.y(59));
    spin->selectAll();
    spin->setFocus();
    if (dlg.exec() != QDialog::Accepted)
        return false;
    minutes = spin->value();
    return true;
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

    m_snoozeMenu = new QMenu(m_ui->snoozeButton);
    for (const int minutes : kSnoozeChoices)
        connect(m_snoozeMenu->addAction(snoozeChoiceText(minutes)), &QAction::triggered, this,
                [this, minutes] { OnSnooze(minutes); });
    connect(m_snoozeMenu->addAction(QString::fromUtf8("自定义…")), &QAction::triggered, this,
            &CAlertDlg::askSnoozeLength);
    m_ui->snoozeButton->setMenu(m_snoozeMenu);
    // Nothing to snooze until a record has been read.
    m_ui->snoozeButton->setEnabled(false);

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
    const std::shared_ptr<CAdoDatabase> db = database();
    const QDateTime wallNow = wallClockNow();
    dueMoment = DueMoment(date, time, seams::clock().now());
    QString shownTime = QStringLiteral("%1 %2").arg(date, time);
    // A snooze that has fallen due is what this popup stands for: a repeating
    // record already holds its next occurrence by then.
    const std::optional<QDateTime> snoozedUntil = repeat::SnoozedUntil(*db, recordId);
    if (snoozedUntil && *snoozedUntil <= wallNow) {
        snoozeDue = true;
        dueMoment = reminders::RecordDateTime(reminders::FormatDate(*snoozedUntil),
                                              reminders::FormatTime(*snoozedUntil));
        shownTime = reminders::FormatDateTime(*snoozedUntil);
    }
    if (dueQueue && dueQueue->wasAcknowledged(recordId, dueMoment)) {
        // Acknowledged already in this run, in a store that could not record it.
        finish(false);
        return false;
    }
    m_ui->subjectEdit->setText(subject);
    m_ui->contentEdit->setPlainText(QString(content).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    m_ui->timeEdit->setText(shownTime);

    LoadDeleteChoice();
    if (date == QLatin1String(reminders::kEveryDay)) {
        // An every-day reminder is kept by default, whatever the setting says.
        deleteRecord = false;
        everyDayRecord = true;
    }
    if (const std::optional<repeat::Rule> rule = repeat::ReadRule(*db, recordId)) {
        // So is a repeating one while its series goes on; after its last
        // occurrence it is a dated reminder like any other.
        repeatingRecord = repeat::NextAfter(*rule, repeat::SeriesOf(*rule, *db), wallNow).isValid();
        if (repeatingRecord)
            deleteRecord = false;
    }
    shutdownNow = false;

    const bool isShutdown = subject == QString::fromUtf8(shutdown::kSubject);
    const bool staysAfterwards = everyDayRecord || repeatingRecord;
    if (isShutdown && content == QString::fromUtf8(shutdown::kPrompt)) {
        if (!staysAfterwards)
            deleteRecord = true;
        m_soundPlay = seams::sound().play(kWaveReminder, true);
        shutdownNow = true;
        m_ui->deleteCheck->hide();
        m_ui->shutdownCheck->show();
        m_ui->snoozeButton->hide();
        m_ui->contentEdit->setPlainText(QString::fromUtf8(kPromptNotice));
    } else if (isShutdown && content == QString::fromUtf8(shutdown::kDirect)) {
        shutdownNow = true;
        m_ui->deleteCheck->hide();
        m_ui->shutdownCheck->show();
        m_ui->snoozeButton->hide();
        m_ui->contentEdit->setPlainText(QString::fromUtf8(kDirectNotice));
        // No waiting for the user. A record that stays moves on at once; a
        // one-time record goes only once the system has accepted the shutdown.
        if (staysAfterwards) {
            QString message;
            const int kept = keepRecord(*db, message);
            if (kept != 1)
                ShowMessageBox(this, kept < 0 ? RefusedWriteText(*db, message) : message);
            else if (reloadList)
                reloadList();
            ShutDownSystem(storeService, this);
        } else if (!shutDownThenDelete(nullptr)) {
            // Nothing to delete: with both boxes clear this marks the record
            // used, and the shutdown goes ahead all the same.
            OnOK();
            ShutDownSystem(storeService, this);
        }
        finish(false);
        return false;
    } else {
        m_soundPlay = seams::sound().play(kWaveReminder, true);
        m_ui->snoozeButton->setEnabled(true);
    }
    writeChecks();
    notify();
    return true;
}

void CAlertDlg::notify()
{
    if (m_notification != 0 || !settings::ReadSwitch(settings::kKeyNotify))
        return;
    Notifications::Message message;
    message.summary = m_ui->subjectEdit->text();
    message.body = m_ui->contentEdit->toPlainText();
    message.urgency = Notifications::Urgency::Critical;
    message.actions = QStringList{QStringLiteral("ok"), QString::fromUtf8("我知道了")};
    if (!m_ui->snoozeButton->isHidden())
        message.actions << QStringLiteral("snooze") << QString::fromUtf8("稍后提醒");
    Notifications& desktop = seams::notifications();
    connect(&desktop, &Notifications::actionInvoked, this, &CAlertDlg::onNotificationAction);
    m_notification = desktop.show(message);
}

void CAlertDlg::onNotificationAction(int handle, const QString& key)
{
    if (handle == 0 || handle != m_notification)
        return;
    if (key == QLatin1String("ok"))
        OnOK();
    else if (key == QLatin1String("snooze"))
        OnSnooze(kNotificationSnoozeMinutes);
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
    // A synced event another program made (a phone's) is not this program's to delete:
    // it is marked acknowledged, here and on the server.
    if (deleteRecord && !shutdownNow && idUsable() && !sync::MadeHere(*db, repeat::UidOf(*db, recordId)))
        deleteRecord = false;
    if (deleteRecord && shutdownNow) {
        QString refusal;
        if (shutDownThenDelete(&refusal)) {
            // Whatever the answer, this popup is done; a refusal keeps the record.
            finish(false);
            return;
        }
        QString text = QString::fromUtf8(kDeleteFailedText);
        if (!refusal.isEmpty())
            text += QLatin1Char('\n') + refusal;
        ShowMessageBox(this, text);
    } else if (deleteRecord) {
        const int deleted = idUsable() ? db->DeleteRows(table(), where, 1, message) : 0;
        if (deleted == 1) {
            finish(true);
            return;
        }
        // The box's first line is the program's own; a refusal of the store
        // says why under it.
        QString text = QString::fromUtf8(kDeleteFailedText);
        if (deleted < 0)
            text += QLatin1Char('\n') + RefusedWriteText(*db, message);
        ShowMessageBox(this, text);
    } else {
        const int kept = keepRecord(*db, message);
        if (kept != 1) {
            ShowMessageBox(this, kept < 0 ? RefusedWriteText(*db, message) : message);
            m_updateFailed = true;
            acknowledgementFailed();
            return;
        }
        if (shutdownNow) {
            // A record that stays has moved on before the system is asked.
            if (reloadList)
                reloadList();
            ShutDownSystem(storeService, this);
            finish(false);
            return;
        }
        finish(true);
        return;
    }
    m_deleteFailed = true;
    acknowledgementFailed();
}

int CAlertDlg::keepRecord(CAdoDatabase& db, QString& message)
{
    if (!idUsable()) {
        message = clause();
        return 0;
    }
    const QDateTime wallNow = wallClockNow();
    return db.RunInTransaction(
        [&](QString& m) {
            int kept = 0;
            if (repeatingRecord) {
                repeat::Move move;
                kept = repeat::MoveToNext(db, recordId, wallNow, move, m);
                if (kept < 0)
                    return kept;
                // 0: the series ended (or lost its rule) while the popup was open.
            }
            if (kept == 0) {
                // A kept every-day record keeps falling due; "1" would cancel it.
                const QString use =
                    QString::fromUtf8(everyDayRecord ? reminders::kNotTaken : reminders::kTaken);
                m = clause();
                kept = db.UpdateRows(table(), clause(), {QStringLiteral("use")}, {use}, 1, m);
                if (kept != 1)
                    return kept;
            }
            if (const int noted = noteAcknowledged(db, recordId, m); noted < 0)
                return noted;
            if (snoozeDue) {
                QString ended;
                if (repeat::EndSnooze(db, recordId, ended) < 0) {
                    m = ended;
                    return int(store::kDataError);
                }
            }
            return kept;
        },
        message);
}

bool CAlertDlg::shutDownThenDelete(QString* refusal)
{
    const std::shared_ptr<CAdoDatabase> db = database();
    const QString where = clause();
    QString message = where;
    if (!idUsable())
        return false;
    const QString readOnly = ReadOnlyReason(*db);
    const int count = readOnly.isEmpty() ? db->CountRows(table(), where, message) : -1;
    if (count != 1) {
        if (refusal && count < 0)
            *refusal = readOnly.isEmpty() ? message : readOnly;
        return false;
    }
    const StoreProvider provider = store;
    ShutDownSystem(storeService, this, [provider, where](bool accepted) {
        if (!accepted)
            return;
        // Called before the store is released. Where the record cannot be
        // deleted it is marked used, so that it does not come back.
        const std::shared_ptr<CAdoDatabase> held = provider ? provider() : nullptr;
        if (!held)
            return;
        QString m = where;
        if (held->DeleteRows(table(), where, 1, m) != 1) {
            m = where;
            held->UpdateRows(table(), where, {QStringLiteral("use")}, {QString::fromUtf8(reminders::kTaken)},
                             1, m);
        }
    });
    return true;
}

void CAlertDlg::OnSnooze(int minutes)
{
    if (m_closed || !m_ui->snoozeButton->isEnabled() || minutes < 1 || minutes > kSnoozeMaxMinutes)
        return;
    const std::shared_ptr<CAdoDatabase> db = database();
    const QDateTime wallNow = wallClockNow();
    QString message = clause();
    const int written = db->RunInTransaction(
        [&](QString& m) {
            const int snoozed = repeat::Snooze(*db, recordId, wallNow.addSecs(qint64(minutes) * 60), m);
            if (snoozed < 0 || !repeatingRecord)
                return snoozed;
            // The snooze takes this occurrence over; the series goes on to its next.
            repeat::Move move;
            const int moved = repeat::MoveToNext(*db, recordId, wallNow, move, m);
            return moved < 0 ? moved : snoozed;
        },
        message);
    if (written != 1) {
        ShowMessageBox(this, written < 0 ? RefusedWriteText(*db, message) : message);
        return;
    }
    finish(true);
}

void CAlertDlg::askSnoozeLength()
{
    int minutes = 0;
    if (askMinutes(this, minutes))
        OnSnooze(minutes);
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

void CAlertDlg::CloseAcknowledgedElsewhere()
{
    if (!m_closed)
        finish(true);
}

void CAlertDlg::CloseAcknowledgedElsewhere(const QStringList& uids)
{
    if (uids.isEmpty())
        return;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* alert = qobject_cast<CAlertDlg*>(w);
        if (!alert || alert->closed() || !alert->idUsable())
            continue;
        const std::shared_ptr<CAdoDatabase> db = alert->database();
        if (uids.contains(repeat::UidOf(*db, alert->recordId)))
            alert->CloseAcknowledgedElsewhere();
    }
}

void CAlertDlg::finish(bool reload)
{
    if (m_notification != 0) {
        disconnect(&seams::notifications(), nullptr, this, nullptr);
        seams::notifications().close(std::exchange(m_notification, 0));
    }
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
    // The snooze menu is a window of its own, but part of the popup.
    if (widget != this && !isAncestorOf(widget) && widget->window() != m_snoozeMenu)
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
