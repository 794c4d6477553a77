#include "base/Gbk.h"
#include "support/TypeText.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/UpDownControl.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QtTest>

namespace {
const QString kHan = QStringLiteral("汉");  // two GBK bytes
const QString kEmoji = QStringLiteral("😀"); // a surrogate pair; four bytes (GB18030)
} // namespace

class TestGbkEdits : public QObject
{
    Q_OBJECT

private slots:
    void lineEditRefusesTypingPastTheLimit()
    {
        GbkLineEdit edit;
        edit.setMaxBytes(52);
        TypeText(&edit, kHan.repeated(30));
        QCOMPARE(edit.text(), kHan.repeated(26));
        QCOMPARE(gbk::byteLength(edit.text()), 52);
    }

    // With one byte left a Chinese character no longer fits, a Latin letter does.
    void lineEditNeverSplitsACharacter()
    {
        GbkLineEdit edit;
        edit.setMaxBytes(5);
        TypeText(&edit, QStringLiteral("ab") + kHan);
        QCOMPARE(edit.text(), QStringLiteral("ab") + kHan);
        TypeText(&edit, kHan);
        QCOMPARE(edit.text(), QStringLiteral("ab") + kHan);
        TypeText(&edit, QStringLiteral("c"));
        QCOMPARE(edit.text(), QStringLiteral("ab") + kHan + QStringLiteral("c"));
    }

    // A paste keeps what fits; text after the cursor stays.
    void lineEditPasteKeepsTheFittingPart()
    {
        GbkLineEdit edit;
        edit.setMaxBytes(8);
        edit.setText(QStringLiteral("xy"));
        edit.setCursorPosition(1);
        edit.insert(kHan.repeated(5));
        QCOMPARE(edit.text(), QStringLiteral("x") + kHan.repeated(3) + QStringLiteral("y"));
        QCOMPARE(edit.cursorPosition(), 4);
        edit.clear();
        edit.insert(QStringLiteral("abcd") + kEmoji + QStringLiteral("e"));
        QCOMPARE(edit.text(), QStringLiteral("abcd") + kEmoji);
        edit.setMaxBytes(7);
        QCOMPARE(edit.text(), QStringLiteral("abcd"));
    }

    void lineEditSetTextIsLimited()
    {
        GbkLineEdit edit;
        edit.setMaxBytes(4);
        edit.setText(QStringLiteral("a") + kHan + kHan);
        QCOMPARE(edit.text(), QStringLiteral("a") + kHan);
    }

    void textEditLimitsTypingAndLineBreaks()
    {
        GbkTextEdit edit;
        edit.setMaxBytes(6);
        TypeText(&edit, kHan + kHan);
        QTest::keyClick(&edit, Qt::Key_Return);
        QCOMPARE(edit.toPlainText(), kHan + kHan + QStringLiteral("\n"));
        TypeText(&edit, kHan); // needs 2 bytes, 1 left
        QCOMPARE(edit.toPlainText(), kHan + kHan + QStringLiteral("\n"));
        TypeText(&edit, QStringLiteral("z"));
        QCOMPARE(edit.toPlainText(), kHan + kHan + QStringLiteral("\nz"));
        QTest::keyClick(&edit, Qt::Key_Return);
        QCOMPARE(gbk::byteLength(edit.toPlainText()), 6);
        // Removing text makes room again.
        QTest::keyClick(&edit, Qt::Key_Backspace);
        QTest::keyClick(&edit, Qt::Key_Return);
        QCOMPARE(edit.toPlainText(), kHan + kHan + QStringLiteral("\n") + QStringLiteral("\n"));
    }

    // Typing over a selection may use the selection's bytes.
    void textEditCountsTheReplacedSelection()
    {
        GbkTextEdit edit;
        edit.setMaxBytes(4);
        edit.setPlainText(QStringLiteral("abcd"));
        edit.selectAll();
        TypeText(&edit, kHan);
        QCOMPARE(edit.toPlainText(), kHan);
    }

    void textEditPasteKeepsTheFittingPart()
    {
        QClipboard* clipboard = QApplication::clipboard();
        if (!clipboard)
            QSKIP("no clipboard on this platform");
        GbkTextEdit edit;
        edit.setMaxBytes(7);
        edit.setPlainText(QStringLiteral("a"));
        edit.moveCursor(QTextCursor::End);
        clipboard->setText(kHan.repeated(5));
        if (clipboard->text() != kHan.repeated(5))
            QSKIP("the clipboard does not keep text on this platform");
        edit.paste();
        QCOMPARE(edit.toPlainText(), QStringLiteral("a") + kHan.repeated(3));
        edit.paste(); // full: nothing more goes in
        QCOMPARE(edit.toPlainText(), QStringLiteral("a") + kHan.repeated(3));
    }

    void textEditTabMovesTheFocus()
    {
        GbkTextEdit edit;
        QVERIFY(edit.tabChangesFocus());
    }

    void upDownStepsTheBuddyWithinItsRange()
    {
        QLineEdit buddy;
        UpDownControl spin;
        spin.setBuddy(&buddy);
        spin.setRange(1, 180);
        buddy.setText(QStringLiteral("179"));
        spin.stepBy(1);
        QCOMPARE(buddy.text(), QStringLiteral("180"));
        spin.stepBy(1);
        QCOMPARE(buddy.text(), QStringLiteral("180"));
        buddy.setText(QStringLiteral("2"));
        spin.stepBy(-5);
        QCOMPARE(buddy.text(), QStringLiteral("1"));
        // A number out of range typed into the buddy is brought back within it.
        buddy.setText(QStringLiteral("500"));
        spin.stepBy(-1);
        QCOMPARE(buddy.text(), QStringLiteral("179"));
        // No number in the buddy: the control goes on from its own position.
        buddy.setText(QString());
        spin.stepBy(1);
        QCOMPARE(buddy.text(), QStringLiteral("180"));
    }

    void upDownAnswersTheArrowKeysInItsBuddy()
    {
        QLineEdit buddy;
        UpDownControl spin;
        spin.setBuddy(&buddy);
        spin.setRange(0, 24);
        buddy.setText(QStringLiteral("12"));
        QTest::keyClick(&buddy, Qt::Key_Up);
        QCOMPARE(buddy.text(), QStringLiteral("13"));
        QTest::keyClick(&buddy, Qt::Key_Down);
        QTest::keyClick(&buddy, Qt::Key_Down);
        QCOMPARE(buddy.text(), QStringLiteral("11"));
        spin.setEnabled(false);
        QTest::keyClick(&buddy, Qt::Key_Up);
        QCOMPARE(buddy.text(), QStringLiteral("11"));
    }

    void upDownArrowButtons()
    {
        QLineEdit buddy;
        UpDownControl spin;
        spin.setBuddy(&buddy);
        spin.setRange(0, 60);
        spin.resize(16, 24);
        spin.show();
        QVERIFY(QTest::qWaitForWindowExposed(&spin));
        QWidget* up = spin.childAt(8, 4);
        QWidget* down = spin.childAt(8, 20);
        QVERIFY(up && down && up != down);
        buddy.setText(QStringLiteral("30"));
        QTest::mouseClick(up, Qt::LeftButton);
        QCOMPARE(buddy.text(), QStringLiteral("31"));
        QTest::mouseClick(down, Qt::LeftButton);
        QTest::mouseClick(down, Qt::LeftButton);
        QCOMPARE(buddy.text(), QStringLiteral("29"));
    }
};

QTEST_MAIN(TestGbkEdits)
#include "tst_gbkedits.moc"
