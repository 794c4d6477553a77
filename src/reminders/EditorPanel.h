#pragma once

#include "calendar/RepeatChoice.h"
#include "reminders/DueCheck.h"
#include "reminders/ReminderEditor.h"
#include "reminders/Repeat.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class GbkLineEdit;
class GbkTextEdit;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QTimeEdit;
class QWidget;

// The editor group of the main window ("添加/修改提醒"): its bound values, the
// add and modify of a record, the refresh/delete button, the every-day and
// 自动关机 boxes, the repeat chooser. The window hands it the group's controls and the store, and
// answers its signals: the list is the window's.
class EditorPanel : public QObject
{
    Q_OBJECT
public:
    enum class Mode { Add, Modify };

    // The controls of the group, all owned by the window's form.
    struct Controls
    {
        GbkLineEdit* subjectEdit = nullptr;     // 1000
        GbkTextEdit* contentEdit = nullptr;     // 1001
        QPushButton* addModifyButton = nullptr; // 1002
        QDateEdit* datePicker = nullptr;        // 1003
        QTimeEdit* timePicker = nullptr;        // 1004
        QCheckBox* cancelReminderCheck = nullptr;
        QLineEdit* recordIdEdit = nullptr;
        QPushButton* refreshDeleteButton = nullptr;
        QCheckBox* autoShutdownCheck = nullptr;
        QCheckBox* everyDayCheck = nullptr;
        QComboBox* repeatCombo = nullptr;
    };

    static constexpr int kSubjectMaxBytes = reminders::kSubjectMaxBytes;
    static constexpr int kContentMaxBytes = reminders::kContentMaxBytes;

    // owner: the window that owns the message boxes.
    EditorPanel(const Controls& controls, QWidget* owner, StoreProvider store);

    // Bound values. readChoices reads the pickers and the boxes, which cannot
    // be refused; readTexts reads the two texts, checking their GBK lengths,
    // and reports the first one too long (false).
    void readChoices();
    bool readTexts();
    void writeControls();

    // The fields a record is stored with, in ComposeRecordValues() order.
    const QStringList& insertFields() const { return m_insertFields; }
    // Add or modify, as the captions say.
    Mode mode() const;

    // A record of the list chosen: its seven values in ListFields() order.
    void loadRecord(const QStringList& values);
    // Back to an empty editor in add mode, 自动关机 unticked and shown.
    void backToAddMode();
    // The answer No to a deletion: the record stays chosen.
    void keepDeleteMode();

    // --- Bound values ---
    QDateTime reminderDate;
    QDateTime reminderTime;
    bool cancelReminder = false;
    bool everyDay = false;
    QString subject;
    QString content;
    bool autoShutdown = false;
    // The repeat chosen; its every-day choice is `everyDay`, kept in step with it.
    calendar::RepeatChoice repeatChoice;

    // The add or modify button, once the window has read every control: checks
    // the values read and stores the record.
    void storeRecord();
    // The 自动关机 box clicked, once the window has read every control: fills
    // the texts of a shutdown record, or clears the editor when unticked.
    void applyAutoShutdown();

public slots:
    void OnRefreshOrDelete();
    // A repeat chosen (by its place in the chooser); one with details asks for them first.
    void OnRepeatChosen(int index);
    void OnEveryDayClicked(bool checked);
    void ClearEditor();
    void ReturnToAddMode();

signals:
    // The list is to be read again with the controls' filter (ApplyFilter).
    void recordsChanged();
    // A record was added: the list is to show the records not yet taken.
    void recordAdded();
    // The delete caption was clicked: the chosen record is to be deleted.
    void deleteRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The subject and content of a shutdown record typed without 自动关机:
    // true once the user has agreed to store it as such (or it is no such pair).
    bool shutdownPairConfirmed() const;
    void setEditsEnabled(bool enabled);
    void setAddModeCaptions();
    void showText(const char* text);
    // The chooser and 每天提醒 as `repeatChoice` says.
    void showRepeat();
    // A repeating record's rule and the occurrence it is to hold; false when
    // the rule was refused (and said so).
    bool planSeries(const QDateTime& now, std::optional<repeat::Rule>& rule, QDateTime& first);
    // An imported series (its own zone, or an alarm before each start) whose
    // repeat, date and time were left as loaded: kept as stored, since the
    // editor can show neither the zone nor the alarm.
    bool keepsImportedRule() const;
    void addRecord(const QStringList& values, const std::optional<repeat::Rule>& rule);
    void modifyRecord(const QStringList& values, const std::optional<repeat::Rule>& rule);

    Controls m_c;
    QWidget* m_owner;
    StoreProvider m_store;
    std::optional<repeat::Rule> m_loadedRule; // the chosen record's rule
    QDateTime m_loadedWhen;                   // and the moment it holds
    QStringList m_insertFields;
    // The hidden time-of-day of the date picker and the hidden date of the time
    // picker: each picker holds a full date-time, but shows only half of it.
    QTime m_datePickerTime;
    QDate m_timePickerDate;
};
