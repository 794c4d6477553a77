#include "store/RepairDlg.h"
#include "support/TestSupport.h"
#include "widgets/DialogLayout.h"

#include <QFrame>
#include <QLabel>
#include <QtTest>

class TestRepairDlg : public QObject
{
    Q_OBJECT

private slots:
    void noticeSitsWhereTheFormPutsIt()
    {
        CRepairDlg dlg;
        QVERIFY(!dlg.parentWidget());
        const QList<QLabel*> labels = dlg.findChildren<QLabel*>();
        QCOMPARE(labels.size(), 1);
        QCOMPARE(labels.first()->text(), QString::fromUtf8("运行环境异常，Tolva智能修复正在启动，请稍候 ……"));
        QCOMPARE(dlg.font().pointSize(), 9);
        QVERIFY(dlg.font().families().contains(QString::fromUtf8("宋体")));
        const DialogUnits du(dlg.font());
        QCOMPARE(dlg.size(), QSize(du.x(221), du.y(95)));
        QCOMPARE(labels.first()->geometry(), du.rect(QRect(16, 43, 189, 8)));
        // The notice reads whole in whichever font stood in for SimSun.
        QVERIFY(labels.first()->fontMetrics().horizontalAdvance(labels.first()->text()) <= dlg.width());
    }

    void noCaptionButASunkenEdge()
    {
        CRepairDlg dlg;
        QVERIFY(dlg.windowFlags() & Qt::FramelessWindowHint);
        const QList<QFrame*> frames = dlg.findChildren<QFrame*>(QString(), Qt::FindDirectChildrenOnly);
        const auto edge = std::find_if(frames.begin(), frames.end(), [](QFrame* f) {
            return f->frameShadow() == QFrame::Sunken && f->frameShape() != QFrame::NoFrame;
        });
        QVERIFY(edge != frames.end());
        QCOMPARE((*edge)->geometry(), dlg.rect());
    }

    void fiveSecondsCountFromTheShow()
    {
        CRepairDlg dlg;
        QCOMPARE(dlg.closeInterval(), 5000);
        QVERIFY(!dlg.closeTimerActive()); // nothing runs before the dialog initialises
        dlg.show();
        QVERIFY(dlg.closeTimerActive());
        QCOMPARE(dlg.closeInterval(), 5000);
    }

    void timerOneClosesTheDialogAsCancelled()
    {
        CRepairDlg dlg;
        dlg.show();
        dlg.OnTimer(2); // not the dialog's timer
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.closeTimerActive());
        dlg.OnTimer(1);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(!dlg.closeTimerActive());
    }

    void theModalRunEndsByItself()
    {
        FakeSeams fakes;
        CRepairDlg dlg;
        dlg.setCloseInterval(20);
        bool shownWhileRunning = false;
        QTimer::singleShot(0, &dlg, [&] { shownWhileRunning = dlg.isVisible() && dlg.closeTimerActive(); });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
        QVERIFY(shownWhileRunning);
        QVERIFY(!dlg.isVisible());
        QVERIFY(!dlg.closeTimerActive());
        QVERIFY(fakes.boxes.shown().isEmpty()); // the repair reports nothing itself
    }

    void initialisesOnlyOnce()
    {
        CRepairDlg dlg;
        dlg.setCloseInterval(60000);
        dlg.show();
        dlg.OnTimer(1);
        QVERIFY(!dlg.closeTimerActive());
        // A later show is no new start-up: its timer does not start again.
        dlg.show();
        QVERIFY(!dlg.closeTimerActive());
    }
};

QTEST_MAIN(TestRepairDlg)
#include "tst_repairdlg.moc"
