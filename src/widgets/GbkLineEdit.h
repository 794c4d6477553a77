#pragma once

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QValidator>

// Edits whose text is limited in bytes of its GBK form (the limits the
// database fields were made for): input that does not fit is refused, a paste
// keeps only the part that fits, and no character is ever split.

// Cuts what was just put before the cursor (typed, pasted or set) until the
// text fits; used by GbkLineEdit.
class GbkLengthValidator : public QValidator
{
    Q_OBJECT
public:
    explicit GbkLengthValidator(int maxBytes, QObject* parent = nullptr);
    void setMaxBytes(int maxBytes) { m_maxBytes = maxBytes; }
    int maxBytes() const { return m_maxBytes; }
    State validate(QString& input, int& pos) const override;

private:
    int m_maxBytes;
};

class GbkLineEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit GbkLineEdit(QWidget* parent = nullptr);
    void setMaxBytes(int maxBytes);
    int maxBytes() const { return m_validator->maxBytes(); }

private:
    GbkLengthValidator* m_validator;
};

// The multi-line form: Enter makes a new line, Tab moves the focus on.
class GbkTextEdit : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit GbkTextEdit(QWidget* parent = nullptr);
    void setMaxBytes(int maxBytes) { m_maxBytes = maxBytes; }
    int maxBytes() const { return m_maxBytes; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    // Bytes still free once the selection (which the input replaces) is gone.
    int roomForInput() const;

    int m_maxBytes = 32767;
};
