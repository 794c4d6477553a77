// The tray menu: how long one right click's menu takes to build, lay out and
// paint (load menu 129, measure every item, draw it once, destroy it), and what
// it costs in memory over many showings.
//
//   bench_traymenu [--runs N]     prints the figures (runs offscreen without a display)
//   bench_traymenu --show         shows the tray icon and runs until "退出主程序";
//                                 each command chosen is printed, for scripts/tray_screenshot.sh

#include "app/TrayIcon.h"
#include "widgets/FlatMenu.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QWidget>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace {
long maxRssKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// One showing of the tray menu without its event loop.
void buildMeasureDraw(QImage& canvas)
{
    CFlatMenu menu;
    menu.LoadMenu(kMenuMain);
    CFlatMenu* popup = menu.SubMenuAt(TrayIcon::kTrayMenuPopup);
    const QSize size = popup->sizeHint();
    if (canvas.size() != size)
        canvas = QImage(size, QImage::Format_ARGB32);
    popup->render(&canvas);
    menu.DestroyMenu();
}

int runFigures(int runs)
{
    FlatMenuGlobals().styleOther = static_cast<int>(MenuDrawStyle::Flat);
    QImage canvas;
    buildMeasureDraw(canvas); // fonts and style warmed up
    const long rssBefore = maxRssKb();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < runs; ++i)
        buildMeasureDraw(canvas);
    const double ms = t.nsecsElapsed() / 1e6;

    CFlatMenu menu;
    menu.LoadMenu(kMenuMain);
    CFlatMenu* popup = menu.SubMenuAt(TrayIcon::kTrayMenuPopup);
    std::printf("tray menu: %d showings, %.3f ms each (load, measure, draw, destroy)\n", runs, ms / runs);
    std::printf("peak resident memory grew by %ld kB over the showings\n", maxRssKb() - rssBefore);
    std::printf("menu size %dx%d px; items:\n", popup->sizeHint().width(), popup->sizeHint().height());
    for (const FlatMenuItem* item : popup->items()) {
        const QSize s = popup->MeasureItem(*item);
        std::printf("  %5d  %3dx%-3d  %s\n", item->commandId, s.width(), s.height(),
                    item->separator() ? "(separator)" : item->text.toUtf8().constData());
    }
    return 0;
}

int runShow(QApplication& app)
{
    QWidget owner;
    owner.setWindowTitle(QStringLiteral("tray harness"));
    owner.resize(240, 80);
    TrayIcon tray(&owner);
    QObject::connect(&tray, &TrayIcon::toggleMainWindowRequested, &owner, [&owner] {
        TrayIcon::ToggleWindow(&owner);
        std::printf("toggle: window %s\n", owner.isVisible() && !owner.isMinimized() ? "shown" : "minimised");
        std::fflush(stdout);
    });
    QObject::connect(&tray, &TrayIcon::menuCommand, &app, [&app](int id) {
        std::printf("command %d\n", id);
        std::fflush(stdout);
        if (id == 32777)
            app.quit();
    });
    tray.AddTrayIcon();
    std::printf("tray available: %s\n", TrayIcon::IsAvailable() ? "yes" : "no");
    std::fflush(stdout);
    const int rc = app.exec();
    tray.RemoveTrayIcon();
    return rc;
}
} // namespace

int main(int argc, char* argv[])
{
    bool show = false;
    int runs = 2000;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--show"))
            show = true;
        else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
    }
    if (!show && !qEnvironmentVariableIsSet("DISPLAY") && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return show ? runShow(app) : runFigures(runs);
}
