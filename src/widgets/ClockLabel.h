#pragma once

#include <QPixmap>
#include <QStaticText>
#include <QString>
#include <QWidget>

// A one-line text that changes often (the main window's clock line) and
// repaints nothing but its own pixels: it is opaque, so the widgets beneath it
// (a group box's frame) are not drawn again for it. What lies beneath is
// rendered once into a pixmap, kept until the size, the style or the palette
// changes; the text is laid out once per change and drawn from that layout.
// It looks like a QLabel with the same text: left, vertically centred, in the
// window-text colour.
class ClockLabel : public QWidget
{
    Q_OBJECT
public:
    explicit ClockLabel(QWidget* parent = nullptr);

    QString text() const { return m_text.text(); }
    // Repaints only when the text differs.
    void setText(const QString& text);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // What the widgets beneath show in this widget's rectangle.
    QPixmap renderBackground() const;

    QStaticText m_text;
    QPixmap m_background;
};
