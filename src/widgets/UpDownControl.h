#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// An up-down control attached to a digits-only edit (its buddy), with the
// classic buddy-integer and arrow-key behaviour: its arrows, and the Up and Down
// keys in the buddy, step the buddy's number within the range and write it
// back. The buddy itself can still be typed freely. The arrows carry the
// buddy's accessible name ("增加小时", "减少小时"), so that a screen reader can
// tell them from the arrows of the other fields.
class UpDownControl : public QWidget
{
    Q_OBJECT
public:
    explicit UpDownControl(QWidget* parent = nullptr);

    void setBuddy(QLineEdit* buddy);
    QLineEdit* buddy() const { return m_buddy; }
    void setRange(int minimum, int maximum);
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }
    // The position the control last wrote or read.
    int position() const { return m_pos; }

    // Moves the buddy's number by steps, staying within the range.
    void stepBy(int steps);

    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void nameArrows();

    QToolButton* m_up;
    QToolButton* m_down;
    QLineEdit* m_buddy = nullptr;
    int m_min = 0;
    int m_max = 100;
    int m_pos = 0;
};
