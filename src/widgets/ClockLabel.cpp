#include "widgets/ClockLabel.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>

ClockLabel::ClockLabel(QWidget* parent) : QWidget(parent)
{
    // Every pixel is painted here, so Qt repaints nothing beneath on an update.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_text.setTextFormat(Qt::PlainText);
    m_text.setPerformanceHint(QStaticText::AggressiveCaching);
}

void ClockLabel::setText(const QString& text)
{
    if (text == m_text.text())
        return;
    m_text.setText(text);
    // What a label would tell a screen reader; a no-op while none listens.
    setAccessibleName(text);
    update();
}

QSize ClockLabel::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    return {metrics.horizontalAdvance(m_text.text()), metrics.height()};
}

void ClockLabel::resizeEvent(QResizeEvent* event)
{
    m_background = QPixmap();
    QWidget::resizeEvent(event);
}

void ClockLabel::changeEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::StyleChange:
    case QEvent::PaletteChange:
    case QEvent::ParentChange:
        m_background = QPixmap();
        m_text.prepare(QTransform(), font());
        update();
        break;
    default:
        break;
    }
    QWidget::changeEvent(event);
}

QPixmap ClockLabel::renderBackground() const
{
    const qreal ratio = devicePixelRatioF();
    QPixmap background(size() * ratio);
    background.setDevicePixelRatio(ratio);
    QWidget* parent = parentWidget();
    if (!parent) {
        background.fill(palette().color(QPalette::Window));
        return background;
    }
    background.fill(parent->palette().color(QPalette::Window));
    QPainter painter(&background);
    // The siblings below this widget that overlap it, bottom first, without
    // their children: what a transparent label would show through.
    for (QObject* object : parent->children()) {
        if (object == this)
            break;
        auto* sibling = qobject_cast<QWidget*>(object);
        if (!sibling || sibling->isWindow() || !sibling->isVisible())
            continue;
        const QRect overlap = sibling->geometry() & geometry();
        if (overlap.isEmpty())
            continue;
        const QRect source = overlap.translated(-sibling->pos());
        sibling->render(&painter, overlap.topLeft() - pos(), QRegion(source), QWidget::DrawWindowBackground);
    }
    return background;
}

void ClockLabel::paintEvent(QPaintEvent* event)
{
    if (m_background.isNull() || m_background.devicePixelRatio() != devicePixelRatioF())
        m_background = renderBackground();
    QPainter painter(this);
    painter.setClipRect(event->rect());
    painter.drawPixmap(0, 0, m_background);
    // Where QLabel puts one line: at the left, centred vertically.
    const int top = (height() - fontMetrics().height()) / 2;
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawStaticText(QPointF(0, top), m_text);
}
