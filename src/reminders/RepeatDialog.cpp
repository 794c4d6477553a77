#include "reminders/RepeatDialog.h"

#include "calendar/LunarRule.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

using calendar::RepeatChoice;

namespace {

const char* const kWeekdayNames[] = {"星期一", "星期二", "星期三", "星期四", "星期五", "星期六", "星期日"};

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

template <class T> T* named(T* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QHBoxLayout* row(QVBoxLayout* layout)
{
    auto* line = new QHBoxLayout;
    layout->addLayout(line);
    return line;
}

QLabel* label(const char* text, QWidget* buddy)
{
    auto* l = new QLabel(u8(text));
    l->setBuddy(buddy);
    return l;
}

} // namespace

RepeatDialog::RepeatDialog(const RepeatChoice& choice, QWidget* parent) : QDialog(parent), m_choice(choice)
{
    setObjectName(QStringLiteral("repeatDialog"));
    static const char* const titles[] = {"",          "", "", "每周重复", "每月重复", "", "农历每年重复",
                                         "自定义重复"};
    setWindowTitle(u8(titles[int(choice.kind)]));
    auto* layout = new QVBoxLayout(this);
    switch (choice.kind) {
    case RepeatChoice::Kind::Weekly:
        addWeekly(layout);
        break;
    case RepeatChoice::Kind::Monthly:
        addMonthly(layout);
        break;
    case RepeatChoice::Kind::Lunar:
        addLunar(layout);
        break;
    case RepeatChoice::Kind::Custom:
        addCustom(layout);
        break;
    default:
        break;
    }
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    m_buttons->button(QDialogButtonBox::Ok)->setText(u8("确定"));
    m_buttons->button(QDialogButtonBox::Cancel)->setText(u8("取消"));
    layout->addWidget(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    updateOk();
}

void RepeatDialog::addWeekly(QVBoxLayout* layout)
{
    layout->addWidget(new QLabel(u8("在每周的这几天提醒：")));
    QHBoxLayout* line = row(layout);
    for (int d = 1; d <= 7; ++d) {
        auto* box = new QCheckBox(u8(kWeekdayNames[d - 1]));
        box->setObjectName(QStringLiteral("weekday%1").arg(d));
        box->setChecked(m_choice.weekdays.contains(d));
        connect(box, &QCheckBox::toggled, this, &RepeatDialog::updateOk);
        line->addWidget(box);
        m_days[d - 1] = box;
    }
}

void RepeatDialog::addMonthly(QVBoxLayout* layout)
{
    auto* group = new QButtonGroup(this);
    m_byDay = named(new QRadioButton(u8("每月的第")), "monthDayRadio");
    m_monthDay = named(new QSpinBox, "monthDaySpin");
    m_monthDay->setRange(1, 31);
    m_monthDay->setValue(m_choice.monthDay);
    QHBoxLayout* first = row(layout);
    first->addWidget(m_byDay);
    first->addWidget(m_monthDay);
    first->addWidget(new QLabel(u8("天（没有这一天的月份不提醒）")));
    first->addStretch();

    m_byWeekday = named(new QRadioButton(u8("每月的")), "monthWeekdayRadio");
    m_ordinal = named(new QComboBox, "ordinalCombo");
    for (const char* o : {"第一个", "第二个", "第三个", "第四个", "最后一个"})
        m_ordinal->addItem(u8(o));
    m_ordinal->setCurrentIndex(m_choice.ordinal == -1 ? 4 : qBound(1, m_choice.ordinal, 4) - 1);
    m_weekday = named(new QComboBox, "weekdayCombo");
    for (const char* w : kWeekdayNames)
        m_weekday->addItem(u8(w));
    m_weekday->setCurrentIndex(qBound(1, m_choice.weekday, 7) - 1);
    QHBoxLayout* second = row(layout);
    second->addWidget(m_byWeekday);
    second->addWidget(m_ordinal);
    second->addWidget(m_weekday);
    second->addStretch();

    group->addButton(m_byDay);
    group->addButton(m_byWeekday);
    (m_choice.byWeekday ? m_byWeekday : m_byDay)->setChecked(true);
}

void RepeatDialog::addLunar(QVBoxLayout* layout)
{
    m_lunarMonth = named(new QComboBox, "lunarMonthCombo");
    m_lunarDay = named(new QComboBox, "lunarDayCombo");
    // The names come with the day: 八月初一 is 八月 and 初一.
    for (int m = 1; m <= 12; ++m)
        m_lunarMonth->addItem(calendar::LunarDay::name(m, false, 1).chopped(2));
    for (int d = 1; d <= 30; ++d)
        m_lunarDay->addItem(calendar::LunarDay::name(1, false, d).mid(2));
    m_lunarMonth->setCurrentIndex(qBound(1, m_choice.lunarMonth, 12) - 1);
    m_lunarDay->setCurrentIndex(qBound(1, m_choice.lunarDay, 30) - 1);
    m_lunarLeap = named(new QCheckBox(u8("闰月")), "lunarLeapCheck");
    m_lunarLeap->setChecked(m_choice.lunarLeap);
    QHBoxLayout* date = row(layout);
    date->addWidget(label("农历：", m_lunarMonth));
    date->addWidget(m_lunarLeap);
    date->addWidget(m_lunarMonth);
    date->addWidget(m_lunarDay);
    date->addStretch();

    m_skip = named(new QComboBox, "lunarSkipCombo");
    for (const char* s : {"不提醒", "提前到前一天（或同月）", "推后到后一天（或下一月）"})
        m_skip->addItem(u8(s));
    m_skip->setCurrentIndex(int(m_choice.skip));
    QHBoxLayout* skip = row(layout);
    skip->addWidget(label("没有闰月或三十的年份：", m_skip));
    skip->addWidget(m_skip);
}

void RepeatDialog::addCustom(QVBoxLayout* layout)
{
    m_interval = named(new QSpinBox, "intervalSpin");
    m_interval->setRange(1, 999);
    m_interval->setValue(qMax(1, m_choice.interval));
    m_unit = named(new QComboBox, "unitCombo");
    for (const char* unit : {"天", "周", "个月"})
        m_unit->addItem(u8(unit));
    m_unit->setCurrentIndex(int(m_choice.unit));
    QHBoxLayout* every = row(layout);
    every->addWidget(label("每", m_interval));
    every->addWidget(m_interval);
    every->addWidget(m_unit);
    every->addStretch();

    auto* group = new QButtonGroup(this);
    m_endNever = named(new QRadioButton(u8("一直重复")), "endNeverRadio");
    m_endUntil = named(new QRadioButton(u8("重复到")), "endUntilRadio");
    m_until = named(new QDateEdit, "untilEdit");
    m_until->setDisplayFormat(u8("yyyy年MM月dd日"));
    m_until->setDate(m_choice.until.isValid() ? m_choice.until : QDate::currentDate());
    m_endCount = named(new QRadioButton(u8("共")), "endCountRadio");
    m_count = named(new QSpinBox, "countSpin");
    m_count->setRange(1, 999);
    m_count->setValue(qMax(1, m_choice.count));
    for (QRadioButton* r : {m_endNever, m_endUntil, m_endCount})
        group->addButton(r);
    const RepeatChoice::End end = m_choice.end;
    (end == RepeatChoice::End::Until   ? m_endUntil
     : end == RepeatChoice::End::Count ? m_endCount
                                       : m_endNever)
        ->setChecked(true);
    QHBoxLayout* ends = row(layout);
    ends->addWidget(m_endNever);
    ends->addWidget(m_endUntil);
    ends->addWidget(m_until);
    ends->addWidget(new QLabel(u8("为止")));
    ends->addWidget(m_endCount);
    ends->addWidget(m_count);
    ends->addWidget(new QLabel(u8("次")));

    // The rule itself, which a rule made elsewhere keeps as it was until a field changes.
    m_rule = named(new QLineEdit, "ruleEdit");
    m_rule->setText(m_choice.rule());
    QHBoxLayout* text = row(layout);
    text->addWidget(label("规则（RRULE）：", m_rule));
    text->addWidget(m_rule);
    connect(m_rule, &QLineEdit::textChanged, this, &RepeatDialog::updateOk);
    connect(m_interval, &QSpinBox::valueChanged, this, &RepeatDialog::writeCustomRule);
    connect(m_unit, &QComboBox::currentIndexChanged, this, &RepeatDialog::writeCustomRule);
    connect(m_until, &QDateEdit::dateChanged, this, &RepeatDialog::writeCustomRule);
    connect(m_count, &QSpinBox::valueChanged, this, &RepeatDialog::writeCustomRule);
    connect(group, &QButtonGroup::buttonToggled, this, &RepeatDialog::writeCustomRule);
    setMinimumWidth(420);
}

void RepeatDialog::writeCustomRule()
{
    RepeatChoice fields = choice();
    fields.text.clear();
    m_rule->setText(fields.fieldsRule());
}

void RepeatDialog::updateOk()
{
    if (!m_buttons)
        return;
    const RepeatChoice c = choice();
    const bool ok = c.kind == RepeatChoice::Kind::Weekly   ? !c.weekdays.isEmpty()
                    : c.kind == RepeatChoice::Kind::Custom ? !c.text.trimmed().isEmpty()
                                                           : true;
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(ok);
}

RepeatChoice RepeatDialog::choice() const
{
    RepeatChoice c = m_choice;
    switch (c.kind) {
    case RepeatChoice::Kind::Weekly:
        c.weekdays.clear();
        for (int d = 1; d <= 7; ++d) {
            if (m_days[d - 1]->isChecked())
                c.weekdays << d;
        }
        break;
    case RepeatChoice::Kind::Monthly:
        c.byWeekday = m_byWeekday->isChecked();
        c.monthDay = m_monthDay->value();
        c.ordinal = m_ordinal->currentIndex() == 4 ? -1 : m_ordinal->currentIndex() + 1;
        c.weekday = m_weekday->currentIndex() + 1;
        break;
    case RepeatChoice::Kind::Lunar:
        c.lunarMonth = m_lunarMonth->currentIndex() + 1;
        c.lunarLeap = m_lunarLeap->isChecked();
        c.lunarDay = m_lunarDay->currentIndex() + 1;
        c.skip = RepeatChoice::Skip(m_skip->currentIndex());
        break;
    case RepeatChoice::Kind::Custom:
        c.interval = m_interval->value();
        c.unit = RepeatChoice::Unit(m_unit->currentIndex());
        c.end = m_endUntil->isChecked()   ? RepeatChoice::End::Until
                : m_endCount->isChecked() ? RepeatChoice::End::Count
                                          : RepeatChoice::End::Never;
        c.until = m_until->date();
        c.count = m_count->value();
        c.text = m_rule->text().trimmed();
        break;
    default:
        break;
    }
    return c;
}
