#pragma once

#include "reminders/AlertDlg.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

// Acknowledges each reminder popup while it runs its modal loop, as a user
// clicking "我知道了" would. Before the click it calls shown with the popup;
// an answer of false leaves the popup open until the next look.
class PopupAcknowledger
{
public:
    using Shown = std::function<bool(CAlertDlg* popup)>;

    explicit PopupAcknowledger(Shown shown, int periodMs = 10) : m_shown(std::move(shown))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* popup = qobject_cast<CAlertDlg*>(QApplication::activeModalWidget());
            if (!popup || !popup->isVisible() || !m_shown(popup))
                return;
            QTest::mouseClick(popup->findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
        });
        m_timer.start(periodMs);
    }

private:
    Shown m_shown;
    QTimer m_timer;
};
