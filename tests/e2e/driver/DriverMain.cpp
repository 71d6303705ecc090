// marquelin_driven: the real program with a test driver inside. The driver
// opens its socket (MARQUELIN_DRIVER_SOCKET) as soon as the application
// object exists, before the start-up sequence, so the first-start sign-up
// window and the second-copy message can be driven too. Test tool only.
#include "DriverServer.h"
#include "program/Program.h"
#include "ui/MainWindow.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

driver::DriverServer* g_server = nullptr;

void StartDriver()
{
    const QString path = qEnvironmentVariable("MARQUELIN_DRIVER_SOCKET");
    if (path.isEmpty()) {
        std::fprintf(stderr, "marquelin_driven: MARQUELIN_DRIVER_SOCKET is not set; running undriven\n");
        return;
    }
    g_server = new driver::DriverServer(path, QCoreApplication::instance());
    if (!g_server->listening())
        std::fprintf(stderr, "marquelin_driven: cannot listen on %s: %s\n", qPrintable(path),
                     qPrintable(g_server->errorString()));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(StartDriver)

int main(int argc, char** argv)
{
    return program::RunProgram(argc, argv, [](QApplication&, ui::MainWindow& window) {
        if (g_server)
            g_server->SetMainWindow(&window);
    });
}
