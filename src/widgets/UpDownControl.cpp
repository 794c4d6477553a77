#include "widgets/UpDownControl.h"

#include <QAccessible>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

UpDownControl::UpDownControl(QWidget* parent)
    : QWidget(parent), m_up(new QToolButton(this)), m_down(new QToolButton(this))
{
    for (QToolButton* b : {m_up, m_down}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
        b->setAutoRaise(false);
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    connect(m_up, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { stepBy(-1); });
    setFocusPolicy(Qt::NoFocus);
    nameArrows();
}

void UpDownControl::setBuddy(QLineEdit* buddy)
{
    if (m_buddy)
        m_buddy->removeEventFilter(this);
    m_buddy = buddy;
    if (m_buddy)
        m_buddy->installEventFilter(this);
    nameArrows();
}

// The buddy's name as a screen reader gives it: its own accessible name, else
// its label's text (a label buddy), without the label's colon.
void UpDownControl::nameArrows()
{
    QString field;
    if (m_buddy) {
        if (QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(m_buddy))
            field = iface->text(QAccessible::Name).trimmed();
    }
    if (field.endsWith(QChar(0xFF1A)) || field.endsWith(QLatin1Char(':')))
        field.chop(1);
    m_up->setAccessibleName(QString::fromUtf8("增加") + field);
    m_down->setAccessibleName(QString::fromUtf8("减少") + field);
}

void UpDownControl::setRange(int minimum, int maximum)
{
    m_min = qMin(minimum, maximum);
    m_max = qMax(minimum, maximum);
    m_pos = qBound(m_min, m_pos, m_max);
}

void UpDownControl::stepBy(int steps)
{
    if (m_buddy) {
        bool ok = false;
        const int shown = m_buddy->text().trimmed().toInt(&ok);
        if (ok)
            m_pos = qBound(m_min, shown, m_max);
    }
    m_pos = qBound(m_min, m_pos + steps, m_max);
    if (m_buddy)
        m_buddy->setText(QString::number(m_pos));
}

QSize UpDownControl::sizeHint() const
{
    return QSize(16, 24);
}

bool UpDownControl::event(QEvent* event)
{
    // A name or buddy given to the field after setBuddy() is taken up when shown.
    if (event->type() == QEvent::Show)
        nameArrows();
    return QWidget::event(event);
}

bool UpDownControl::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_buddy && event->type() == QEvent::KeyPress && isEnabled()) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            if (key->key() == Qt::Key_Up) {
                stepBy(1);
                return true;
            }
            if (key->key() == Qt::Key_Down) {
                stepBy(-1);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void UpDownControl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int half = height() / 2;
    m_up->setGeometry(0, 0, width(), half);
    m_down->setGeometry(0, half, width(), height() - half);
}
