#include "platform/MessageBoxes.h"

#include "platform/Seams.h"

namespace {
MbResult firstButton(MbButtons b)
{
    switch (b) {
    case MbButtons::Ok:
    case MbButtons::OkCancel:
        return MbResult::Ok;
    case MbButtons::YesNo:
    case MbButtons::YesNoCancel:
        return MbResult::Yes;
    }
    return MbResult::Ok;
}
} // namespace

MbResult FakeMessageBoxes::show(const MessageBoxRequest& request)
{
    m_shown.append(request);
    if (onShow)
        onShow(request);
    if (!m_answers.isEmpty())
        return m_answers.dequeue();
    if (m_defaultAnswer != MbResult::None)
        return m_defaultAnswer;
    return request.defaultButton != MbResult::None ? request.defaultButton : firstButton(request.buttons);
}

QStringList FakeMessageBoxes::texts() const
{
    QStringList out;
    for (const auto& r : m_shown)
        out << r.text;
    return out;
}

MbResult ShowMessageBox(QObject* owner, const QString& text, const QString& caption, MbButtons buttons,
                        MbIcon icon, MbResult defaultButton, bool topmost)
{
    MessageBoxRequest r;
    r.owner = owner;
    r.text = text;
    r.caption = caption;
    r.buttons = buttons;
    r.icon = icon;
    r.defaultButton = defaultButton;
    r.topmost = topmost;
    return seams::messageBoxes().show(r);
}
