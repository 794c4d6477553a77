#include "widgets/LinkLabel.h"

#include "platform/MessageBoxes.h"
#include "platform/Seams.h"
#include "platform/Shell.h"
#include "widgets/LinkCommand.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

CLinkLabel::CLinkLabel(QWidget* parent)
    : QLabel(parent), m_hoverColour(QApplication::palette().color(QPalette::Highlight))
{
    // Moves are needed without a button held, to follow the hover.
    setMouseTracking(true);
}

void CLinkLabel::PreSubclassWindow()
{
    if (m_target.isEmpty())
        m_target = text();
    if (text().isEmpty())
        setText(m_target);
    applyUnderline();
    m_attached = true;
    FitToText();
    setCursor(Qt::PointingHandCursor);
    setToolTip(m_target);
}

void CLinkLabel::SetLinkUrl(const QString& url)
{
    m_target = url;
    if (!m_attached)
        return;
    FitToText();
    setToolTip(m_target);
}

void CLinkLabel::SetVisited(bool visited)
{
    m_visited = visited;
    if (m_attached)
        update();
}

void CLinkLabel::SetUnderline(bool underline)
{
    m_underline = underline;
    if (!m_attached)
        return;
    applyUnderline();
    update();
}

void CLinkLabel::applyUnderline()
{
    QFont f = font();
    f.setUnderline(m_underline);
    setFont(f);
}

QColor CLinkLabel::TextColour() const
{
    if (m_over)
        return m_hoverColour;
    return m_visited ? m_visitedColour : m_linkColour;
}

void CLinkLabel::paintEvent(QPaintEvent*)
{
    // The dialog's background shows through: nothing but the text is drawn.
    QPainter p(this);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, TextColour());
    style()->drawItemText(&p, contentsRect(), QStyle::visualAlignment(layoutDirection(), alignment()), pal,
                          true, text(), QPalette::WindowText);
}

void CLinkLabel::setOver(bool over)
{
    m_over = over;
    repaint();
}

void CLinkLabel::endHover()
{
    if (!m_over)
        return;
    releaseMouse();
    setOver(false);
}

void CLinkLabel::mouseMoveEvent(QMouseEvent* event)
{
    QLabel::mouseMoveEvent(event);
    // The mouse stays captured while over the control, so that the move that
    // leaves it still arrives here and ends the hover.
    if (!m_over) {
        setOver(true);
        grabMouse();
    } else if (!rect().contains(event->position().toPoint())) {
        endHover();
    }
}

void CLinkLabel::mousePressEvent(QMouseEvent* event)
{
    // A static control reports its click as the button goes down.
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        event->accept();
        OnClicked();
        return;
    }
    QLabel::mousePressEvent(event);
}

void CLinkLabel::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click is no second click.
    event->accept();
}

void CLinkLabel::hideEvent(QHideEvent* event)
{
    endHover();
    QLabel::hideEvent(event);
}

void CLinkLabel::OnClicked()
{
    // A browser window or the error box takes over from here: the mouse must not
    // stay captured by the link meanwhile.
    endHover();
    const int result = OpenLink(m_target, kSwShow);
    if (result > 32) {
        SetVisited(true);
    } else {
        QApplication::beep();
        ReportOpenError(result);
        SetVisited(false);
    }
    emit clicked();
}

int CLinkLabel::OpenLink(const QString& target, int showCommand)
{
    Shell& shell = seams::shell();
    const int result = shell.open(target, showCommand);
    if (result > 32)
        return result;
    const QString browser = shell.defaultBrowserCommand();
    if (browser.isEmpty())
        return result;
    return shell.runCommand(BrowserCommandFor(browser, target), showCommand);
}

void CLinkLabel::ReportOpenError(int code)
{
    ShowMessageBox(window(), OpenErrorText(code), QString(), MbButtons::Ok, MbIcon::Warning);
}

QRect CLinkLabel::FitRectToText(const QRect& rect, const QSize& text, Qt::Alignment alignment)
{
    int x = rect.x();
    int y = rect.y();
    int w = rect.width();
    int h = rect.height();
    if (alignment & Qt::AlignVCenter) {
        const int half = (h - text.height()) / 2;
        y += half;
        h -= 2 * half;
    } else {
        h = text.height();
    }
    if (alignment & Qt::AlignHCenter) {
        const int half = (w - text.width()) / 2;
        x += half;
        w -= 2 * half;
    } else if (alignment & Qt::AlignRight) {
        x += w - text.width();
        w = text.width();
    } else {
        w = text.width();
    }
    return QRect(x, y, w, h);
}

void CLinkLabel::FitToText()
{
    if (!m_autoSize || !m_attached)
        return;
    const QFontMetrics fm(font());
    const QSize textSize(fm.horizontalAdvance(text()), fm.height());
    setGeometry(FitRectToText(geometry(), textSize, alignment()));
}
