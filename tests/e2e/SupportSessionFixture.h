#pragma once

// A whole support session between two computers, as their users live it:
// two marquelin processes, each with its own home, settings, runtime folder
// and X display, and one real marquelin-server, each on its own host of the
// lab network (LabNetwork.h) when the machine allows it. Every action goes
// through the programs' own windows (the driver clicks and types); what the
// users would see is read back from the same windows, and what reaches the
// supported computer's screen is read from an X client on its display.
#include "LabNetwork.h"
#include "PictureCheck.h"
#include "ProgramInstance.h"
#include "ScreenPainter.h"
#include "Timeline.h"
#include "XvfbDisplay.h"

#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>

namespace e2e {

namespace fs = std::filesystem;
using testing_support::ServerFixture;
using ::testing::AssertionFailure;
using ::testing::AssertionResult;
using ::testing::AssertionSuccess;

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 800;
constexpr int kStartMs = 40000;       // a sanitized Qt program's first window
constexpr int kStepMs = 20000;        // a user's step: a blocking request and a status poll or two
constexpr int kRouteMs = 40000;       // direct at once; the relay after the 5 s and 2.2 s + 4 s waits
constexpr int kExitMs = 20000;
constexpr unsigned long kKeysymA = 0x61;  // XK_a: what the viewer's "A" becomes on the cliente

struct Person {
    std::string label, name, email;
};
inline const Person kCliente{"cliente", "Ana Cliente", "ana@cliente.test"};
inline const Person kTecnico{"tecnico", "Tiago Tecnico", "tiago@tecnico.test"};

// A temporary folder for one test, removed with everything in it.
class TempRoot {
public:
    TempRoot()
    {
        std::string pattern = (fs::temp_directory_path() / "marquelin-e2e-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~TempRoot()
    {
        std::error_code ignored;
        if (!path_.empty())
            fs::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline std::string Describe(const WidgetState& w)
{
    return "\"" + w.text + "\" (enabled " + std::to_string(w.enabled) + ", visible " + std::to_string(w.visible) + ")";
}

// Waits until `widget` of `p` satisfies `holds`; a failure shows what it showed last and the program's log.
inline AssertionResult AwaitWidget(ProgramInstance& p, const std::string& widget,
                            const std::function<bool(const WidgetState&)>& holds, const std::string& wanted,
                            int ms = kStepMs)
{
    WidgetState last;
    if (WaitFor([&] { return (last = p.Text(widget)).found && holds(last); }, ms, 100))
        return AssertionSuccess();
    return AssertionFailure() << p.label() << ": " << widget << " should be " << wanted << " but shows "
                              << Describe(last) << "\n--- " << p.label() << " log:\n" << p.Log();
}

inline AssertionResult AwaitText(ProgramInstance& p, const std::string& widget, const std::string& text, int ms = kStepMs)
{
    return AwaitWidget(p, widget, [&](const WidgetState& w) { return w.text == text; }, "\"" + text + "\"", ms);
}

inline AssertionResult AwaitEnabled(ProgramInstance& p, const std::string& widget, bool enabled)
{
    return AwaitWidget(p, widget, [&](const WidgetState& w) { return w.visible && w.enabled == enabled; },
                       enabled ? "enabled" : "disabled");
}

// Waits for the active modal window: by object name (or class), title and, when given, its text.
inline AssertionResult AwaitModal(ProgramInstance& p, const std::string& name, const std::string& title,
                           const std::string& text = {}, int ms = kStepMs)
{
    ModalState last;
    const auto shown = [&] {
        last = p.Modal();
        return last.name == name && last.title == title && (text.empty() || last.text == text);
    };
    if (WaitFor(shown, ms, 100))
        return AssertionSuccess();
    return AssertionFailure() << p.label() << ": expected the modal " << name << " \"" << title << "\" " << text
                              << " but the modal is " << (last.name.empty() ? "none" : last.name) << " \""
                              << last.title << "\" " << last.text << "\n--- output:\n" << p.Output();
}

inline AssertionResult AwaitLog(ProgramInstance& p, const std::string& fragment, int ms = kStepMs)
{
    std::string log;
    if (WaitFor([&] { return (log = p.Log()).find(fragment) != std::string::npos; }, ms, 200))
        return AssertionSuccess();
    return AssertionFailure() << p.label() << ": the log never showed \"" << fragment << "\"; it holds:\n" << log;
}

inline bool Contains(const std::string& text, const std::string& fragment) { return text.find(fragment) != std::string::npos; }

// The relay's lines in the server log past its start-up line.
inline bool RelayWasUsed(const std::string& serverLog)
{
    std::size_t at = 0;
    while ((at = serverLog.find("relay: ", at)) != std::string::npos) {
        if (serverLog.compare(at, 17, "relay: listening ") != 0)
            return true;
        at += 7;
    }
    return false;
}

class SupportSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(root_.path().empty());
        server_ = std::make_unique<ServerFixture>(std::vector<std::string>{}, ServerWhere());
        ASSERT_TRUE(server_->Running());
        Mark("server up");
    }

    void TearDown() override
    {
        timeline_.Print(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    void Mark(const std::string& step) { timeline_.Mark(step); }

    static testing_support::ServerPlacement ServerWhere()
    {
        if (!InLab())
            return {};
        return {kServerAddress, RunOn(Host::Server)};
    }

    std::unique_ptr<XvfbDisplay> NewDisplay(const std::string& label)
    {
        auto display = std::make_unique<XvfbDisplay>(kScreenWidth, kScreenHeight, root_.path() + "/xvfb-" + label + ".log");
        EXPECT_TRUE(display->Ready()) << "Xvfb for " << label << " did not start";
        return display;
    }

    std::unique_ptr<ProgramInstance> NewProgram(const std::string& label, const std::string& folder,
                                                const XvfbDisplay& display, Host host)
    {
        return std::make_unique<ProgramInstance>(label, UserFolders(root_.path() + "/" + folder), display.Name(),
                                                 *server_, RunOn(host));
    }

    void StartBoth()
    {
        clienteDisplay_ = NewDisplay(kCliente.label);
        tecnicoDisplay_ = NewDisplay(kTecnico.label);
        ASSERT_TRUE(clienteDisplay_->Ready() && tecnicoDisplay_->Ready());
        Mark("two displays up");
        cliente_ = NewProgram(kCliente.label, kCliente.label, *clienteDisplay_, Host::Cliente);
        tecnico_ = NewProgram(kTecnico.label, kTecnico.label, *tecnicoDisplay_, Host::Tecnico);
        ASSERT_TRUE(cliente_->Start());
        ASSERT_TRUE(tecnico_->Start());
        Mark("two programs started, drivers answering");
    }

    // A first start has no account: the sign-up window is open. Ask for the
    // code, read it from the mail, activate; the window closes by itself.
    void SignUp(ProgramInstance& p, const Person& who)
    {
        ASSERT_TRUE(AwaitModal(p, "frmCadastro", "Marquelin - Cadastro", {}, kStartMs));
        ASSERT_TRUE(p.Act("type frmCadastro/txtNome " + EscapeArgument(who.name)));
        ASSERT_TRUE(p.Act("type frmCadastro/txtEmail " + EscapeArgument(who.email)));
        ASSERT_TRUE(p.Act("click frmCadastro/cmdCriar"));
        ASSERT_TRUE(AwaitModal(p, "QMessageBox", "Marquelin", "Cadastro enviado. Confira o codigo no seu e-mail."));
        ASSERT_TRUE(p.Act("modal-click OK"));
        std::string code;
        ASSERT_TRUE(WaitFor([&] { return !(code = server_->LatestCode(who.email)).empty(); }, kStepMs))
            << "no activation code for " << who.email << " in the outbox";
        ASSERT_TRUE(AwaitModal(p, "frmCadastro", "Marquelin - Cadastro"));
        ASSERT_TRUE(p.Act("type frmCadastro/txtCodigo " + EscapeArgument(code)));
        ASSERT_TRUE(p.Act("click frmCadastro/cmdAtivar"));
        ASSERT_TRUE(AwaitModal(p, "QMessageBox", "Marquelin", "Conta ativada neste computador."));
        ASSERT_TRUE(p.Act("modal-click OK"));
        ASSERT_TRUE(WaitFor([&] { return p.Call("ready").ok; }, kStepMs)) << p.label() << ": no main window";
        ASSERT_TRUE(AwaitText(p, "frmMain", "Marquelin - " + who.name));
        Mark(p.label() + " signed up and activated");
    }

    void SignUpBoth()
    {
        ASSERT_NO_FATAL_FAILURE(SignUp(*cliente_, kCliente));
        ASSERT_NO_FATAL_FAILURE(SignUp(*tecnico_, kTecnico));
    }

    // The code the cliente reads out, once the window says it is ready.
    std::string CodeShown()
    {
        EXPECT_TRUE(AwaitText(*cliente_, "frmMain/lblStatus", "Pronto para receber suporte. Informe seu codigo ao tecnico."));
        EXPECT_TRUE(AwaitWidget(*cliente_, "frmMain/txtCodigoReceber", [](const WidgetState& w) { return !w.text.empty(); },
                                "a code"));
        return cliente_->Text("frmMain/txtCodigoReceber").text;
    }

    // The painted screen goes up on the cliente's display once its own windows are there.
    void PaintClienteScreen()
    {
        painter_ = std::make_unique<ScreenPainter>(clienteDisplay_->Name(), kScreenWidth, kScreenHeight);
        ASSERT_TRUE(painter_->Ready()) << "cannot open " << clienteDisplay_->Name();
        painter_->RaiseAndFocus();
    }

    void AskAndPermit(const std::string& code)
    {
        ASSERT_TRUE(tecnico_->Act("type frmMain/txtCodigoAcessar " + EscapeArgument(code)));
        ASSERT_TRUE(tecnico_->Act("click frmMain/cmdSolicitar"));
        // The request's own text, then the immediate poll's while the cliente has not answered.
        ASSERT_TRUE(AwaitWidget(*tecnico_, "frmMain/lblStatus", [](const WidgetState& w) {
            return w.text == "Solicitacao enviada. Aguarde o cliente permitir."
                || w.text == "Solicitacao enviada. Aguardando o cliente permitir.";
        }, "waiting for the cliente"));
        Mark("tecnico asked for access");
        ASSERT_TRUE(AwaitText(*cliente_, "frmMain/lblStatus", kTecnico.name + " quer acessar este computador."));
        ASSERT_TRUE(AwaitText(*cliente_, "frmMain/cmdPermitir", "PERMITIR ACESSO"));
        ASSERT_TRUE(AwaitEnabled(*cliente_, "frmMain/cmdPermitir", true));
        Mark("cliente sees the request");
        ASSERT_TRUE(cliente_->Act("click frmMain/cmdPermitir"));
        ASSERT_TRUE(AwaitLog(*cliente_, "Resposta enviada."));
        ASSERT_TRUE(AwaitEnabled(*cliente_, "frmMain/cmdEncerrar", true));
        Mark("cliente permitted");
    }

    void AwaitLinked(int ms)
    {
        ASSERT_TRUE(AwaitLog(*cliente_, "Tela remota autorizada. Transmissao iniciada.", ms))
            << "--- tecnico log:\n" << tecnico_->Log() << "--- server log:\n" << server_->Log();
        ASSERT_TRUE(AwaitLog(*tecnico_, "Tela remota autorizada.", ms));
        ASSERT_TRUE(AwaitWidget(*tecnico_, "frmViewer", [](const WidgetState& w) { return w.visible; }, "shown"));
        Mark("screen link validated, viewer open");
    }

    // The picture area of the tecnico's viewer and where the remote picture sits in it.
    struct ViewGeometry {
        QSize view;
        QRect picture;
    };
    std::optional<ViewGeometry> Viewer()
    {
        const Answer a = tecnico_->Call("geometry frmViewer/picView");
        if (!a.ok || a.fields.size() < 6)
            return std::nullopt;
        const auto n = [&](int i) { return std::stoi(a.fields[static_cast<std::size_t>(i)]); };
        return ViewGeometry{QSize(n(0), n(1)), QRect(n(2), n(3), n(4), n(5))};
    }

    void CheckViewerShowsScreen(int ms = kStepMs)
    {
        const std::string png = root_.path() + "/picView.png";
        const QSize screen(kScreenWidth, kScreenHeight);
        PictureCheck check;
        std::optional<ViewGeometry> geometry;
        const auto matches = [&] {
            geometry = Viewer();
            if (!geometry || !tecnico_->Call("grab frmViewer/picView " + EscapeArgument(png)).ok)
                return false;
            check = ComparePicture(QImage(QString::fromStdString(png)), geometry->picture, screen, *painter_);
            return check.matches;
        };
        ASSERT_TRUE(WaitFor(matches, ms, 250)) << "the viewer does not show the cliente's screen: " << check.detail
                                               << "\n--- tecnico log:\n" << tecnico_->Log();
        EXPECT_TRUE(IsFittedAndCentred(geometry->picture, geometry->view, screen))
            << "picture " << geometry->picture.x() << "," << geometry->picture.y() << " " << geometry->picture.width()
            << "x" << geometry->picture.height() << " in a view of " << geometry->view.width() << "x"
            << geometry->view.height();
        Mark("viewer shows the cliente's screen (" + check.detail.substr(0, check.detail.find(':')) + ")");
    }

    // A click in the viewer, over a point of the cliente's screen, lands there.
    void CheckClickLands()
    {
        const std::optional<ViewGeometry> g = Viewer();
        ASSERT_TRUE(g);
        const QPoint target(kScreenWidth * 5 / 8 + 37, kScreenHeight * 3 / 4 + 11);
        const double scale = static_cast<double>(g->picture.width()) / kScreenWidth;
        const int vx = g->picture.x() + static_cast<int>(std::lround(target.x() * scale));
        const int vy = g->picture.y() + static_cast<int>(std::lround(target.y() * scale));
        painter_->Pump();
        const std::size_t before = painter_->Presses().size();
        ASSERT_TRUE(tecnico_->Act("mouse frmViewer/picView click " + std::to_string(vx) + " " + std::to_string(vy)));
        ASSERT_TRUE(WaitFor([&] { painter_->Pump(); return painter_->Presses().size() > before; }, kStepMs))
            << "no button press reached the cliente's display";
        const ScreenPainter::Press press = painter_->Presses()[before];
        EXPECT_EQ(press.button, 1u);
        // The view-to-screen mapping rounds once each way: within a pixel or two.
        EXPECT_LE(std::abs(press.x - target.x()), 2) << "press at " << press.x << "," << press.y;
        EXPECT_LE(std::abs(press.y - target.y()), 2) << "press at " << press.x << "," << press.y;
        Mark("click landed on the cliente's screen at " + std::to_string(press.x) + "," + std::to_string(press.y));
    }

    void CheckKeyArrives()
    {
        painter_->RaiseAndFocus();
        painter_->Pump();
        const std::size_t before = painter_->KeySyms().size();
        ASSERT_TRUE(tecnico_->Act("key frmViewer/picView A"));
        ASSERT_TRUE(WaitFor([&] { painter_->Pump(); return painter_->KeySyms().size() > before; }, kStepMs))
            << "no key press reached the cliente's display";
        EXPECT_EQ(painter_->KeySyms()[before], kKeysymA);
        Mark("key arrived on the cliente's screen");
    }

    void DisconnectFromTecnico(const std::string& oldCode)
    {
        ASSERT_TRUE(AwaitText(*tecnico_, "frmMain/cmdEncerrar", "Desconectar agora"));
        ASSERT_TRUE(tecnico_->Act("click frmMain/cmdEncerrar"));
        ASSERT_TRUE(AwaitText(*tecnico_, "frmMain/lblStatus", "Sessao encerrada."));
        ASSERT_TRUE(AwaitEnabled(*tecnico_, "frmMain/cmdEncerrar", false));
        ASSERT_TRUE(AwaitWidget(*tecnico_, "frmViewer", [](const WidgetState& w) { return !w.visible; }, "closed"));
        Mark("tecnico ended the session");
        ASSERT_TRUE(AwaitWidget(*cliente_, "frmMain/txtCodigoReceber",
                                [&](const WidgetState& w) { return !w.text.empty() && w.text != oldCode; },
                                "a new code"));
        ASSERT_TRUE(AwaitText(*cliente_, "frmMain/lblStatus", "Pronto para receber suporte. Informe seu codigo ao tecnico."));
        ASSERT_TRUE(AwaitEnabled(*cliente_, "frmMain/cmdEncerrar", false));
        EXPECT_TRUE(Contains(server_->Log(), "/api/encerrar_sessao.php 200"));
        Mark("cliente shows a new code");
    }

    void Quit(ProgramInstance& p)
    {
        ASSERT_TRUE(p.Act("trigger mnuSair"));
        ASSERT_TRUE(p.WaitExit(kExitMs)) << p.label() << " did not end after Sair";
        EXPECT_EQ(p.ExitCode(), 0) << p.label() << " output:\n" << p.Output();
    }

    void QuitBoth()
    {
        ASSERT_NO_FATAL_FAILURE(Quit(*cliente_));
        ASSERT_NO_FATAL_FAILURE(Quit(*tecnico_));
        Mark("both programs closed with Sair");
    }

    // From the first start to a validated link showing the cliente's screen.
    void StartSession(int linkMs)
    {
        ASSERT_NO_FATAL_FAILURE(StartBoth());
        ASSERT_NO_FATAL_FAILURE(SignUpBoth());
        const std::string code = CodeShown();
        ASSERT_FALSE(code.empty());
        Mark("cliente shows its code " + code);
        ASSERT_NO_FATAL_FAILURE(PaintClienteScreen());
        ASSERT_NO_FATAL_FAILURE(AskAndPermit(code));
        ASSERT_NO_FATAL_FAILURE(AwaitLinked(linkMs));
    }

    void EndSession()
    {
        ASSERT_NO_FATAL_FAILURE(DisconnectFromTecnico(cliente_->Text("frmMain/txtCodigoReceber").text));
        ASSERT_NO_FATAL_FAILURE(QuitBoth());
    }

    // Everything from the first start to the session's end; `route` checks how the link came up.
    void RunSession(int linkMs, const std::function<void()>& route)
    {
        ASSERT_NO_FATAL_FAILURE(StartSession(linkMs));
        ASSERT_NO_FATAL_FAILURE(route());
        ASSERT_NO_FATAL_FAILURE(CheckViewerShowsScreen());
        ASSERT_NO_FATAL_FAILURE(CheckClickLands());
        ASSERT_NO_FATAL_FAILURE(CheckKeyArrives());
        ASSERT_NO_FATAL_FAILURE(EndSession());
    }

    // Declared in the order of their set-up, so they end in reverse: the
    // programs before their displays, all before the server and the folder.
    Timeline timeline_;
    TempRoot root_;
    std::unique_ptr<ServerFixture> server_;
    std::unique_ptr<XvfbDisplay> clienteDisplay_, tecnicoDisplay_;
    std::unique_ptr<ProgramInstance> cliente_, tecnico_;
    std::unique_ptr<ScreenPainter> painter_;
};

}  // namespace e2e
