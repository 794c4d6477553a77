#include "platform/DesktopShell.h"
#include "support/TestSupport.h"
#include "widgets/LinkCommand.h"
#include "widgets/LinkLabel.h"

#include <QApplication>
#include <QMouseEvent>
#include <QtTest>

namespace {
const QString kUrl = QStringLiteral("https://tolva.example.org/");

// Sends a mouse move to the label as the window system would deliver it.
void moveTo(QWidget* w, const QPoint& pos)
{
    QMouseEvent e(QEvent::MouseMove, QPointF(pos), QPointF(w->mapToGlobal(pos)), Qt::NoButton, Qt::NoButton,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

bool hasPixel(const QImage& img, const QColor& c)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixelColor(x, y) == c)
                return true;
    return false;
}

// A label in a window, attached as a dialog attaches it.
struct Fixture
{
    Fixture(const QString& text, const QString& url = QString())
    {
        window.resize(400, 200);
        label = new CLinkLabel(&window);
        label->setGeometry(20, 30, 300, 40);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(20);
        f.setStyleStrategy(QFont::NoAntialias);
        label->setFont(f);
        label->setText(text);
        if (!url.isEmpty())
            label->SetLinkUrl(url);
        label->PreSubclassWindow();
        window.show();
    }
    QWidget window;
    CLinkLabel* label = nullptr;
};

void writeFile(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QVERIFY(WriteAll(path, text));
}
} // namespace

class TestLinkLabel : public QObject
{
    Q_OBJECT
private slots:
    void cutsBrowserCommandLines_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("expected");
        QTest::newRow("quoted %1") << QStringLiteral("\"C:\\IE\\iexplore.exe\" -nohome \"%1\"")
                                   << QStringLiteral(
                                          "\"C:\\IE\\iexplore.exe\" -nohome  https://tolva.example.org/");
        QTest::newRow("bare %1") << QStringLiteral("browser.exe %1 -new")
                                 << QStringLiteral("browser.exe  https://tolva.example.org/");
        QTest::newRow("none") << QStringLiteral("mybrowser --private")
                              << QStringLiteral("mybrowser --private https://tolva.example.org/");
        QTest::newRow("desktop %u") << QStringLiteral("/usr/lib/firefox-esr/firefox-esr %u")
                                    << QStringLiteral(
                                           "/usr/lib/firefox-esr/firefox-esr  https://tolva.example.org/");
        QTest::newRow("desktop %U") << QStringLiteral("chromium %U")
                                    << QStringLiteral("chromium  https://tolva.example.org/");
        QTest::newRow("desktop quoted %F")
            << QStringLiteral("\"/opt/My Browser/run\" --x \"%F\"")
            << QStringLiteral("\"/opt/My Browser/run\" --x  https://tolva.example.org/");
        QTest::newRow("desktop %f") << QStringLiteral("viewer %f")
                                    << QStringLiteral("viewer  https://tolva.example.org/");
        // The quoted form is looked for first, though a bare one comes earlier.
        QTest::newRow("quoted first") << QStringLiteral("b %u --then \"%1\"")
                                      << QStringLiteral("b %u --then  https://tolva.example.org/");
        QTest::newRow("empty") << QString() << QStringLiteral(" https://tolva.example.org/");
    }

    void cutsBrowserCommandLines()
    {
        QFETCH(QString, command);
        QFETCH(QString, expected);
        QCOMPARE(BrowserCommandFor(command, kUrl), expected);
    }

    void openErrorTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("0") << 0 << QStringLiteral("The operating system is out\nof memory or resources.");
        QTest::newRow("2") << 2 << QStringLiteral("The specified file was not found.");
        QTest::newRow("3") << 3 << QStringLiteral("The specified path was not found.");
        QTest::newRow("5") << 5
                           << QStringLiteral("The operating system denied\naccess to the specified file.");
        QTest::newRow("8") << 8 << QStringLiteral("There was not enough memory to complete the operation.");
        QTest::newRow("11") << 11
                            << QStringLiteral(
                                   "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).");
        QTest::newRow("26") << 26 << QStringLiteral("A sharing violation occurred. ");
        QTest::newRow("27") << 27 << QStringLiteral("The filename association is\nincomplete or invalid.");
        QTest::newRow("28")
            << 28
            << QStringLiteral("The DDE transaction could not\nbe completed because the request timed out.");
        QTest::newRow("29") << 29 << QStringLiteral("The DDE transaction failed.");
        QTest::newRow("30") << 30
                            << QStringLiteral("The DDE transaction could not\nbe completed because other DDE "
                                              "transactions\nwere being processed.");
        QTest::newRow("31") << 31
                            << QStringLiteral(
                                   "There is no application associated\nwith the given filename extension.");
        QTest::newRow("32") << 32 << QStringLiteral("The specified dynamic-link library was not found.");
        QTest::newRow("1") << 1 << QStringLiteral("Unknown Error (1) occurred.");
        QTest::newRow("4") << 4 << QStringLiteral("Unknown Error (4) occurred.");
        QTest::newRow("-7") << -7 << QStringLiteral("Unknown Error (-7) occurred.");
        QTest::newRow("33") << 33 << QStringLiteral("Unknown Error (33) occurred.");
    }

    void openErrorTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, reason);
        QCOMPARE(OpenErrorText(code), QStringLiteral("Unable to open hyperlink:\n\n") + reason);
    }

    void reportOpenErrorShowsAnExclamationBox()
    {
        FakeSeams fakes;
        Fixture f(QStringLiteral("link"));
        f.label->ReportOpenError(27);
        QCOMPARE(fakes.boxes.shown().size(), 1);
        const MessageBoxRequest& box = fakes.boxes.shown().at(0);
        QCOMPARE(box.text,
                 QStringLiteral(
                     "Unable to open hyperlink:\n\nThe filename association is\nincomplete or invalid."));
        QCOMPARE(box.icon, MbIcon::Warning);
        QCOMPARE(box.buttons, MbButtons::Ok);
        QVERIFY(box.caption.isEmpty());
        QCOMPARE(box.owner.data(), &f.window);
    }

    void openLinkFallsBackToTheBrowser()
    {
        FakeSeams fakes;
        // The desktop opens it: no fallback.
        fakes.shell.setOpenResult(42);
        fakes.shell.setBrowserCommand(QStringLiteral("firefox %u"));
        QCOMPARE(CLinkLabel::OpenLink(kUrl, kSwShow), 42);
        QCOMPARE(fakes.shell.opened().size(), 1);
        QCOMPARE(fakes.shell.opened().at(0).target, kUrl);
        QCOMPARE(fakes.shell.opened().at(0).showCommand, int(kSwShow));
        QCOMPARE(fakes.shell.browserLookups(), 0);
        QVERIFY(fakes.shell.commands().isEmpty());

        // The desktop fails: the browser's own command line runs, and its result counts.
        fakes.shell.setOpenResult(31);
        fakes.shell.setRunResult(33);
        QCOMPARE(CLinkLabel::OpenLink(kUrl, kSwShow), 33);
        QCOMPARE(fakes.shell.commands().size(), 1);
        QCOMPARE(fakes.shell.commands().at(0).target, QStringLiteral("firefox  ") + kUrl);
        QCOMPARE(fakes.shell.commands().at(0).showCommand, int(kSwShow));
        fakes.shell.setRunResult(2);
        QCOMPARE(CLinkLabel::OpenLink(kUrl, kSwShow), 2);

        // No browser known: the desktop's own failure is the answer.
        fakes.shell.setBrowserCommand(QString());
        QCOMPARE(CLinkLabel::OpenLink(kUrl, kSwShow), 31);
        QCOMPARE(fakes.shell.commands().size(), 2);
    }

    void clickOpensAndMarksVisited()
    {
        FakeSeams fakes;
        fakes.shell.setOpenResult(42);
        Fixture f(QStringLiteral("link"), kUrl);
        QSignalSpy clicks(f.label, &CLinkLabel::clicked);
        QTest::mouseClick(f.label, Qt::LeftButton, {}, QPoint(3, 3));
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(fakes.shell.opened().size(), 1);
        QCOMPARE(fakes.shell.opened().at(0).target, kUrl);
        QVERIFY(f.label->GetVisited());
        QVERIFY(fakes.boxes.shown().isEmpty());
        // Other buttons do not open it.
        QTest::mouseClick(f.label, Qt::RightButton, {}, QPoint(3, 3));
        QCOMPARE(fakes.shell.opened().size(), 1);
    }

    void failedClickReportsAndIsNotVisited()
    {
        FakeSeams fakes;
        Fixture f(QStringLiteral("link"), kUrl);
        fakes.shell.setOpenResult(42);
        QTest::mouseClick(f.label, Qt::LeftButton, {}, QPoint(3, 3));
        QVERIFY(f.label->GetVisited());
        fakes.shell.setOpenResult(31);
        QTest::mouseClick(f.label, Qt::LeftButton, {}, QPoint(3, 3));
        QVERIFY(!f.label->GetVisited());
        QCOMPARE(fakes.boxes.texts(),
                 QStringList(QStringLiteral("Unable to open hyperlink:\n\nThere is no application "
                                            "associated\nwith the given filename extension.")));
    }

    void clickLetsTheMouseGo()
    {
        FakeSeams fakes;
        fakes.shell.setOpenResult(2);
        Fixture f(QStringLiteral("link"), kUrl);
        moveTo(f.label, QPoint(2, 2));
        QCOMPARE(QWidget::mouseGrabber(), f.label);
        QWidget* grabberDuringBox = f.label;
        fakes.boxes.onShow = [&](const MessageBoxRequest&) { grabberDuringBox = QWidget::mouseGrabber(); };
        QTest::mouseClick(f.label, Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(fakes.boxes.shown().size(), 1);
        // The error box must be reachable with the mouse.
        QCOMPARE(grabberDuringBox, nullptr);
        QVERIFY(!f.label->IsOver());
    }

    void colourStates()
    {
        Fixture f(QStringLiteral("WWWW"), kUrl);
        const QColor blue(0, 0, 238);
        QCOMPARE(f.label->LinkColour(), blue);
        QCOMPARE(f.label->VisitedColour(), blue);
        QCOMPARE(f.label->HoverColour(), QApplication::palette().color(QPalette::Highlight));
        QVERIFY(f.label->HoverColour() != blue);

        QCOMPARE(f.label->TextColour(), blue);
        QImage img = f.label->grab().toImage();
        QVERIFY(hasPixel(img, blue));
        QVERIFY(!hasPixel(img, f.label->HoverColour()));

        // Visited looks the same with the same two colours.
        f.label->SetVisited(true);
        QCOMPARE(f.label->TextColour(), blue);

        moveTo(f.label, QPoint(2, 2));
        QVERIFY(f.label->IsOver());
        QCOMPARE(f.label->TextColour(), f.label->HoverColour());
        img = f.label->grab().toImage();
        QVERIFY(hasPixel(img, f.label->HoverColour()));
        QVERIFY(!hasPixel(img, blue));
    }

    void hoverFollowsTheCapture()
    {
        Fixture f(QStringLiteral("WWWW"), kUrl);
        QVERIFY(!f.label->IsOver());
        moveTo(f.label, QPoint(2, 2));
        QVERIFY(f.label->IsOver());
        QCOMPARE(QWidget::mouseGrabber(), f.label);
        // Moving inside changes nothing.
        moveTo(f.label, QPoint(f.label->width() - 1, f.label->height() - 1));
        QVERIFY(f.label->IsOver());
        QCOMPARE(QWidget::mouseGrabber(), f.label);
        // The captured move outside ends the hover.
        moveTo(f.label, QPoint(f.label->width() + 5, 2));
        QVERIFY(!f.label->IsOver());
        QCOMPARE(QWidget::mouseGrabber(), nullptr);
        QCOMPARE(f.label->TextColour(), f.label->LinkColour());

        // Hiding it while over lets the mouse go.
        moveTo(f.label, QPoint(2, 2));
        f.label->hide();
        QVERIFY(!f.label->IsOver());
        QCOMPARE(QWidget::mouseGrabber(), nullptr);
    }

    void attachTakesTextAndTargetFromEachOther()
    {
        Fixture noTarget(QStringLiteral("the text"));
        QCOMPARE(noTarget.label->GetLinkUrl(), QStringLiteral("the text"));
        QCOMPARE(noTarget.label->toolTip(), QStringLiteral("the text"));

        Fixture noText(QString(), kUrl);
        QCOMPARE(noText.label->text(), kUrl);
        QCOMPARE(noText.label->toolTip(), kUrl);
        QCOMPARE(noText.label->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(noText.label->font().underline());

        noText.label->SetLinkUrl(QStringLiteral("https://other.example.org/"));
        QCOMPARE(noText.label->toolTip(), QStringLiteral("https://other.example.org/"));
        noText.label->SetUnderline(false);
        QVERIFY(!noText.label->font().underline());
        QVERIFY(!noText.label->GetUnderline());
    }

    void fitsToItsText()
    {
        Fixture f(QStringLiteral("short"), kUrl);
        const QFontMetrics fm(f.label->font());
        QCOMPARE(f.label->geometry(),
                 QRect(20, 30, fm.horizontalAdvance(QStringLiteral("short")), fm.height()));
    }

    void fitRules()
    {
        const QRect r(10, 20, 200, 30);
        const QSize text(50, 12);
        QCOMPARE(CLinkLabel::FitRectToText(r, text, Qt::AlignLeft | Qt::AlignTop), QRect(10, 20, 50, 12));
        QCOMPARE(CLinkLabel::FitRectToText(r, text, Qt::AlignLeft | Qt::AlignVCenter), QRect(10, 29, 50, 12));
        // Right-aligned keeps its right edge (210), centred its centre.
        QCOMPARE(CLinkLabel::FitRectToText(r, text, Qt::AlignRight | Qt::AlignTop), QRect(160, 20, 50, 12));
        QCOMPARE(CLinkLabel::FitRectToText(r, text, Qt::AlignHCenter | Qt::AlignTop), QRect(85, 20, 50, 12));
        // Odd differences halve toward zero on each side.
        QCOMPARE(CLinkLabel::FitRectToText(QRect(10, 20, 201, 29), text, Qt::AlignCenter),
                 QRect(85, 28, 51, 13));
        // A text wider than the control grows it the same way.
        QCOMPARE(CLinkLabel::FitRectToText(QRect(40, 0, 40, 12), text, Qt::AlignHCenter),
                 QRect(35, 0, 50, 12));
    }

    void findsTheDefaultBrowserEntry()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString config = tmp.filePath(QStringLiteral("config/mimeapps.list"));
        const QString data = tmp.filePath(QStringLiteral("data/applications"));
        writeFile(config, "[Added Associations]\nx-scheme-handler/http=wrong.desktop;\n"
                          "[Default Applications]\ntext/html=viewer.desktop\n");
        writeFile(data + QStringLiteral("/mimeapps.list"),
                  "# comment\n[Default Applications]\nx-scheme-handler/http= ;web.desktop;other.desktop;\n");
        QCOMPARE(DefaultHandlerFromMimeApps({config, data + QStringLiteral("/mimeapps.list")},
                                            QStringLiteral("x-scheme-handler/http")),
                 QStringLiteral("web.desktop"));
        QCOMPARE(DefaultHandlerFromMimeApps({config}, QStringLiteral("x-scheme-handler/http")), QString());
        QCOMPARE(DefaultHandlerFromMimeApps({tmp.filePath(QStringLiteral("missing"))},
                                            QStringLiteral("text/html")),
                 QString());

        const QString user = tmp.filePath(QStringLiteral("user"));
        writeFile(
            user + QStringLiteral("/kde/web.desktop"),
            "[Desktop Action new]\nExec=wrong\n[Desktop Entry]\nName=Web\nExec=/opt/web\\sbrowser/run %u\n");
        writeFile(data + QStringLiteral("/web.desktop"), "[Desktop Entry]\nExec=system-web %U\n");
        QCOMPARE(DesktopEntryPath(QStringLiteral("web.desktop"), {user, data}),
                 data + QStringLiteral("/web.desktop"));
        QCOMPARE(DesktopEntryPath(QStringLiteral("kde-web.desktop"), {user, data}),
                 user + QStringLiteral("/kde/web.desktop"));
        QCOMPARE(DesktopEntryPath(QStringLiteral("none.desktop"), {user, data}), QString());
        QCOMPARE(DesktopEntryPath(QStringLiteral("../web.desktop"), {user}), QString());
        QCOMPARE(DesktopEntryExec(user + QStringLiteral("/kde/web.desktop")),
                 QStringLiteral("/opt/web browser/run %u"));
        writeFile(user + QStringLiteral("/noexec.desktop"), "[Desktop Entry]\nName=x\n");
        QCOMPARE(DesktopEntryExec(user + QStringLiteral("/noexec.desktop")), QString());
    }

    void runCommandResults()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString plain = tmp.filePath(QStringLiteral("not-a-program"));
        writeFile(plain, "text");
        DesktopShell shell;
        QCOMPARE(shell.runCommand(QString(), kSwShow), 2);
        QCOMPARE(shell.runCommand(QStringLiteral("tolva-no-such-program-here --x"), kSwShow), 2);
        QCOMPARE(shell.runCommand(tmp.filePath(QStringLiteral("missing")), kSwShow), 2);
        QCOMPARE(shell.runCommand(QLatin1Char('"') + plain + QStringLiteral("\" arg"), kSwShow), 5);
        QCOMPARE(shell.runCommand(QStringLiteral("true  https://tolva.example.org/"), kSwShow), 33);
    }
};

QTEST_MAIN(TestLinkLabel)
#include "tst_linklabel.moc"
