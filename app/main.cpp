#include "core/account/AccountStore.h"
#include "core/shell/SingleInstance.h"
#include "core/shell/frmMain.h"
#include "core/time/Clock.h"
#include "platform/qt/DesktopUrlOpener.h"
#include "ui/MainWindow.h"
#include "ui/QtDialogs.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Marquelin");
    QApplication::setQuitOnLastWindowClosed(false);

    timing::SystemClock clock;
    ui::QtDialogs dialogs;
    ui::QtClipboard clipboard;
    platform::DesktopUrlOpener urls;
    account::AccountStore store;
    shell::SingleInstance instance;
    shell::frmMain model({clock, dialogs, clipboard, urls, store, &instance});

    ui::MainWindow window(model);
    dialogs.SetOwner(&window);
    QObject::connect(&model, &shell::frmMain::unloaded, &app, &QApplication::quit, Qt::QueuedConnection);
    if (!model.Load())
        return 0;
    window.show();
    return app.exec();
}
