#include "support/MainWindowTesting.h"

using namespace mainwindowtest;

// The main window's frame: showing, hiding, the hidden start and the exit paths.
class TestWindowFrame : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { InitTestCase(); }
    void cleanupTestCase() { CleanupTestCase(); }

    // --- Showing, hiding and the hidden start ---

    void hiddenStart()
    {
        Env env;
        QVERIFY(env.open());
        env.insert(u("a"), u("b"), u("2016-05-02"), u("08:00:00"));
        CReminderDlg dlg(false, nullptr, env.provider());
        QVERIFY(dlg.timers().IsRunning(ids::kTimerHiddenStart));
        QCOMPARE(dlg.timers().Period(ids::kTimerHiddenStart), 5000);
        QVERIFY(dlg.timers().IsOneShot(ids::kTimerHiddenStart));
        dlg.show(); // the modal run's own show
        QVERIFY(!dlg.isVisible());
        QVERIFY(!dlg.windowHandle() || !dlg.windowHandle()->isVisible());
        dlg.OnShowMainWindow(); // a tray click during the hidden start
        QVERIFY(!dlg.isVisible());

        dlg.OnTimer(ids::kTimerHiddenStart);
        QVERIFY(dlg.showAllowed);
        QVERIFY(!dlg.isVisible());
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerHiddenStart));
        dlg.OnShowMainWindow();
        QVERIFY(dlg.isVisible());
        QVERIFY(!dlg.isMinimized());
    }

    // The hidden start swallows two show requests; a third one shows, and
    // timer 7 then hides the window again.
    void hiddenStartShowBudget()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(false, nullptr, env.provider());
        dlg.show();
        dlg.show();
        QVERIFY(!dlg.isVisible());
        dlg.show();
        QVERIFY(dlg.isVisible());
        dlg.OnTimer(ids::kTimerHiddenStart);
        QVERIFY(!dlg.isVisible());
        QVERIFY(dlg.showAllowed);
    }

    void hiddenStartUnderTheModalRun()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(false, nullptr, env.provider());
        bool visibleAtFirst = true, visibleAfterHiddenStart = false;
        QTimer::singleShot(0, &dlg, [&] {
            visibleAtFirst = dlg.isVisible();
            dlg.OnTimer(ids::kTimerHiddenStart);
            dlg.OnShowMainWindow();
            visibleAfterHiddenStart = dlg.isVisible();
            env.fakes.boxes.answerNext(MbResult::Yes);
            dlg.OnOK();
        });
        QCOMPARE(dlg.exec(), int(QDialog::Rejected));
        QVERIFY(!visibleAtFirst);
        QVERIFY(visibleAfterHiddenStart);
        QVERIFY(!dlg.isVisible());
    }

    // Hiding into the tray does not end the modal run.
    void hidingKeepsTheModalRun()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        bool runningWhileHidden = false;
        bool ended = false;
        QTimer::singleShot(0, &dlg, [&] {
            QVERIFY(dlg.isVisible());
            click(dlg, ids::kIdcToTray);
            QTimer::singleShot(50, &dlg, [&] {
                runningWhileHidden = !ended && !dlg.isVisible();
                dlg.OnShowMainWindow();
                env.fakes.boxes.answerNext(MbResult::Yes);
                dlg.OnOK();
            });
        });
        dlg.exec();
        ended = true;
        QVERIFY(runningWhileHidden);
    }

    void normalStartShowsAtOnce()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        dlg.show();
        QVERIFY(dlg.isVisible());
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerHiddenStart));
    }

    void minimisingHides()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        dlg.showMinimized();
        QTRY_VERIFY(!dlg.isVisible());
        // The clock line stops while nobody can see it, and is up to date at once when shown.
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerClock));
        env.fakes.clock.set(kTen.addSecs(75));
        dlg.OnShowMainWindow();
        QVERIFY(dlg.isVisible());
        QVERIFY(!dlg.isMinimized());
        QVERIFY(dlg.timers().IsRunning(ids::kTimerClock));
        QCOMPARE(dlg.GetDlgItemText(ids::kIdcClockLine), u("现在时间：2016-05-01 10:01:15 星期日"));
        click(dlg, ids::kIdcToTray);
        QVERIFY(!dlg.isVisible());
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerClock));
        // A plain show from the tray brings it back in its normal state.
        dlg.show();
        QVERIFY(dlg.isVisible());
        QVERIFY(!dlg.isMinimized());
    }

    // --- Exit confirmations ---

    void okQuestionAnsweredNo()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        QSignalSpy finished(&dlg, &QDialog::finished);
        env.fakes.boxes.answerNext(MbResult::No);
        dlg.OnOK();
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("真的要退出吗？  ")});
        const MessageBoxRequest& box = env.fakes.boxes.shown().first();
        QCOMPARE(box.caption, QString()); // the program's title
        QCOMPARE(box.buttons, MbButtons::YesNo);
        QCOMPARE(box.defaultButton, MbResult::No);
        QVERIFY(box.topmost);
        QCOMPARE(box.owner.data(), static_cast<QObject*>(&dlg));
        QCOMPARE(finished.size(), 0);
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.timers().IsRunning(ids::kTimerClock));
    }

    void okQuestionAnsweredYes()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        QSignalSpy finished(&dlg, &QDialog::finished);
        env.fakes.boxes.answerNext(MbResult::Yes);
        dlg.OnOK();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toInt(), int(QDialog::Rejected));
        QVERIFY(!dlg.isVisible());
        QVERIFY(!dlg.timers().IsRunning(ids::kTimerClock));
        QVERIFY(env.db->IsConnected()); // this path keeps the store
    }

    // Enter in the subject asks to exit; in the content it makes a new line; on
    // a focused button it presses that button.
    void enterKey()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));

        subjectEdit(dlg)->setFocus();
        QTest::keyClick(subjectEdit(dlg), Qt::Key_Return);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("真的要退出吗？  ")});

        env.fakes.boxes.clear();
        contentEdit(dlg)->setFocus();
        TypeText(contentEdit(dlg), u("a"));
        QTest::keyClick(contentEdit(dlg), Qt::Key_Return);
        TypeText(contentEdit(dlg), u("b"));
        QCOMPARE(contentEdit(dlg)->toPlainText(), u("a\nb"));
        QVERIFY(env.fakes.boxes.shown().isEmpty());

        // The focused refresh button is pressed instead: the editor is reset.
        QAbstractButton* refresh = button(dlg, ids::kIdcRefreshDelete);
        refresh->setFocus();
        QTest::keyClick(refresh, Qt::Key_Return);
        QVERIFY(env.fakes.boxes.shown().isEmpty());
        QCOMPARE(contentEdit(dlg)->toPlainText(), QString());
    }

    void closeQuestionAnsweredNoHidesTheWindow()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        QSignalSpy finished(&dlg, &QDialog::finished);
        bool closingWhileAsked = false;
        env.fakes.boxes.onShow = [&](const MessageBoxRequest&) { closingWhileAsked = dlg.closing; };
        env.fakes.boxes.answerNext(MbResult::No);
        dlg.close(); // the close box
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("\n 确定要关闭Tolva小精灵吗？  ")});
        const MessageBoxRequest& box = env.fakes.boxes.shown().first();
        QCOMPARE(box.caption, u("友情提示"));
        QCOMPARE(box.buttons, MbButtons::YesNo);
        QCOMPARE(box.defaultButton, MbResult::No);
        QVERIFY(box.topmost);
        QCOMPARE(box.owner.data(), static_cast<QObject*>(&dlg));
        QVERIFY(closingWhileAsked);
        QVERIFY(!dlg.closing);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(finished.size(), 0);

        // Esc asks the same question.
        env.fakes.boxes.clear();
        dlg.OnShowMainWindow();
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("\n 确定要关闭Tolva小精灵吗？  ")});
    }

    // Yes releases the application's store and ends the window.
    void closeQuestionAnsweredYesReleasesTheStore()
    {
        FakeSeams fakes;
        fakes.clock.set(kTen);
        TempProgramFolder folder;
        CReminderApp app;
        app.createStore();
        QString message;
        QCOMPARE(app.database()->Open(QStringLiteral("file"), QString::fromLatin1(kDatabaseRelative),
                                      QString(), QString(), message),
                 store::kConnected);
        CReminderDlg dlg(true); // the application's store
        QVERIFY(fakes.boxes.shown().isEmpty());
        QCOMPARE(statusLine(dlg), u("没有记录！")); // read from the application's store
        QVERIFY(showAndWait(dlg));
        QSignalSpy finished(&dlg, &QDialog::finished);
        fakes.boxes.answerNext(MbResult::Yes);
        dlg.OnCancel();
        QVERIFY(!app.database());
        QVERIFY(dlg.closing);
        QCOMPARE(finished.size(), 1);
        QVERIFY(!dlg.isVisible());
    }

    // The tray's exit command while the close question is open does nothing.
    void exitCommandWhileClosing()
    {
        Env env;
        QVERIFY(env.open());
        CReminderDlg dlg(true, nullptr, env.provider());
        QVERIFY(showAndWait(dlg));
        env.fakes.boxes.onShow = [&](const MessageBoxRequest&) { dlg.OnCommand(ids::kCmdExit); };
        env.fakes.boxes.answerNext(MbResult::No);
        dlg.OnCommand(ids::kCmdExit);
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("\n 确定要关闭Tolva小精灵吗？  ")});
        QVERIFY(!dlg.closing);

        // With no question open, the command asks it.
        env.fakes.boxes.onShow = nullptr;
        env.fakes.boxes.clear();
        env.fakes.boxes.answerNext(MbResult::Yes);
        QSignalSpy finished(&dlg, &QDialog::finished);
        dlg.OnExitCommand();
        QCOMPARE(env.fakes.boxes.texts(), QStringList{u("\n 确定要关闭Tolva小精灵吗？  ")});
        QCOMPARE(finished.size(), 1);
    }
};

QTEST_MAIN(TestWindowFrame)
#include "tst_windowframe.moc"
