#include "base/Constants.h"
#include "support/TestSupport.h"
#include "widgets/AboutDlg.h"
#include "widgets/DialogLayout.h"
#include "widgets/LinkLabel.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

namespace {
QStringList labelTexts(const QWidget& w)
{
    QStringList texts;
    for (const QLabel* l : w.findChildren<QLabel*>())
        if (!qobject_cast<const CLinkLabel*>(l) && !l->text().isEmpty())
            texts << l->text();
    return texts;
}
} // namespace

class TestAboutDlg : public QObject
{
    Q_OBJECT
private slots:
    void controls()
    {
        CAboutDlg dlg;
        QCOMPARE(dlg.windowTitle(), QString::fromUtf8("关于 Tolva小精灵"));
        QCOMPARE(labelTexts(dlg),
                 QStringList({QString::fromUtf8("Tolva小精灵 1.02 版"), QString::fromUtf8("操作技巧："),
                              QString::fromUtf8("1.鼠标单击记录，右键可以直接删除该条记录。"),
                              QString::fromUtf8("2.鼠标单击空白记录，即可返回数据添加状态。"),
                              QString::fromUtf8("3.点击刷新按钮，时间选择即可跳到最新时间。"),
                              QString::fromUtf8("4.更多技巧整理中，欢迎大家提出宝贵的意见。")}));
        QCOMPARE(dlg.okButton()->text(), QString::fromUtf8("我知道啦"));
        QCOMPARE(dlg.link()->text(), QString::fromUtf8("最新下载：Tolva小精灵会不定期做出细微更新。"));
        // The application icon beside the texts.
        const auto* icon = dlg.findChild<QLabel*>(QStringLiteral("iconLabel"));
        QVERIFY(icon);
        QVERIFY(!icon->pixmap().isNull());
    }

    void sizesFromDialogUnits()
    {
        CAboutDlg dlg;
        QCOMPARE(dlg.font().families().value(0), QString::fromUtf8("宋体"));
        QVERIFY(dlg.font().families().contains(QStringLiteral("WenQuanYi Micro Hei")));
        QCOMPARE(dlg.font().pointSize(), 9);
        const DialogUnits du(dlg.font());
        QCOMPARE(dlg.size(), QSize(du.x(236), du.y(122)));
        QCOMPARE(dlg.okButton()->geometry(), du.rect(QRect(174, 12, 50, 14)));
        // The link keeps its place and takes its text's size.
        const QFontMetrics fm(dlg.link()->font());
        QCOMPARE(dlg.link()->pos(), du.rect(QRect(40, 100, 186, 8)).topLeft());
        QCOMPARE(dlg.link()->width(), fm.horizontalAdvance(dlg.link()->text()));
    }

    void linkAfterInitialisation()
    {
        CAboutDlg dlg;
        dlg.show();
        CLinkLabel* link = dlg.link();
        const QString url = QString::fromUtf8(tolva::kProductUrl);
        QCOMPARE(link->GetLinkUrl(), url);
        QCOMPARE(link->toolTip(), url);
        QVERIFY(!link->GetUnderline());
        QVERIFY(!link->font().underline());
        QCOMPARE(link->TextColour(), QColor(0, 0, 238));
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    }

    void enterDoesNothing()
    {
        CAboutDlg dlg;
        QSignalSpy finished(&dlg, &QDialog::finished);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.okButton()->setFocus();
        QTest::keyClick(dlg.okButton(), Qt::Key_Return);
        QTest::keyClick(dlg.okButton(), Qt::Key_Enter);
        QTest::keyClick(&dlg, Qt::Key_Return);
        QVERIFY(dlg.isVisible());
        QCOMPARE(finished.count(), 0);
    }

    void escapeCancels()
    {
        CAboutDlg dlg;
        dlg.show();
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }

    void closeBoxCancels()
    {
        CAboutDlg dlg;
        dlg.show();
        QVERIFY(dlg.close());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }

    void buttonEndsTheModalRunAsOk()
    {
        CAboutDlg dlg;
        QTimer::singleShot(0, &dlg, [&dlg] { QTest::mouseClick(dlg.okButton(), Qt::LeftButton); });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    }

    void clickingTheLinkOpensThePage()
    {
        FakeSeams fakes;
        fakes.shell.setOpenResult(42);
        CAboutDlg dlg;
        dlg.show();
        QTest::mouseClick(dlg.link(), Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(fakes.shell.opened().size(), 1);
        QCOMPARE(fakes.shell.opened().at(0).target, QString::fromUtf8(tolva::kProductUrl));
        QVERIFY(dlg.link()->GetVisited());
        QVERIFY(dlg.isVisible());
    }

    void failedLinkReportsAndStaysOpen()
    {
        FakeSeams fakes;
        fakes.shell.setOpenResult(2);
        CAboutDlg dlg;
        dlg.show();
        QTest::mouseClick(dlg.link(), Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(fakes.boxes.texts(), QStringList(QStringLiteral(
                                          "Unable to open hyperlink:\n\nThe specified file was not found.")));
        QCOMPARE(fakes.boxes.shown().at(0).owner.data(), &dlg);
        QVERIFY(!dlg.link()->GetVisited());
        QVERIFY(dlg.isVisible());
    }
};

QTEST_MAIN(TestAboutDlg)
#include "tst_aboutdlg.moc"
