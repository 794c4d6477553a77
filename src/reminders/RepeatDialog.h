#pragma once

#include "calendar/RepeatChoice.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QDialogButtonBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QVBoxLayout;

// The details of a repeat the editor's chooser cannot show in one line: the
// weekdays of a weekly repeat, the day of a monthly one, the lunar date of a
// lunar one, the interval and end of a custom one. Only the controls of the
// choice's kind are made.
class RepeatDialog : public QDialog
{
    Q_OBJECT
public:
    RepeatDialog(const calendar::RepeatChoice& choice, QWidget* parent);

    // The choice as the controls now say it.
    calendar::RepeatChoice choice() const;

private:
    void addWeekly(QVBoxLayout* layout);
    void addMonthly(QVBoxLayout* layout);
    void addLunar(QVBoxLayout* layout);
    void addCustom(QVBoxLayout* layout);
    // A weekly repeat needs a day; a custom one needs a rule.
    void updateOk();
    // The custom fields changed: the rule text follows them.
    void writeCustomRule();

    calendar::RepeatChoice m_choice;
    QDialogButtonBox* m_buttons = nullptr;
    QCheckBox* m_days[7] = {};
    QRadioButton* m_byDay = nullptr;
    QSpinBox* m_monthDay = nullptr;
    QRadioButton* m_byWeekday = nullptr;
    QComboBox* m_ordinal = nullptr;
    QComboBox* m_weekday = nullptr;
    QComboBox* m_lunarMonth = nullptr;
    QCheckBox* m_lunarLeap = nullptr;
    QComboBox* m_lunarDay = nullptr;
    QComboBox* m_skip = nullptr;
    QSpinBox* m_interval = nullptr;
    QComboBox* m_unit = nullptr;
    QRadioButton* m_endNever = nullptr;
    QRadioButton* m_endUntil = nullptr;
    QDateEdit* m_until = nullptr;
    QRadioButton* m_endCount = nullptr;
    QSpinBox* m_count = nullptr;
    QLineEdit* m_rule = nullptr;
};
