#pragma once

#include <functional>

class QApplication;

namespace ui { class MainWindow; }

namespace program {

// The whole desktop program: platform backends, the main window model and
// its widget, the start-up sequence, the event loop and the unload. `started`,
// when given, runs once the main window is shown (an automation hook for the
// end-to-end tests; the shipped program passes none).
int RunProgram(int argc, char** argv, const std::function<void(QApplication&, ui::MainWindow&)>& started = {});

}  // namespace program
