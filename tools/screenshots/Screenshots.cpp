// Saves pictures of the real windows, each bound to a model put into a
// representative state, for the README. Run under a display (scripts/screenshots
// starts a private Xvfb):   marquelin_screenshots <output folder>
#include "PaintedDesktop.h"
#include "core/account/frmCadastro.h"
#include "core/shell/frmSobre.h"
#include "support/CannedService.h"
#include "support/MainWindowHarness.h"
#include "ui/AccountDialogs.h"
#include "ui/MainWindow.h"
#include "ui/ViewerWindow.h"

#include <QApplication>
#include <QDir>
#include <QTest>
#include <cstdio>
#include <memory>

using testing_support::CannedService;
using testing_support::MainWindowHarness;

namespace {

// One device: its settings, a saved account, and the main window started
// against the canned service, as the program starts.
struct Device {
    MainWindowHarness harness;
    std::unique_ptr<ui::MainWindow> window;

    Device(const QString& nome, const QString& email)
    {
        harness.store.SaveAccount(nome, email, "tok");
        window = std::make_unique<ui::MainWindow>(harness.w());
        harness.w().Load();
        window->show();
    }
    shell::frmMain& m() { return harness.w(); }
};

bool Save(QWidget& widget, const QDir& folder, const QString& name)
{
    if (!widget.isVisible())
        widget.show();
    if (!QTest::qWaitForWindowExposed(&widget))
        return false;
    QTest::qWait(150);  // let layouts and pending repaints settle
    const QString path = folder.filePath(name);
    const bool ok = widget.grab().toImage().convertToFormat(QImage::Format_RGB888).save(path, "PNG", 9);
    std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
    return ok;
}

// A supported machine whose technician has just asked for access.
bool Cliente(CannedService& service, const QDir& out)
{
    service.Reply("gerar_codigo.php", R"({"ok":true,"codigo_id":"c1","codigo":"482913"})");
    Device device("Ana Souza", "ana@example.com");
    service.Reply("status_codigo.php",
                  R"({"ok":true,"status":"solicitado","papel":"cliente","id":"c1","tecnico_nome":"Bruno"})");
    device.m().status.ConsultarStatus();
    device.m().code.cmdCopiarCodigo_Click();
    device.m().SetStatus("Bruno quer acessar este computador.");
    return Save(*device.window, out, "main-cliente.png");
}

// A technician whose screen link is up, with the supported desktop in the
// preview and in the viewer.
bool Tecnico(CannedService& service, const QDir& out)
{
    service.Reply("gerar_codigo.php", R"({"ok":true,"codigo_id":"c7","codigo":"730155"})");
    service.Reply("status_codigo.php", R"({"ok":true,"status":"sem_codigo"})");
    Device device("Bruno Lima", "bruno@example.com");
    shell::frmMain& m = device.m();
    m.c.txtCodigoAcessar.setText("482913");
    service.Reply("solicitar_acesso.php", R"({"ok":true,"codigo_id":"c1"})");
    m.access.cmdSolicitar_Click();
    m.s.sessao_id = "4f2a9c";
    m.SetStatus("Acesso permitido. Sessao 4f2a9c");
    m.c.cmdEncerrar.setEnabled(true);
    for (const char* line : {"Conectando automaticamente a tela do cliente.", "Conexao de tela estabelecida.",
                             "Sessao de tela validada."})
        m.LogEvent(line);
    m.s.PapelTela = "tecnico";
    m.s.TelaConectada = true;
    m.quality.AtualizarAjustesTela();
    m.s.RemoteWidth = 1920;
    m.s.RemoteHeight = 1080;
    m.ShowRemoteFrame(screenshots::PaintedDesktop(1920, 1080));
    device.window->activateWindow();
    bool ok = Save(*device.window, out, "main-tecnico.png");
    ok = Save(*device.window->viewer(), out, "viewer.png") && ok;
    return ok;
}

bool Cadastro(const QDir& out)
{
    MainWindowHarness device;
    account::frmCadastro model(device.w());
    model.Form_Load();
    model.txtNome.setText("Ana Souza");
    model.txtEmail.setText("ana@example.com");
    ui::CadastroDialog dialog(model, nullptr);
    return Save(dialog, out, "cadastro.png");
}

bool Sobre(const QDir& out)
{
    MainWindowHarness device;
    device.SaveAccount("Ana Souza", "ana@example.com", "tok");
    shell::frmSobre model(device.w());
    model.Form_Load();
    ui::SobreDialog dialog(model, nullptr);
    return Save(dialog, out, "sobre.png");
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(".")) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    // The dialogs first, so they show the program's own site setting.
    bool ok = Cadastro(out);
    ok = Sobre(out) && ok;
    CannedService service;
    ok = Cliente(service, out) && ok;
    ok = Tecnico(service, out) && ok;
    return ok ? 0 : 1;
}
