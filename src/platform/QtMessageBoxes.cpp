#include "platform/QtMessageBoxes.h"

#include "base/Constants.h"

#include <QMessageBox>
#include <QPushButton>

namespace {
QMessageBox::StandardButton toQt(MbResult r)
{
    switch (r) {
    case MbResult::Ok:
        return QMessageBox::Ok;
    case MbResult::Cancel:
        return QMessageBox::Cancel;
    case MbResult::Yes:
        return QMessageBox::Yes;
    case MbResult::No:
        return QMessageBox::No;
    case MbResult::None:
        break;
    }
    return QMessageBox::NoButton;
}

MbResult fromQt(int b, MbButtons buttons)
{
    switch (b) {
    case QMessageBox::Ok:
        return MbResult::Ok;
    case QMessageBox::Cancel:
        return MbResult::Cancel;
    case QMessageBox::Yes:
        return MbResult::Yes;
    case QMessageBox::No:
        return MbResult::No;
    default:
        break;
    }
    // Closed by Esc or the close box: the answer that box's cancel button would give.
    switch (buttons) {
    case MbButtons::Ok:
        return MbResult::Ok;
    case MbButtons::YesNo:
        return MbResult::No;
    default:
        return MbResult::Cancel;
    }
}
} // namespace

MbResult QtMessageBoxes::show(const MessageBoxRequest& request)
{
    auto* owner = qobject_cast<QWidget*>(request.owner.data());
    QMessageBox box(owner);
    box.setWindowTitle(request.caption.isEmpty() ? QString::fromUtf8(tolva::kProgramTitle) : request.caption);
    box.setText(request.text);
    switch (request.icon) {
    case MbIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MbIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MbIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MbIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MbIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    QMessageBox::StandardButtons set;
    switch (request.buttons) {
    case MbButtons::Ok:
        set = QMessageBox::Ok;
        break;
    case MbButtons::OkCancel:
        set = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case MbButtons::YesNo:
        set = QMessageBox::Yes | QMessageBox::No;
        break;
    case MbButtons::YesNoCancel:
        set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
    }
    box.setStandardButtons(set);
    if (request.defaultButton != MbResult::None)
        box.setDefaultButton(toQt(request.defaultButton));
    if (request.buttons == MbButtons::YesNo)
        box.setEscapeButton(QMessageBox::No);
    if (request.topmost)
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    const int r = box.exec();
    return fromQt(r, request.buttons);
}
