#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QString>
#include <QWidget>
#include <QtTest>

// Types text into a widget key by key, as a keyboard (or an input method that
// commits per key) would; QTest::keyClicks takes Latin-1 only. "\n" is Enter.
inline void TypeText(QWidget* w, const QString& text)
{
    for (int i = 0; i < text.size(); ++i) {
        QString unit(text.at(i));
        if (text.at(i).isHighSurrogate() && i + 1 < text.size())
            unit += text.at(++i);
        if (unit == QLatin1String("\n")) {
            QTest::keyClick(w, Qt::Key_Return);
            continue;
        }
        if (unit.size() == 1 && unit.at(0).unicode() < 0x80) {
            QTest::keyClick(w, unit.at(0).toLatin1());
            continue;
        }
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, unit);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, unit);
        QApplication::sendEvent(w, &press);
        QApplication::sendEvent(w, &release);
    }
}
