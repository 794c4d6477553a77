#include "reminders/EditorPanel.h"

#include "base/Constants.h"
#include "base/Gbk.h"
#include "base/WallTime.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/Seams.h"
#include "reminders/DueQueue.h"
#include "reminders/RecordWrite.h"
#include "reminders/ReminderEditor.h"
#include "reminders/ReminderFilter.h"
#include "reminders/RepeatDialog.h"
#include "store/AdoDatabase.h"
#include "timers/Shutdown.h"
#include "widgets/GbkLineEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QEvent>
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

// The chooser's items, in calendar::RepeatChoice::Kind order; "…" marks those
// that ask for their details.
const char* const kRepeatItems[] = {"不重复",    "每天",   "每个工作日（含调休）", "每周…", "每月…", "每年",
                                    "农历每年…", "自定义…"};

using calendar::RepeatChoice;

bool hasDetails(RepeatChoice::Kind kind)
{
    return kind == RepeatChoice::Kind::Weekly || kind == RepeatChoice::Kind::Monthly ||
           kind == RepeatChoice::Kind::Lunar || kind == RepeatChoice::Kind::Custom;
}

// A choice that gives the record a rule of its own.
bool hasRule(RepeatChoice::Kind kind)
{
    return kind != RepeatChoice::Kind::None && kind != RepeatChoice::Kind::EveryDay;
}

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

    for (const char* item : kRepeatItems)
        m_c.repeatCombo->addItem(u8(item));
    connect(m_c.refreshDeleteButton, &QPushButton::clicked, this, &EditorPanel::OnRefreshOrDelete);
    connect(m_c.repeatCombo, &QComboBox::activated, this, &EditorPanel::OnRepeatChosen);
    m_c.repeatCombo->installEventFilter(this);
    // A rule that takes its day from the start ("每年") says the day picked.
    connect(m_c.datePicker, &QDateEdit::dateChanged, this, [this] {
        if (repeatChoice.kind != RepeatChoice::Kind::None)
            showRepeat();
    });
    connect(m_c.everyDayCheck, &QCheckBox::clicked, this, &EditorPanel::OnEveryDayClicked);

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
    const auto shown = RepeatChoice::Kind(m_c.repeatCombo->currentIndex());
    if (shown != repeatChoice.kind)
        repeatChoice = RepeatChoice::forDay(shown, reminderDate.date());
    if (everyDay)
        repeatChoice = RepeatChoice::fromRule(QString(), false, true);
    else if (repeatChoice.kind == RepeatChoice::Kind::EveryDay)
        repeatChoice = RepeatChoice();
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
    if (everyDay)
        repeatChoice = RepeatChoice::fromRule(QString(), false, true);
    else if (repeatChoice.kind == RepeatChoice::Kind::EveryDay)
        repeatChoice = RepeatChoice();
    showRepeat();
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
    const std::optional<repeat::Rule> rule = repeat::ReadRule(*m_store(), values.at(6));
    m_loadedRule = rule;
    m_loadedWhen = when;
    repeatChoice =
        rule && !everyDay ? RepeatChoice::fromRule(rule->rrule, rule->isWorkdays()) : RepeatChoice();
    // "1" is also a dated record shown and kept: done, not cancelled. Ticked
    // on such a one, a new date would be stored cancelled and never pop up.
    cancelReminder = values.at(4) == QLatin1String(reminders::kTaken) &&
                     (everyDay || rule || !when.isValid() || when > Now());

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
    repeatChoice = RepeatChoice();
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
    std::optional<repeat::Rule> rule;
    QDateTime date = reminderDate, time = reminderTime;
    if (hasRule(repeatChoice.kind) && keepsImportedRule()) {
        rule = m_loadedRule;
        date = time = m_loadedWhen;
    } else if (hasRule(repeatChoice.kind)) {
        QDateTime first;
        if (!planSeries(now, rule, first))
            return;
        date = time = first;
    }
    const QStringList values =
        reminders::ComposeRecordValues(subject, content, date, time, everyDay, cancelReminder, now);
    if (reminders::ShutdownTimeRefused(autoShutdown, date, time, now)) {
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
        addRecord(values, rule);
    else
        modifyRecord(values, rule);
}

bool EditorPanel::keepsImportedRule() const
{
    if (mode() != Mode::Modify || !m_loadedRule || (m_loadedRule->tzid.isEmpty() && m_loadedRule->alarm == 0))
        return false;
    return repeatChoice.rule() == m_loadedRule->rrule &&
           (repeatChoice.kind == calendar::RepeatChoice::Kind::Workdays) == m_loadedRule->isWorkdays() &&
           reminderDate.date() == m_loadedWhen.date() && reminderTime.time() == m_loadedWhen.time();
}

bool EditorPanel::planSeries(const QDateTime& now, std::optional<repeat::Rule>& rule, QDateTime& first)
{
    reminders::RuleDraft draft;
    draft.rrule = repeatChoice.rule();
    draft.workdays = repeatChoice.kind == RepeatChoice::Kind::Workdays;
    // The series starts at the date and time picked; the record holds its first occurrence to come.
    const QDateTime start = calendar::wallTime(reminderDate.date(), reminderTime.time());
    repeat::Rule planned;
    QDateTime wallFirst;
    QString error;
    if (!reminders::PlanSeries(*m_store(), draft, start, calendar::wallTime(now.date(), now.time()), planned,
                               wallFirst, error)) {
        ShowMessageBox(m_owner, error, QString(), MbButtons::Ok, MbIcon::Warning);
        return false;
    }
    rule = planned;
    first = walltime::WallMoment(wallFirst.date(), wallFirst.time());
    return true;
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

void EditorPanel::addRecord(const QStringList& values, const std::optional<repeat::Rule>& rule)
{
    QString message;
    if (reminders::AddRecord(*m_store(), values, rule, message).isEmpty()) {
        ShowMessageBox(m_owner, message);
        return;
    }
    emit recordAdded();
    showText(kAdded);
    backToAddMode();
}

void EditorPanel::modifyRecord(const QStringList& values, const std::optional<repeat::Rule>& rule)
{
    QString message;
    const std::shared_ptr<CAdoDatabase> db = m_store();
    const int changed = reminders::ModifyRecord(*db, m_c.recordIdEdit->text(), values, rule, message);
    if (changed < 0) {
        // Refused, not vanished: the editor keeps the record and what was typed.
        ShowMessageBox(m_owner, RefusedWriteText(*db, message));
        return;
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

void EditorPanel::showRepeat()
{
    const int shown = int(repeatChoice.kind);
    for (int i = 0; i < m_c.repeatCombo->count(); ++i)
        m_c.repeatCombo->setItemText(i, u8(kRepeatItems[i]));
    if (hasDetails(repeatChoice.kind))
        m_c.repeatCombo->setItemText(shown, repeatChoice.words(m_c.datePicker->date()));
    m_c.repeatCombo->setCurrentIndex(shown);
    m_c.repeatCombo->setToolTip(repeatChoice.words(m_c.datePicker->date()));
    m_c.everyDayCheck->setChecked(repeatChoice.kind == RepeatChoice::Kind::EveryDay);
}

bool EditorPanel::eventFilter(QObject* watched, QEvent* event)
{
    // A wheel turned over the chooser on its way down the window would pick
    // repeats, and open their details, one after another.
    if (watched == m_c.repeatCombo && event->type() == QEvent::Wheel)
        return true;
    return QObject::eventFilter(watched, event);
}

void EditorPanel::OnEveryDayClicked(bool checked)
{
    everyDay = checked;
    repeatChoice = checked ? RepeatChoice::fromRule(QString(), false, true) : RepeatChoice();
    showRepeat();
}

void EditorPanel::OnRepeatChosen(int index)
{
    const auto kind = RepeatChoice::Kind(index);
    // Chosen again, a repeat with details opens them as they are.
    const RepeatChoice base =
        kind == repeatChoice.kind ? repeatChoice : RepeatChoice::forDay(kind, m_c.datePicker->date());
    if (!hasDetails(kind)) {
        repeatChoice = base;
        everyDay = kind == RepeatChoice::Kind::EveryDay;
        showRepeat();
        return;
    }
    // Until the details are given, the chooser shows what holds.
    showRepeat();
    auto* details = new RepeatDialog(base, m_owner);
    details->setAttribute(Qt::WA_DeleteOnClose);
    connect(details, &QDialog::accepted, this, [this, details] {
        repeatChoice = details->choice();
        everyDay = false;
        showRepeat();
    });
    details->open();
}
