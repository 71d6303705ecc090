#pragma once

#include "support/CannedService.h"
#include "support/FixedKeyboardLayout.h"
#include "support/LinkPair.h"
#include "support/MainWindowHarness.h"
#include "ui/MainWindow.h"
#include "RecordingInputSink.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>
#include <memory>

namespace ui_testing {

inline const QString kCodeReply = R"({"ok":true,"codigo_id":"c1","codigo":"482913"})";

// The text a widget shows: a button's caption, a label, a frame's title, a
// box's contents, a window's title.
inline QString Shown(const QWidget* widget)
{
    if (widget->isWindow())
        return widget->windowTitle();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (auto* box = qobject_cast<const QGroupBox*>(widget))
        return box->title();
    if (auto* edit = qobject_cast<const QLineEdit*>(widget))
        return edit->text();
    return {};
}

// The one widget of that name under root; fails the test when missing.
template <typename Widget = QWidget>
Widget* Find(const QObject& root, const QString& name)
{
    const QList<Widget*> found = root.findChildren<Widget*>(name);
    EXPECT_EQ(found.size(), 1) << name.toStdString();
    return found.isEmpty() ? nullptr : found.front();
}

// One program's main window as the user sees it, against a canned service:
// the widget built first, then the start-up sequence, as the program does.
struct MainWindowFixture {
    testing_support::CannedService service;
    testing_support::MainWindowHarness device;
    std::unique_ptr<ui::MainWindow> window;

    explicit MainWindowFixture(bool withAccount = true)
    {
        service.Reply("gerar_codigo.php", kCodeReply);
        if (withAccount)
            device.store.SaveAccount("Ana", "ana@example.com", "tok");
        window = std::make_unique<ui::MainWindow>(device.w());
        device.w().Load();
        window->show();
    }
    shell::frmMain& model() { return device.w(); }
    template <typename Widget = QWidget>
    Widget* Find(const QString& name) { return ui_testing::Find<Widget>(*window, name); }
};

// A supported machine and a technician's machine with a validated direct
// screen link on loopback, the technician's main window on screen, and the
// input the supported side carries out recorded.
struct LinkedWindows {
    testing_support::LinkPair pair;
    RecordingInputSink sink;
    testing_support::FixedKeyboardLayout keyboard{testing_support::MapOf("us", testing_support::UsKeys())};
    std::unique_ptr<ui::MainWindow> tecnicoWindow;

    LinkedWindows()
    {
        testing_support::MainWindowHarness& c = pair.cliente;
        c.window = std::make_unique<shell::frmMain>(
            shell::MainServices{c.clock, c.dialogs, c.clipboard, c.urls, c.store, nullptr, &sink});
        testing_support::JoinSession(c, "cliente");
        tecnico().svc.keyboard = &keyboard;
        tecnicoWindow = std::make_unique<ui::MainWindow>(tecnico());
        tecnicoWindow->show();
    }

    shell::frmMain& cliente() { return pair.cliente.w(); }
    shell::frmMain& tecnico() { return pair.tecnico.w(); }

    // Up and validated, with the remote desktop's geometry a frame header would give.
    bool Connect(int width = 1920, int height = 1080)
    {
        pair.ConnectDirect();
        if (!pair.BothValidated())
            return false;
        tecnico().s.RemoteWidth = width;
        tecnico().s.RemoteHeight = height;
        return true;
    }

    bool SinkGot(const QStringList& events, int ms = testing_support::kHangMs)
    {
        return testing_support::WaitUntil([&] { return sink.events == events; }, ms);
    }
};

}  // namespace ui_testing
