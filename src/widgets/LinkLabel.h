#pragma once

#include <QColor>
#include <QLabel>

// A static text of a dialog turned into a web link: drawn in the link colour,
// in the hover colour while the mouse is over it, with a pointing hand and a
// tooltip naming the target; a click opens the target in the browser.
class CLinkLabel : public QLabel
{
    Q_OBJECT
public:
    explicit CLinkLabel(QWidget* parent = nullptr);

    // Takes the control over as its dialog made it; called once after the form is set up.
    void PreSubclassWindow();

    void SetLinkUrl(const QString& url);
    QString GetLinkUrl() const { return m_target; }
    void SetVisited(bool visited);
    bool GetVisited() const { return m_visited; }
    void SetUnderline(bool underline);
    bool GetUnderline() const { return m_underline; }
    bool IsOver() const { return m_over; }

    QColor LinkColour() const { return m_linkColour; }
    QColor VisitedColour() const { return m_visitedColour; }
    QColor HoverColour() const { return m_hoverColour; }
    // The colour the text is drawn in now.
    QColor TextColour() const;

    // Opens target, falling back to the default browser's command line; returns
    // a value greater than 32 on success, else a ShellExecute error code.
    static int OpenLink(const QString& target, int showCommand);
    void ReportOpenError(int code);

    // Resizes the control to its text, keeping the edge or centre its alignment names.
    void FitToText();
    static QRect FitRectToText(const QRect& rect, const QSize& text, Qt::Alignment alignment);

signals:
    // After a click, successful or not.
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void OnClicked();
    void applyUnderline();
    void setOver(bool over);
    // Clears the hover and lets the mouse go.
    void endHover();

    QColor m_linkColour{0, 0, 238};
    QColor m_visitedColour{0, 0, 238};
    QColor m_hoverColour;
    bool m_over = false;
    bool m_visited = false;
    bool m_underline = true;
    bool m_autoSize = true;
    bool m_attached = false;
    QString m_target;
};
