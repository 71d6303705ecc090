#pragma once

#include "core/account/AccountStore.h"
#include "core/shell/frmMain.h"
#include "support/RecordingSeams.h"
#include "support/SettableClock.h"

#include <QTemporaryDir>
#include <memory>

namespace testing_support {

// One headless main window with its own settings file, a settable clock and
// recording seams: one "device" of a test.
struct MainWindowHarness {
    // The platform seams a device has: none (nothing to capture, commands
    // move nothing), or a real display's.
    explicit MainWindowHarness(input::InputSink* sink = nullptr, imaging::ScreenSource* screen = nullptr,
                               updates::DamageSource* damage = nullptr)
        : window(std::make_unique<shell::frmMain>(
              shell::MainServices{clock, dialogs, clipboard, urls, store, nullptr, sink, screen, nullptr, damage}))
    {
    }

    QTemporaryDir folder;
    account::AccountStore store{folder.filePath("Marquelin.conf")};
    SettableClock clock;
    ScriptedDialogs dialogs;
    RecordingClipboard clipboard;
    RecordingUrlOpener urls;
    std::unique_ptr<shell::frmMain> window;

    shell::frmMain& w() { return *window; }

    // A saved, complete account, loaded into the window's boxes.
    void SaveAccount(const QString& nome = "Ana", const QString& email = "ana@example.com",
                     const QString& token = "tok")
    {
        store.SaveAccount(nome, email, token);
        window->RecarregarConta(false);
    }
};

}  // namespace testing_support
