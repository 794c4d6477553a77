#include "timers/TimerField.h"

#include "platform/MessageBoxes.h"
#include "widgets/UpDownControl.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace timerfield {

void SetUp(QLineEdit* edit, UpDownControl* spin, int minimum, int maximum)
{
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    spin->setBuddy(edit);
    spin->setRange(minimum, maximum);
}

bool Read(QWidget* owner, QLineEdit* edit, int& value)
{
    bool ok = false;
    const int read = edit->text().trimmed().toInt(&ok, 10);
    if (!ok) {
        ShowMessageBox(owner, QString::fromUtf8("请输入一个整数。"), QString(), MbButtons::Ok,
                       MbIcon::Warning);
        edit->setFocus();
        edit->selectAll();
        return false;
    }
    value = read;
    return true;
}

} // namespace timerfield
