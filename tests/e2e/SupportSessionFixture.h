#pragma once

// A whole support session between two computers, as their users live it:
// two marquelin processes, each with its own home, settings, runtime folder
// and X display, and one real marquelin-server, each on its own host of the
// lab network (LabNetwork.h) when the machine allows it. Every action goes
// through the programs' own windows (the driver clicks and types); what the
// users would see is read back from the same windows, and what reaches the
// supported computer's screen is read from an X client on its display.
#include "LabNetwork.h"
#include "ProgramInstance.h"
#include "ScreenPainter.h"
#include "Timeline.h"
#include "support/XvfbDisplay.h"

#include "support/ServerFixture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <functional>
#include <memory>

namespace e2e {

using testing_support::ServerFixture;
using testing_support::XvfbDisplay;
using ::testing::AssertionFailure;
using ::testing::AssertionResult;
using ::testing::AssertionSuccess;

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 800;
constexpr unsigned long kKeysymA = 0x61;  // XK_a: what the viewer's "A" becomes on the cliente
inline const std::string kReady = "Pronto para receber suporte. Informe seu codigo ao tecnico.";
inline const std::string kLinked = "Tela remota autorizada.";

struct Person {
    std::string label, name, email;
};
inline const Person kCliente{"cliente", "Ana Cliente", "ana@cliente.test"};
inline const Person kTecnico{"tecnico", "Tiago Tecnico", "tiago@tecnico.test"};

inline bool Contains(const std::string& text, const std::string& fragment) { return text.find(fragment) != std::string::npos; }

inline int Occurrences(const std::string& text, const std::string& fragment)
{
    int count = 0;
    for (std::size_t at = text.find(fragment); at != std::string::npos; at = text.find(fragment, at + 1))
        ++count;
    return count;
}

// The relay's lines in the server log past its start-up line.
inline bool RelayWasUsed(const std::string& serverLog)
{
    for (std::size_t at = serverLog.find("relay: "); at != std::string::npos; at = serverLog.find("relay: ", at + 7))
        if (serverLog.compare(at, 17, "relay: listening ") != 0)
            return true;
    return false;
}

// Waits until `widget` of `p` satisfies `holds`; a failure shows what it showed last and the program's log.
inline AssertionResult AwaitWidget(ProgramInstance& p, const std::string& widget,
                                   const std::function<bool(const WidgetState&)>& holds, const std::string& wanted)
{
    WidgetState last;
    if (WaitFor([&] { return (last = p.Text(widget)).found && holds(last); }, kHangMs, 100))
        return AssertionSuccess();
    return AssertionFailure() << p.label() << ": " << widget << " should be " << wanted << " but shows \"" << last.text
                              << "\" (enabled " << last.enabled << ", visible " << last.visible << ")\n--- "
                              << p.label() << " log:\n" << p.Log();
}

inline AssertionResult AwaitText(ProgramInstance& p, const std::string& widget, const std::string& text)
{
    return AwaitWidget(p, widget, [&](const WidgetState& w) { return w.text == text; }, "\"" + text + "\"");
}

inline AssertionResult AwaitEnabled(ProgramInstance& p, const std::string& widget, bool enabled)
{
    return AwaitWidget(p, widget, [&](const WidgetState& w) { return w.visible && w.enabled == enabled; },
                       enabled ? "enabled" : "disabled");
}

inline AssertionResult AwaitLog(ProgramInstance& p, const std::string& fragment)
{
    return AwaitWidget(p, "frmMain/txtLog", [&](const WidgetState& w) { return Contains(w.text, fragment); },
                       "holding \"" + fragment + "\"");
}

// The main window is up, titled `title`.
inline AssertionResult AwaitShown(ProgramInstance& p, const std::string& title)
{
    return AwaitWidget(p, "frmMain", [&](const WidgetState& w) { return w.visible && w.text == title; },
                       "shown as \"" + title + "\"");
}

// Waits for the active modal window: by object name (or class), title and, when given, its text.
inline AssertionResult AwaitModal(ProgramInstance& p, const std::string& name, const std::string& title,
                                  const std::string& text = {})
{
    ModalState last;
    const auto shown = [&] {
        last = p.Modal();
        return last.name == name && last.title == title && (text.empty() || last.text == text);
    };
    if (WaitFor(shown, kHangMs, 100))
        return AssertionSuccess();
    return AssertionFailure() << p.label() << ": expected the modal " << name << " \"" << title << "\" " << text
                              << " but the modal is " << (last.name.empty() ? "none" : last.name) << " \""
                              << last.title << "\" " << last.text << "\n--- output:\n" << p.Output();
}

class SupportSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(root_.path().empty());
        testing_support::ServerPlacement where;
        if (InLab())
            where = {kServerAddress, RunOn(Host::Server)};
        server_ = std::make_unique<ServerFixture>(std::vector<std::string>{}, where);
        ASSERT_TRUE(server_->Running());
        Mark("server up");
    }

    void TearDown() override { timeline_.Print(::testing::UnitTest::GetInstance()->current_test_info()->name()); }

    void Mark(const std::string& step) { timeline_.Mark(step); }

    std::unique_ptr<XvfbDisplay> NewDisplay(const std::string& label)
    {
        auto display = std::make_unique<XvfbDisplay>(kScreenWidth, kScreenHeight, root_.path() + "/xvfb-" + label + ".log");
        EXPECT_TRUE(display->Ready()) << "Xvfb for " << label << " did not start:\n" << display->Log();
        return display;
    }

    std::unique_ptr<ProgramInstance> NewProgram(const std::string& label, const std::string& folder,
                                                const XvfbDisplay& display, Host host)
    {
        return std::make_unique<ProgramInstance>(label, root_.path() + "/" + folder, display.Name(), *server_,
                                                 RunOn(host));
    }

    // A first start has no account: the sign-up window is open. Ask for the
    // code, read it from the mail, activate; the window closes by itself.
    void SignUp(ProgramInstance& p, const Person& who)
    {
        ASSERT_TRUE(AwaitModal(p, "frmCadastro", "Marquelin - Cadastro"));
        ASSERT_TRUE(p.Act({"type", "frmCadastro/txtNome", who.name}));
        ASSERT_TRUE(p.Act({"type", "frmCadastro/txtEmail", who.email}));
        ASSERT_TRUE(p.Act({"click", "frmCadastro/cmdCriar"}));
        ASSERT_TRUE(AwaitModal(p, "QMessageBox", "Marquelin", "Cadastro enviado. Confira o codigo no seu e-mail."));
        ASSERT_TRUE(p.Act({"modal-click", "OK"}));
        std::string code;
        ASSERT_TRUE(WaitFor([&] { return !(code = server_->LatestCode(who.email)).empty(); }, kHangMs))
            << "no activation code for " << who.email << " in the outbox";
        ASSERT_TRUE(AwaitModal(p, "frmCadastro", "Marquelin - Cadastro"));
        ASSERT_TRUE(p.Act({"type", "frmCadastro/txtCodigo", code}));
        ASSERT_TRUE(p.Act({"click", "frmCadastro/cmdAtivar"}));
        ASSERT_TRUE(AwaitModal(p, "QMessageBox", "Marquelin", "Conta ativada neste computador."));
        ASSERT_TRUE(p.Act({"modal-click", "OK"}));
        ASSERT_TRUE(AwaitShown(p, "Marquelin - " + who.name));
        Mark(p.label() + " signed up and activated");
    }

    // From the first start to a validated link showing the cliente's screen:
    // two displays and programs, sign-up, the code, the request, permission.
    void StartSession()
    {
        clienteDisplay_ = NewDisplay(kCliente.label);
        tecnicoDisplay_ = NewDisplay(kTecnico.label);
        ASSERT_TRUE(clienteDisplay_->Ready() && tecnicoDisplay_->Ready());
        cliente_ = NewProgram(kCliente.label, kCliente.label, *clienteDisplay_, Host::Cliente);
        tecnico_ = NewProgram(kTecnico.label, kTecnico.label, *tecnicoDisplay_, Host::Tecnico);
        ASSERT_TRUE(cliente_->Start() && tecnico_->Start());
        Mark("two displays and programs up, drivers answering");
        ASSERT_NO_FATAL_FAILURE(SignUp(*cliente_, kCliente));
        ASSERT_NO_FATAL_FAILURE(SignUp(*tecnico_, kTecnico));

        ASSERT_TRUE(AwaitText(*cliente_, "frmMain/lblStatus", kReady));
        ASSERT_TRUE(AwaitWidget(*cliente_, "frmMain/txtCodigoReceber", [](const WidgetState& w) { return !w.text.empty(); },
                                "a code"));
        const std::string code = cliente_->Text("frmMain/txtCodigoReceber").text;
        Mark("cliente shows its code " + code);
        // The painted screen goes up on the cliente's display once its own windows are there.
        painter_ = std::make_unique<ScreenPainter>(clienteDisplay_->Name(), kScreenWidth, kScreenHeight);
        ASSERT_TRUE(painter_->Ready()) << "cannot open " << clienteDisplay_->Name();
        painter_->RaiseAndFocus();

        ASSERT_TRUE(tecnico_->Act({"type", "frmMain/txtCodigoAcessar", code}));
        ASSERT_TRUE(tecnico_->Act({"click", "frmMain/cmdSolicitar"}));
        // The request's own text, then the immediate poll's while the cliente has not answered.
        ASSERT_TRUE(AwaitWidget(*tecnico_, "frmMain/lblStatus", [](const WidgetState& w) {
            return w.text == "Solicitacao enviada. Aguarde o cliente permitir."
                || w.text == "Solicitacao enviada. Aguardando o cliente permitir.";
        }, "waiting for the cliente"));
        ASSERT_TRUE(AwaitText(*cliente_, "frmMain/lblStatus", kTecnico.name + " quer acessar este computador."));
        ASSERT_TRUE(AwaitText(*cliente_, "frmMain/cmdPermitir", "PERMITIR ACESSO"));
        ASSERT_TRUE(AwaitEnabled(*cliente_, "frmMain/cmdPermitir", true));
        Mark("cliente sees the request");
        ASSERT_TRUE(cliente_->Act({"click", "frmMain/cmdPermitir"}));
        ASSERT_TRUE(AwaitLog(*cliente_, "Resposta enviada."));
        ASSERT_TRUE(AwaitEnabled(*cliente_, "frmMain/cmdEncerrar", true));
        Mark("cliente permitted");

        ASSERT_TRUE(AwaitLog(*cliente_, kLinked + " Transmissao iniciada."))
            << "--- tecnico log:\n" << tecnico_->Log() << "--- server log:\n" << server_->Log();
        ASSERT_TRUE(AwaitLog(*tecnico_, kLinked));
        ASSERT_TRUE(AwaitWidget(*tecnico_, "frmViewer", [](const WidgetState& w) { return w.visible; }, "shown"));
        Mark("screen link validated, viewer open");
    }

    // What the tecnico's viewer shows (in `png`) and where the remote picture sits in it.
    bool GrabViewer(const std::string& png, QRect* picture)
    {
        const Answer a = tecnico_->Call({"grab", "frmViewer/picView", png});
        if (!a.ok || a.fields.size() < 6)
            return false;
        const auto n = [&](std::size_t i) { return std::stoi(a.fields[i]); };
        *picture = QRect(n(2), n(3), n(4), n(5));
        return true;
    }

    // The viewer shows what the cliente's screen shows now.
    void CheckViewerShowsScreen()
    {
        const std::string png = root_.path() + "/picView.png";
        std::string detail;
        QRect picture;
        const auto matches = [&] {
            return GrabViewer(png, &picture)
                && ShowsScreen(QImage(QString::fromStdString(png)), picture, *painter_, &detail);
        };
        ASSERT_TRUE(WaitFor(matches, kHangMs, 250)) << "the viewer does not show the cliente's screen: " << detail
                                                    << "\n--- tecnico log:\n" << tecnico_->Log();
        Mark("viewer shows the cliente's screen (" + detail.substr(0, detail.find(':')) + ")");
    }

    // After a change of the cliente's screen, new frames reach the viewer.
    void CheckNewFramesArrive()
    {
        painter_->RotateColours();
        ASSERT_NO_FATAL_FAILURE(CheckViewerShowsScreen());
    }

    // A click in the viewer, over a point of the cliente's screen, lands
    // there; a key typed in the viewer arrives there.
    void CheckInputLands()
    {
        QRect picture;
        ASSERT_TRUE(GrabViewer(root_.path() + "/picView.png", &picture));
        const QPoint target(kScreenWidth * 5 / 8 + 37, kScreenHeight * 3 / 4 + 11);
        const double scale = static_cast<double>(picture.width()) / kScreenWidth;
        const int vx = picture.x() + static_cast<int>(std::lround(target.x() * scale));
        const int vy = picture.y() + static_cast<int>(std::lround(target.y() * scale));
        painter_->Pump();
        const std::size_t presses = painter_->Presses().size(), keys = painter_->KeySyms().size();
        ASSERT_TRUE(tecnico_->Act({"click", "frmViewer/picView", std::to_string(vx), std::to_string(vy)}));
        ASSERT_TRUE(WaitFor([&] { painter_->Pump(); return painter_->Presses().size() > presses; }, kHangMs))
            << "no button press reached the cliente's display";
        const ScreenPainter::Press press = painter_->Presses()[presses];
        EXPECT_EQ(press.button, 1u);
        // The view-to-screen mapping rounds once each way: within a pixel or two.
        EXPECT_LE(std::abs(press.x - target.x()), 2) << "press at " << press.x << "," << press.y;
        EXPECT_LE(std::abs(press.y - target.y()), 2) << "press at " << press.x << "," << press.y;
        Mark("click landed on the cliente's screen at " + std::to_string(press.x) + "," + std::to_string(press.y));

        painter_->RaiseAndFocus();
        ASSERT_TRUE(tecnico_->Act({"key", "frmViewer/picView", "A"}));
        ASSERT_TRUE(WaitFor([&] { painter_->Pump(); return painter_->KeySyms().size() > keys; }, kHangMs))
            << "no key press reached the cliente's display";
        EXPECT_EQ(painter_->KeySyms()[keys], kKeysymA);
        Mark("key arrived on the cliente's screen");
    }

    int ValidatedLinks() { return Occurrences(tecnico_->Log(), kLinked); }

    // After a loss: the link comes back by itself and the viewer shows what the cliente's screen shows now.
    void AwaitRebuilt(int linksBefore, const std::string& step)
    {
        ASSERT_TRUE(WaitFor([&] { return ValidatedLinks() > linksBefore; }, kHangMs, 250))
            << "the link was not rebuilt\n--- tecnico log:\n" << tecnico_->Log() << "--- cliente log:\n"
            << cliente_->Log() << "--- server log:\n" << server_->Log();
        ASSERT_NO_FATAL_FAILURE(CheckNewFramesArrive());
        Mark(step);
    }

    void Quit(ProgramInstance& p)
    {
        ASSERT_TRUE(p.Act({"trigger", "mnuSair"}));
        ASSERT_TRUE(p.WaitExit(kHangMs)) << p.label() << " did not end after Sair";
        EXPECT_EQ(p.ExitCode(), 0) << p.label() << " output:\n" << p.Output();
    }

    // The technician disconnects: both sides reset, the cliente shows a new
    // code; then both programs close with Sair.
    void EndSession()
    {
        const std::string oldCode = cliente_->Text("frmMain/txtCodigoReceber").text;
        ASSERT_TRUE(AwaitText(*tecnico_, "frmMain/cmdEncerrar", "Desconectar agora"));
        ASSERT_TRUE(tecnico_->Act({"click", "frmMain/cmdEncerrar"}));
        ASSERT_TRUE(AwaitText(*tecnico_, "frmMain/lblStatus", "Sessao encerrada."));
        ASSERT_TRUE(AwaitEnabled(*tecnico_, "frmMain/cmdEncerrar", false));
        ASSERT_TRUE(AwaitWidget(*tecnico_, "frmViewer", [](const WidgetState& w) { return !w.visible; }, "closed"));
        Mark("tecnico ended the session");
        ASSERT_TRUE(AwaitWidget(*cliente_, "frmMain/txtCodigoReceber",
                                [&](const WidgetState& w) { return !w.text.empty() && w.text != oldCode; },
                                "a new code"));
        ASSERT_TRUE(AwaitText(*cliente_, "frmMain/lblStatus", kReady));
        ASSERT_TRUE(AwaitEnabled(*cliente_, "frmMain/cmdEncerrar", false));
        EXPECT_TRUE(Contains(server_->Log(), "/api/encerrar_sessao.php 200"));
        Mark("cliente shows a new code");
        ASSERT_NO_FATAL_FAILURE(Quit(*cliente_));
        ASSERT_NO_FATAL_FAILURE(Quit(*tecnico_));
        Mark("both programs closed with Sair");
    }

    // Declared in the order of their set-up, so they end in reverse: the
    // programs before their displays, all before the server and the folder.
    Timeline timeline_;
    testing_support::TempDir root_{"marquelin-e2e"};
    std::unique_ptr<ServerFixture> server_;
    std::unique_ptr<XvfbDisplay> clienteDisplay_, tecnicoDisplay_;
    std::unique_ptr<ProgramInstance> cliente_, tecnico_;
    std::unique_ptr<ScreenPainter> painter_;
};

}  // namespace e2e
