#include "reminders/EditorPanel.h"

#include "base/Constants.h"
#include "base/Gbk.h"
#include "base/WallTime.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/Seams.h"
#include "reminders/DueQueue.h"
#include "reminders/ReminderEditor.h"
#include "reminders/ReminderFilter.h"
#include "store/AdoDatabase.h"
#include "timers/Shutdown.h"
#include "widgets/GbkLineEdit.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTimeEdit>

namespace {

const char* const kEnterSubject = reminders::EnterSubjectText();
const char* const kEnterContent = reminders::EnterContentText();
const char* const kShutdownInPast = reminders::ShutdownInPastText();
const char kAdded[] = "添加成功！  ";
const char kModified[] = "修改成功！  ";
const char* const kVanished = reminders::VanishedText();
const char* const kMomentPassed = reminders::MomentPassedText();
const char kQuestionCaption[] = "Tolva提示";
const char* const kShutdownPair = reminders::ShutdownPairText();
const char* const kTextTooLong = reminders::TextTooLongText();

const char kAddCaption[] = "添  加";
const char kModifyCaption[] = "修  改";
const char kRefreshCaption[] = "刷  新";
const char kDeleteCaption[] = "删  除";

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

QDateTime Now()
{
    return reminders::WholeSeconds(seams::clock().now());
}

} // namespace

EditorPanel::EditorPanel(const Controls& controls, QWidget* owner, StoreProvider store)
    : QObject(owner), m_c(controls), m_owner(owner), m_store(std::move(store)),
      m_insertFields(reminders::InsertFields())
{
    m_c.subjectEdit->setMaxBytes(kSubjectMaxBytes);
    m_c.contentEdit->setMaxBytes(kContentMaxBytes);
    m_c.datePicker->setLocale(QLocale());
    m_c.datePicker->setDisplayFormat(u8("yyyy年MM月dd日 dddd"));
    m_c.datePicker->setCalendarPopup(false);
    m_c.timePicker->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    m_c.cancelReminderCheck->hide();
    m_c.recordIdEdit->hide();

    connect(m_c.refreshDeleteButton, &QPushButton::clicked, this, &EditorPanel::OnRefreshOrDelete);

    reminderDate = Now();
    reminderTime = reminderDate;
}

void EditorPanel::showText(const char* text)
{
    ShowMessageBox(m_owner, u8(text));
}

void EditorPanel::readChoices()
{
    // A time the clock skips that day is still the time picked.
    reminderDate = walltime::WallMoment(m_c.datePicker->date(), m_datePickerTime);
    reminderTime = walltime::WallMoment(m_timePickerDate, m_c.timePicker->time());
    cancelReminder = m_c.cancelReminderCheck->isChecked();
    everyDay = m_c.everyDayCheck->isChecked();
    autoShutdown = m_c.autoShutdownCheck->isChecked();
}

bool EditorPanel::readTexts()
{
    struct TextField
    {
        QWidget* edit;
        QString text;
        int maxBytes;
        QString* value;
    };
    for (const TextField& f :
         {TextField{m_c.subjectEdit, m_c.subjectEdit->text(), kSubjectMaxBytes, &subject},
          TextField{m_c.contentEdit, m_c.contentEdit->toPlainText(), kContentMaxBytes, &content}}) {
        if (gbk::byteLength(f.text) > f.maxBytes) {
            ShowMessageBox(m_owner, u8(kTextTooLong).arg(f.maxBytes), QString(), MbButtons::Ok,
                           MbIcon::Warning);
            f.edit->setFocus();
            return false;
        }
        *f.value = f.text;
    }
    return true;
}

void EditorPanel::writeControls()
{
    m_datePickerTime = reminderDate.time();
    m_c.datePicker->setDate(reminderDate.date());
    m_timePickerDate = reminderTime.date();
    m_c.timePicker->setTime(reminderTime.time());

    m_c.cancelReminderCheck->setChecked(cancelReminder);
    m_c.everyDayCheck->setChecked(everyDay);
    m_c.autoShutdownCheck->setChecked(autoShutdown);

    // Unchanged texts are left alone, so the cursor stays where the user put it.
    if (m_c.subjectEdit->text() != subject)
        m_c.subjectEdit->setText(subject);
    if (m_c.contentEdit->toPlainText() != content)
        m_c.contentEdit->setPlainText(content);
}

EditorPanel::Mode EditorPanel::mode() const
{
    return m_c.addModifyButton->text() == u8(kModifyCaption) ? Mode::Modify : Mode::Add;
}

void EditorPanel::setEditsEnabled(bool enabled)
{
    m_c.subjectEdit->setEnabled(enabled);
    m_c.contentEdit->setEnabled(enabled);
}

void EditorPanel::setAddModeCaptions()
{
    m_c.addModifyButton->setText(u8(kAddCaption));
    m_c.refreshDeleteButton->setText(u8(kRefreshCaption));
}

void EditorPanel::loadRecord(const QStringList& values)
{
    m_c.recordIdEdit->setText(values.at(6));
    subject = values.at(0);
    content = values.at(1);
    m_c.autoShutdownCheck->hide();
    autoShutdown = values.at(0) == u8(shutdown::kSubject);
    setEditsEnabled(!autoShutdown);

    QString date = values.at(2);
    everyDay = date == QLatin1String(reminders::kEveryDay);
    if (everyDay)
        date = reminders::FormatDate(seams::clock().now());
    // A date or time that makes no real moment leaves the pickers as they are.
    const QDateTime when = reminders::RecordDateTime(date, values.at(3));
    if (when.isValid()) {
        reminderDate = when;
        reminderTime = when;
    }
    cancelReminder = values.at(4) == QLatin1String(reminders::kTaken);

    writeControls();
    m_c.refreshDeleteButton->setText(u8(kDeleteCaption));
    m_c.addModifyButton->setText(u8(kModifyCaption));
    m_c.cancelReminderCheck->show();
}

void EditorPanel::backToAddMode()
{
    if (autoShutdown)
        setEditsEnabled(true);
    m_c.autoShutdownCheck->show();
    autoShutdown = false;
    ClearEditor();
    setAddModeCaptions();
}

void EditorPanel::keepDeleteMode()
{
    m_c.refreshDeleteButton->setText(u8(kDeleteCaption));
}

void EditorPanel::ClearEditor()
{
    reminderDate = Now();
    reminderTime = reminderDate;
    subject.clear();
    content.clear();
    cancelReminder = false;
    everyDay = false;
    m_c.cancelReminderCheck->hide();
    writeControls();
}

void EditorPanel::ReturnToAddMode()
{
    emit recordsChanged();
    if (autoShutdown)
        setEditsEnabled(true);
    ClearEditor();
    setAddModeCaptions();
}

void EditorPanel::OnRefreshOrDelete()
{
    const QString caption = m_c.refreshDeleteButton->text();
    if (caption == u8(kRefreshCaption)) {
        ReturnToAddMode();
        autoShutdown = false;
        writeControls();
    } else if (caption == u8(kDeleteCaption)) {
        emit deleteRequested();
    }
}

void EditorPanel::applyAutoShutdown()
{
    const AutoShutdownEdit edit = ::OnAutoShutdownClicked(m_owner, autoShutdown);
    if (edit.clearEditor)
        ClearEditor();
    if (edit.fillTexts) {
        subject = edit.subject;
        content = edit.content;
        writeControls();
    }
    setEditsEnabled(edit.editsEnabled);
}

void EditorPanel::storeRecord()
{
    if (subject.isEmpty()) {
        showText(kEnterSubject);
        m_c.subjectEdit->setFocus();
        return;
    }
    if (content.isEmpty()) {
        showText(kEnterContent);
        m_c.contentEdit->setFocus();
        return;
    }

    if (!shutdownPairConfirmed())
        return;

    const QDateTime now = Now();
    const QStringList values = reminders::ComposeRecordValues(subject, content, reminderDate, reminderTime,
                                                              everyDay, cancelReminder, now);
    if (reminders::ShutdownTimeRefused(autoShutdown, reminderDate, reminderTime, now)) {
        showText(kShutdownInPast);
        return;
    }
    // The due check only looks ahead: a dated record whose moment has gone by
    // would be stored and never pop up. One marked as taken is not meant to.
    if (!everyDay && !cancelReminder && reminders::RecordDateTime(values.at(2), values.at(3)) < now &&
        ShowMessageBox(m_owner, u8(kMomentPassed), u8(kQuestionCaption), MbButtons::YesNo, MbIcon::None,
                       MbResult::No, true) != MbResult::Yes)
        return;

    if (mode() == Mode::Add)
        addRecord(values);
    else
        modifyRecord(values);
}

bool EditorPanel::shutdownPairConfirmed() const
{
    // These two texts alone make a stored record a shutdown record: typed by
    // hand, without 自动关机, they would power the machine off unannounced.
    const bool pair =
        subject == QString::fromUtf8(shutdown::kSubject) &&
        (content == QString::fromUtf8(shutdown::kDirect) || content == QString::fromUtf8(shutdown::kPrompt));
    if (autoShutdown || !pair)
        return true;
    return ShowMessageBox(m_owner, u8(kShutdownPair).arg(content), u8(kQuestionCaption), MbButtons::YesNo,
                          MbIcon::None, MbResult::No, true) == MbResult::Yes;
}

void EditorPanel::addRecord(const QStringList& values)
{
    QString message;
    if (m_store()->InsertRows(QString::fromLatin1(tolva::kReminderTable), m_insertFields, RowSet{values}, 1,
                              message) != 1) {
        ShowMessageBox(m_owner, message);
        return;
    }
    emit recordAdded();
    showText(kAdded);
    backToAddMode();
}

void EditorPanel::modifyRecord(const QStringList& values)
{
    const QString id = m_c.recordIdEdit->text();
    int changed = 0;
    // Only a number goes into the clause; anything else cannot name a record.
    if (reminders::IsRecordId(id)) {
        const QString clause = QStringLiteral("where id=%1").arg(id);
        QString message = clause;
        const std::shared_ptr<CAdoDatabase> db = m_store();
        changed = db->UpdateRows(QString::fromLatin1(tolva::kReminderTable), clause, m_insertFields, values,
                                 1, message);
        if (changed < 0) {
            // Refused, not vanished: the editor keeps the record and what was typed.
            ShowMessageBox(m_owner, RefusedWriteText(*db, message));
            return;
        }
    }
    if (changed == 1) {
        emit recordsChanged();
        showText(kModified);
        backToAddMode();
        return;
    }
    showText(kVanished);
    ReturnToAddMode();
    autoShutdown = false;
    writeControls();
    m_c.autoShutdownCheck->show();
}
