#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QString>
#include <functional>

// Buttons and answers: the customary message-box sets (OK, Yes/No ...) and
// answer values, which the dialogs' logic compares against.
enum class MbButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MbIcon { None, Information, Warning, Question, Error };
enum class MbResult { None = 0, Ok = 1, Cancel = 2, Yes = 6, No = 7 };

struct MessageBoxRequest
{
    QPointer<QObject> owner; // a QWidget in the real program; may be null
    QString text;
    QString caption; // empty: the program's title
    MbButtons buttons = MbButtons::Ok;
    MbResult defaultButton = MbResult::None; // None: the first button
    MbIcon icon = MbIcon::None;
    bool topmost = false;
};

class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    // Shows the box modally (the event loop keeps running) and returns the answer.
    virtual MbResult show(const MessageBoxRequest& request) = 0;
};

// Records every box; answers from a queue, then with the default answer
// (the box's default button when no default answer is set).
class FakeMessageBoxes final : public MessageBoxes
{
public:
    MbResult show(const MessageBoxRequest& request) override;

    void answerNext(MbResult r) { m_answers.enqueue(r); }
    void setDefaultAnswer(MbResult r) { m_defaultAnswer = r; }
    // Called while the box is "open", before it answers: lets a test act meanwhile.
    std::function<void(const MessageBoxRequest&)> onShow;

    const QList<MessageBoxRequest>& shown() const { return m_shown; }
    QStringList texts() const;
    void clear() { m_shown.clear(); }

private:
    QList<MessageBoxRequest> m_shown;
    QQueue<MbResult> m_answers;
    MbResult m_defaultAnswer = MbResult::None;
};

// The one way the program raises a message box: through the installed seam.
MbResult ShowMessageBox(QObject* owner, const QString& text, const QString& caption = QString(),
                        MbButtons buttons = MbButtons::Ok, MbIcon icon = MbIcon::None,
                        MbResult defaultButton = MbResult::None, bool topmost = false);
