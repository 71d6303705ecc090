#include "program/Program.h"

#include "core/account/AccountStore.h"
#include "core/shell/SingleInstance.h"
#include "core/shell/frmMain.h"
#include "core/time/Clock.h"
#include "platform/qt/DesktopUrlOpener.h"
#include "platform/wayland/InputSinkPortal.h"
#include "platform/wayland/PortalDesktop.h"
#include "platform/wayland/ScreenSourcePortal.h"
#include "platform/wayland/WaylandKeyboardLayout.h"
#include "platform/x11/DamageSourceX11.h"
#include "platform/x11/InputSinkXTest.h"
#include "platform/x11/ScreenSourceX11.h"
#include "platform/x11/XkbKeyboardLayout.h"
#include "ui/MainWindow.h"
#include "ui/QtDialogs.h"

#include <QApplication>
#include <QDebug>

namespace program {

int RunProgram(int argc, char** argv, const std::function<void(QApplication&, ui::MainWindow&)>& started)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Marquelin");
    QApplication::setQuitOnLastWindowClosed(false);

    // The screen and the input go to the display the program runs on; without
    // them the program still works as a technician.
    QString error, screenError;
    account::AccountStore store;
    // On Wayland, X11 sees only X11 windows: the desktop portal shares the
    // screen and takes the input, keys as the compositor's keymap has them.
    std::shared_ptr<platform::PortalDesktop> portal;
    std::unique_ptr<imaging::ScreenSource> screen;
    std::unique_ptr<input::InputSink> input;
    std::unique_ptr<input::KeyboardLayout> keyboard;
    std::unique_ptr<updates::DamageSource> damage;
    if (platform::PortalDesktop::SessionIsWayland()) {
        portal = std::make_shared<platform::PortalDesktop>(platform::PortalSession::Deadlines{},
                                                           platform::PortalDesktop::kRetryMs,
                                                           store.Folder() + QStringLiteral("/desktop-sharing-token"));
        screen = platform::ScreenSourcePortal::Open(portal, &screenError);
        if (auto layout = screen ? platform::WaylandKeyboardLayout::Open(&error) : nullptr)
            input = std::make_unique<platform::InputSinkPortal>(portal, std::move(layout));
        keyboard = platform::WaylandKeyboardLayout::Open(&error);
    } else {
        screen = platform::ScreenSourceX11::Open(nullptr, &screenError);
        // Damage hints spare comparing what did not change; without them every capture is compared whole.
        if (screen && !(damage = platform::DamageSourceX11::Open(nullptr, &error)))
            qWarning().noquote() << "Marquelin: no screen damage hints:" << error;
        input = platform::InputSinkXTest::Open(nullptr, &error);
        // The technician's keys are read by position in the layout of this display.
        keyboard = platform::XkbKeyboardLayout::Open(static_cast<const char*>(nullptr), &error);
    }
    if (!screen)
        qWarning().noquote() << "Marquelin: no screen capture:" << screenError;
    if (!input)
        qWarning().noquote() << "Marquelin: no input injection:" << error;
    if (!keyboard)
        qWarning().noquote() << "Marquelin: no keyboard layout:" << error;

    timing::SystemClock clock;
    ui::QtDialogs dialogs;
    ui::QtClipboard clipboard;
    platform::DesktopUrlOpener urls;
    shell::SingleInstance instance;
    shell::frmMain model({clock, dialogs, clipboard, urls, store, &instance, input.get(), screen.get(), keyboard.get(),
                        damage.get()});

    if (portal) {
        const auto log = [&model](const QString& why) { model.LogEvent(QStringLiteral("Tela remota: ") + why); };
        QObject::connect(portal.get(), &platform::PortalDesktop::failed, &model, log);
        if (!screen)
            log(screenError);
    }
    ui::MainWindow window(model);
    dialogs.SetOwner(&window);
    QObject::connect(&model, &shell::frmMain::unloaded, &app, &QApplication::quit, Qt::QueuedConnection);
    if (!model.Load())
        return 0;
    window.show();
    if (started)
        started(app, window);
    return app.exec();
}

}  // namespace program
