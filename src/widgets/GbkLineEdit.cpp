#include "widgets/GbkLineEdit.h"

#include "base/Gbk.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextDocumentFragment>

GbkLengthValidator::GbkLengthValidator(int maxBytes, QObject* parent)
    : QValidator(parent), m_maxBytes(maxBytes)
{
}

QValidator::State GbkLengthValidator::validate(QString& input, int& pos) const
{
    if (gbk::byteLength(input) <= m_maxBytes)
        return Acceptable;
    // Whatever was just entered ends at the cursor: keep the text after it and
    // as much of the text before it as still fits.
    pos = qBound(0, pos, int(input.size()));
    const QString after = input.mid(pos);
    const int room = m_maxBytes - gbk::byteLength(after);
    if (room < 0) {
        input = gbk::truncateToBytes(input, m_maxBytes);
        pos = qMin(pos, int(input.size()));
        return Acceptable;
    }
    const QString before = gbk::truncateToBytes(input.left(pos), room);
    input = before + after;
    pos = int(before.size());
    return Acceptable;
}

GbkLineEdit::GbkLineEdit(QWidget* parent)
    : QLineEdit(parent), m_validator(new GbkLengthValidator(32767, this))
{
    setValidator(m_validator);
}

void GbkLineEdit::setMaxBytes(int maxBytes)
{
    m_validator->setMaxBytes(maxBytes);
    // Re-apply the limit to the text already there.
    const QString current = text();
    setText(QString());
    setText(current);
}

GbkTextEdit::GbkTextEdit(QWidget* parent) : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

int GbkTextEdit::roomForInput() const
{
    const int used = gbk::byteLength(toPlainText()) - gbk::byteLength(textCursor().selection().toPlainText());
    return m_maxBytes - used;
}

void GbkTextEdit::keyPressEvent(QKeyEvent* event)
{
    QString typed;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        typed = QStringLiteral("\n");
    else if (!event->text().isEmpty() && event->text().at(0).isPrint())
        typed = event->text();
    if (!typed.isEmpty() && gbk::byteLength(typed) > roomForInput()) {
        event->accept(); // refused: the edit is full
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void GbkTextEdit::inputMethodEvent(QInputMethodEvent* event)
{
    const QString commit = event->commitString();
    if (commit.isEmpty()) {
        QPlainTextEdit::inputMethodEvent(event);
        return;
    }
    const QString fitting = gbk::truncateToBytes(commit, qMax(0, roomForInput()));
    if (fitting == commit) {
        QPlainTextEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent cut(event->preeditString(), event->attributes());
    cut.setCommitString(fitting, event->replacementStart(), event->replacementLength());
    QPlainTextEdit::inputMethodEvent(&cut);
}

void GbkTextEdit::insertFromMimeData(const QMimeData* source)
{
    if (!source || !source->hasText())
        return;
    const QString fitting = gbk::truncateToBytes(source->text(), qMax(0, roomForInput()));
    if (!fitting.isEmpty())
        insertPlainText(fitting);
}
