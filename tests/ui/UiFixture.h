#pragma once

#include "support/CannedService.h"
#include "support/HangLimit.h"
#include "support/MainWindowHarness.h"
#include "ui/MainWindow.h"

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

// The text a widget shows: a window's title, a frame's title, or the text of
// a button, label or box.
inline QString Shown(const QWidget* widget)
{
    if (widget->isWindow())
        return widget->windowTitle();
    return widget->property(qobject_cast<const QGroupBox*>(widget) ? "title" : "text").toString();
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

    MainWindowFixture()
    {
        service.Reply("gerar_codigo.php", R"({"ok":true,"codigo_id":"c1","codigo":"482913"})");
        device.store.SaveAccount("Ana", "ana@example.com", "tok");
        window = std::make_unique<ui::MainWindow>(device.w());
        device.w().Load();
        window->show();
    }
    shell::frmMain& model() { return device.w(); }
    template <typename Widget = QWidget>
    Widget* Find(const QString& name) { return ui_testing::Find<Widget>(*window, name); }
};

}  // namespace ui_testing
