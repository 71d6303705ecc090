// Whole support sessions between two computers, as their users live them:
// two marquelin processes, each with its own home, settings, runtime folder
// and X display, and one real marquelin-server, each on its own host of the
// lab network (LabNetwork.h) when the machine allows it. Every action goes
// through the programs' own windows (the driver clicks and types); what the
// users would see is read back from the same windows, and what reaches the
// supported computer's screen is read from an X client on its display.
// The sessions as they should go (each route, the relay also through a
// cluster of servers behind HAProxy, ServiceCluster.h; the input, the end; a
// second copy) and as they meet trouble: the server and relay killed or restarted,
// a cut cable, a technician's computer that stops reading. The faults need
// the lab network.
#include "HeadlessGnome.h"
#include "LabNetwork.h"
#include "PatternWindow.h"
#include "ProgramInstance.h"
#include "ServiceCluster.h"
#include "support/ServerFixture.h"
#include "support/TempDir.h"
#include "support/XvfbDisplay.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QTcpSocket>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

// After the test framework and Qt: Xlib defines None, Bool, Status, True, False.
#include "support/XScreen.h"

namespace e2e {
namespace {

using testing_support::ServerFixture;
using testing_support::XScreen;
using testing_support::XvfbDisplay;
using ::testing::AssertionResult;

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 800;
inline const std::string kReady = "Pronto para receber suporte. Informe seu codigo ao tecnico.";
inline const std::string kLinked = "Tela remota autorizada.";

struct Person {
    std::string label, name, email;
};
inline const Person kCliente{"cliente", "Ana Cliente", "ana@cliente.test"};
inline const Person kTecnico{"tecnico", "Tiago Tecnico", "tiago@tecnico.test"};

constexpr int kColumns = 4;
constexpr int kRows = 2;
constexpr QRgb kColours[kColumns * kRows] = {
    qRgb(220, 40, 40),   qRgb(40, 180, 60),  qRgb(40, 70, 210),  qRgb(230, 210, 50),
    qRgb(240, 240, 240), qRgb(200, 60, 200), qRgb(50, 200, 210), qRgb(240, 140, 30),
};

constexpr int kStep = 3;              // view pixels between samples
constexpr int kTolerance = 40;        // per channel, JPEG on flat colour
constexpr double kWrongShare = 0.01;  // the pointer's few pixels
constexpr int kBandEdge = 2;          // view pixels left alone around the picture
constexpr double kEdgeScreenPx = 12;  // JPEG blocks and scaling blur a block's edge

// The picture the tests paint over the supported computer's screen: four
// columns by two rows of flat colour blocks, each far from the others and
// from black; each rotation gives every block the next one's colour, a new
// picture to see arrive. A block's colour at a screen point, or nothing
// within `margin` of a block edge.
inline std::optional<QColor> BlockColour(int rotation, double x, double y, double margin = 0)
{
    const double width = static_cast<double>(kScreenWidth) / kColumns;
    const double height = static_cast<double>(kScreenHeight) / kRows;
    const int column = static_cast<int>(x / width), row = static_cast<int>(y / height);
    const double inX = x - column * width, inY = y - row * height;
    if (x < 0 || y < 0 || column >= kColumns || row >= kRows || std::min(inX, width - inX) < margin
        || std::min(inY, height - inY) < margin)
        return std::nullopt;
    return QColor(kColours[(row * kColumns + column + rotation) % (kColumns * kRows)]);
}

// Whether a view (`grab`, with the remote picture drawn into `picture`) shows
// the blocks: inside the picture each block's colour within JPEG tolerance,
// away from block edges; outside it the black bands. A few wrong pixels (the
// pointer drawn into the frame) are allowed. `detail` tells the first differences.
inline bool ShowsBlocks(const QImage& grab, const QRect& picture, int rotation, std::string* detail)
{
    const QRect band = picture.adjusted(-kBandEdge, -kBandEdge, kBandEdge, kBandEdge);
    const double scale = static_cast<double>(picture.width()) / kScreenWidth;
    const double margin = std::max(kEdgeScreenPx, 3 / scale);
    long compared = 0, wrong = 0;
    std::ostringstream first;
    for (int y = 0; y < grab.height(); y += kStep)
        for (int x = 0; x < grab.width(); x += kStep) {
            std::optional<QColor> expected = QColor(Qt::black);
            if (picture.contains(x, y))
                expected = BlockColour(rotation, (x - picture.x() + 0.5) / scale,
                                       (y - picture.y() + 0.5) / scale, margin);
            else if (band.contains(x, y))
                continue;
            if (!expected)
                continue;
            ++compared;
            const QColor seen = grab.pixelColor(x, y);
            const int distance = std::max({std::abs(seen.red() - expected->red()),
                                           std::abs(seen.green() - expected->green()),
                                           std::abs(seen.blue() - expected->blue())});
            if (distance > kTolerance && wrong++ < 5)
                first << " (" << x << "," << y << ") " << seen.name().toStdString() << " not "
                      << expected->name().toStdString() << ";";
        }
    *detail = std::to_string(wrong) + " of " + std::to_string(compared) + " samples differ:" + first.str();
    return compared > 0 && wrong <= compared * kWrongShare;
}

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
    return Occurrences(serverLog, "relay: ") > Occurrences(serverLog, "relay: listening ");
}

// A timeline of the test's steps, so a slow or stuck one shows: every
// awaited state, and the steps in between that wait on other things.
inline std::chrono::steady_clock::time_point g_testStart;
inline void Mark(const std::string& step)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - g_testStart);
    std::printf("[ timeline ] %7lld ms  %s\n", static_cast<long long>(ms.count()), step.c_str());
    std::fflush(stdout);
}

// Waits until `widget` of `p` satisfies `holds`; a failure shows what it showed last and the program's log.
inline AssertionResult AwaitWidget(ProgramInstance& p, const std::string& widget,
                                   const std::function<bool(const WidgetState&)>& holds, const std::string& wanted)
{
    WidgetState last;
    if (WaitFor([&] { return (last = p.Text(widget)).found && holds(last); }, kHangMs, 100)) {
        Mark(p.label() + ": " + widget + " " + wanted);
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << p.label() << ": " << widget << " should be " << wanted << " but shows \"" << last.text
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

inline AssertionResult AwaitShown(ProgramInstance& p, const std::string& widget, bool shown = true)
{
    return AwaitWidget(p, widget, [&](const WidgetState& w) { return w.visible == shown; }, shown ? "shown" : "closed");
}

inline AssertionResult AwaitLog(ProgramInstance& p, const std::string& fragment)
{
    return AwaitWidget(p, "frmMain/txtLog", [&](const WidgetState& w) { return Contains(w.text, fragment); },
                       "holding \"" + fragment + "\"");
}

// Waits for the active modal window, by object name (or class) and text: a
// window's title, a message's text.
inline AssertionResult AwaitModal(ProgramInstance& p, const std::string& name, const std::string& text)
{
    return AwaitWidget(p, "modal", [&](const WidgetState& w) { return w.name == name && w.text == text; },
                       name + " \"" + text + "\"");
}

class SupportSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_testStart = std::chrono::steady_clock::now();
        ASSERT_FALSE(root_.path().empty());
        testing_support::ServerPlacement where;
        if (InLab())
            where = {kServerAddress, RunOn(Host::Server)};
        if (cluster_ && !InLab())
            GTEST_SKIP() << LabProblem();
        if (cluster_)
            server_ = std::make_unique<ServiceCluster>(kServerAddress, RunOn(Host::Server));
        else
            server_ = std::make_unique<ServerFixture>(std::vector<std::string>{}, where);
        ASSERT_TRUE(server_->Running()) << server_->Log();
        Mark(cluster_ ? "PostgreSQL, four nodes and haproxy up" : "server up");
    }

    std::unique_ptr<XvfbDisplay> NewDisplay(const std::string& label)
    {
        auto display = std::make_unique<XvfbDisplay>(kScreenWidth, kScreenHeight, root_.path() + "/xvfb-" + label + ".log");
        EXPECT_TRUE(display->Ready()) << "Xvfb for " << label << " did not start:\n" << display->Log();
        return display;
    }

    std::unique_ptr<ProgramInstance> NewProgram(const std::string& label, const std::string& folder,
                                                const XvfbDisplay& display, Host host,
                                                const ChildProcess::Environment& desktop = {})
    {
        return std::make_unique<ProgramInstance>(label, root_.path() + "/" + folder, display.Name(), *server_,
                                                 RunOn(host), desktop);
    }

    // A first start has no account: the sign-up window is open. Ask for the
    // code, read it from the mail, activate; the window closes by itself.
    void SignUp(ProgramInstance& p, const Person& who)
    {
        ASSERT_TRUE(AwaitModal(p, "frmCadastro", "Marquelin - Cadastro"));
        ASSERT_TRUE(p.Act({"type", "frmCadastro/txtNome", who.name}));
        ASSERT_TRUE(p.Act({"type", "frmCadastro/txtEmail", who.email}));
        ASSERT_TRUE(p.Act({"click", "frmCadastro/cmdCriar"}));
        ASSERT_TRUE(AwaitModal(p, "QMessageBox", "Cadastro enviado. Confira o codigo no seu e-mail."));
        ASSERT_TRUE(p.Act({"modal-click", "OK"}));
        std::string code;
        ASSERT_TRUE(WaitFor([&] { return !(code = server_->LatestCode(who.email)).empty(); }))
            << "no activation code for " << who.email << " in the outbox";
        ASSERT_TRUE(AwaitModal(p, "frmCadastro", "Marquelin - Cadastro"));
        ASSERT_TRUE(p.Act({"type", "frmCadastro/txtCodigo", code}));
        ASSERT_TRUE(p.Act({"click", "frmCadastro/cmdAtivar"}));
        ASSERT_TRUE(AwaitModal(p, "QMessageBox", "Conta ativada neste computador."));
        ASSERT_TRUE(p.Act({"modal-click", "OK"}));
        ASSERT_TRUE(AwaitShown(p, "frmMain"));
        ASSERT_TRUE(AwaitText(p, "frmMain", "Marquelin - " + who.name));
    }

    // From the first start to a validated link showing the cliente's screen:
    // two displays and programs, sign-up, the code, the request, permission.
    void StartSession()
    {
        clienteDisplay_ = NewDisplay(kCliente.label);
        tecnicoDisplay_ = NewDisplay(kTecnico.label);
        ASSERT_TRUE(clienteDisplay_->Ready() && tecnicoDisplay_->Ready());
        cliente_ = NewProgram(kCliente.label, kCliente.label, *clienteDisplay_, Host::Cliente, clienteDesktop_);
        tecnico_ = NewProgram(kTecnico.label, kTecnico.label, *tecnicoDisplay_, Host::Tecnico);
        ASSERT_TRUE(cliente_->Start() && tecnico_->Start());
        Mark("two displays and programs up, drivers answering");
        ASSERT_NO_FATAL_FAILURE(SignUp(*cliente_, kCliente));
        ASSERT_NO_FATAL_FAILURE(SignUp(*tecnico_, kTecnico));

        ASSERT_TRUE(AwaitText(*cliente_, "frmMain/lblStatus", kReady));
        ASSERT_TRUE(AwaitWidget(*cliente_, "frmMain/txtCodigoReceber", [](const WidgetState& w) { return !w.text.empty(); },
                                "a code"));
        const std::string code = cliente_->Text("frmMain/txtCodigoReceber").text;
        // The painted screen goes up on the cliente's display once its own windows are there.
        screen_ = std::make_unique<XScreen>(clienteDisplay_->Name().c_str());
        ASSERT_TRUE(screen_->Ready()) << "cannot open " << clienteDisplay_->Name();
        PaintBlocks();

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
        ASSERT_TRUE(cliente_->Act({"click", "frmMain/cmdPermitir"}));
        ASSERT_TRUE(AwaitLog(*cliente_, "Resposta enviada."));
        ASSERT_TRUE(AwaitEnabled(*cliente_, "frmMain/cmdEncerrar", true));

        ASSERT_TRUE(AwaitLog(*cliente_, kLinked + " Transmissao iniciada."))
            << "--- tecnico log:\n" << tecnico_->Log() << "--- server log:\n" << server_->Log();
        ASSERT_TRUE(AwaitLog(*tecnico_, kLinked));
        ASSERT_TRUE(AwaitShown(*tecnico_, "frmViewer"));
    }

    // What the tecnico's viewer shows (in Png()) and where the remote picture sits in it.
    bool GrabViewer(QRect* picture)
    {
        const Answer a = tecnico_->Call({"grab", "frmViewer/picView", Png()});
        if (!Ok(a) || a.size() < 5)
            return false;
        *picture = QRect(std::stoi(a[1]), std::stoi(a[2]), std::stoi(a[3]), std::stoi(a[4]));
        return true;
    }

    // The viewer shows what the cliente's screen shows now.
    void CheckViewerShowsScreen()
    {
        std::string detail;
        QRect picture;
        const auto matches = [&] {
            return GrabViewer(&picture)
                && ShowsBlocks(QImage(QString::fromStdString(Png())), picture, rotation_, &detail);
        };
        ASSERT_TRUE(WaitFor(matches, kHangMs, 250)) << "the viewer does not show the cliente's screen: " << detail
                                                    << "\n--- tecnico log:\n" << tecnico_->Log();
        Mark("viewer shows the cliente's screen (" + detail.substr(0, detail.find(':')) + ")");
    }

    virtual QImage PaintBlocks()
    {
        return screen_->Paint([this](int x, int y) { return BlockColour(rotation_, x, y)->rgb(); });
    }

    // Where the next left click landed on the cliente's screen, and what the
    // next key typed there, as another client of its display sees them.
    virtual std::optional<QPoint> NextClick()
    {
        const auto press = screen_->Next(ButtonPress);
        return press && press->xbutton.button == 1 ? std::optional(QPoint(press->xbutton.x_root, press->xbutton.y_root))
                                                   : std::nullopt;
    }
    virtual std::string NextKey()
    {
        auto key = screen_->Next(KeyPress);
        return key ? XKeysymToString(XLookupKeysym(&key->xkey, 0)) : "";
    }

    // After a change of the cliente's screen, new frames reach the viewer.
    void CheckNewFramesArrive()
    {
        ++rotation_;
        PaintBlocks();
        ASSERT_NO_FATAL_FAILURE(CheckViewerShowsScreen());
    }

    // A click in the viewer, over a point of the cliente's screen, lands
    // there; a key typed in the viewer arrives there.
    void CheckInputLands()
    {
        QRect picture;
        ASSERT_TRUE(GrabViewer(&picture));
        const QPoint target(kScreenWidth * 5 / 8 + 37, kScreenHeight * 3 / 4 + 11);
        const double scale = static_cast<double>(picture.width()) / kScreenWidth;
        const int vx = picture.x() + static_cast<int>(std::lround(target.x() * scale));
        const int vy = picture.y() + static_cast<int>(std::lround(target.y() * scale));
        screen_->Pump();  // what arrived before
        screen_->RaiseAndFocus();
        ASSERT_TRUE(tecnico_->Act({"click", "frmViewer/picView", std::to_string(vx), std::to_string(vy)}));
        const std::optional<QPoint> at = NextClick();
        ASSERT_TRUE(at) << "no left click reached the cliente's screen";
        // The view-to-screen mapping rounds once each way: within a pixel or two.
        const QPoint off = *at - target;
        EXPECT_TRUE(std::abs(off.x()) <= 2 && std::abs(off.y()) <= 2) << "press at " << at->x() << "," << at->y();
        Mark("click landed on the cliente's screen at " + std::to_string(at->x()) + "," + std::to_string(at->y()));

        ASSERT_TRUE(tecnico_->Act({"key", "frmViewer/picView", "A"}));
        EXPECT_EQ(NextKey(), "a") << "the key typed on the cliente's screen";
    }

    std::string Png() const { return root_.path() + "/picView.png"; }
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
        ASSERT_TRUE(p.process.WaitExit(kHangMs)) << p.label() << " did not end after Sair";
        EXPECT_EQ(p.process.ExitCode(), 0) << p.label() << " output:\n" << p.process.Output();
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
        ASSERT_TRUE(AwaitShown(*tecnico_, "frmViewer", false));
        ASSERT_TRUE(AwaitWidget(*cliente_, "frmMain/txtCodigoReceber",
                                [&](const WidgetState& w) { return !w.text.empty() && w.text != oldCode; },
                                "a new code"));
        ASSERT_TRUE(AwaitText(*cliente_, "frmMain/lblStatus", kReady));
        ASSERT_TRUE(AwaitEnabled(*cliente_, "frmMain/cmdEncerrar", false));
        EXPECT_TRUE(Contains(server_->Log(), "/api/encerrar_sessao.php 200"));
        EXPECT_LE(Occurrences(cliente_->Log(), "Tela remota: "), 1) << "a screen source's trouble is told once";
        ASSERT_NO_FATAL_FAILURE(Quit(*cliente_));
        ASSERT_NO_FATAL_FAILURE(Quit(*tecnico_));
    }

    // Declared in the order of their set-up, so they end in reverse: the
    // programs before their displays, all before the server and the folder.
    testing_support::TempDir root_{"marquelin-e2e"};
    bool cluster_ = false;
    std::unique_ptr<testing_support::Service> server_;
    std::unique_ptr<XvfbDisplay> clienteDisplay_, tecnicoDisplay_;
    std::unique_ptr<ProgramInstance> cliente_, tecnico_;
    std::unique_ptr<XScreen> screen_;  // on the cliente's display
    ChildProcess::Environment clienteDesktop_;  // the cliente's desktop session, when not its X display
    int rotation_ = 0;
};

using namespace std::chrono_literals;

constexpr long long kRssGrowthLimitKb = 64 * 1024;
constexpr int kTecnicoWindowBytes = 64 * 1024;

long long ResidentKb(pid_t pid)
{
    std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
    long long pages = 0, resident = -1;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The route a session takes: the first target (the office's public address
// and its port forward); the alternative (the local address) at once when
// the office refuses the port, well before the cliente's 5 s move to the
// relay; the relay, reached by the route's own waits (no loss on the way),
// when both go nowhere.
struct Route {
    const char* name;
    const char* fault;  // on the router; none for the first target
    bool relay;
    bool cluster = false;  // the server host runs ServiceCluster
};

class Routes : public SupportSession, public ::testing::WithParamInterface<Route> {
protected:
    Routes() { cluster_ = GetParam().cluster; }
};

// Through the cluster the two programs' requests were served by different
// web nodes (whichever way the balancer's turns fell), the session's Joins met
// on one relay node, and sessions spread over both: Joins of made-up
// sessions, each refused by the node its id leads to.
void CheckClusterRoutes(const ServiceCluster& cluster)
{
    const std::set<int> cliente = cluster.NodesLogging({0, 1}, std::string("http: ") + kClientePublicAddress + " ");
    const std::set<int> tecnico = cluster.NodesLogging({0, 1}, "http: 192.0.2.20 ");
    EXPECT_TRUE(!cliente.empty() && !tecnico.empty() && (cliente != tecnico || cliente.size() == 2)) << cluster.Log();
    const std::string logs = cluster.Log(), paired = "relay: paired session=";
    const std::size_t at = logs.find(paired) + paired.size();
    ASSERT_NE(logs.find(paired), std::string::npos) << logs;
    const std::string sessaoId = logs.substr(at, logs.find(' ', at) - at);
    EXPECT_EQ(cluster.NodesLogging({2, 3}, "session=" + sessaoId + " ").size(), 1u) << logs;

    std::set<int> reached;
    for (char id = '0'; id <= '9'; ++id) {
        const std::string sessao = std::string("spread-") + id;
        for (const char* papel : {"cliente", "tecnico"}) {
            QTcpSocket join;
            join.connectToHost(kServerAddress, ServiceCluster::kRelayPort);
            ASSERT_TRUE(join.waitForConnected(kHangMs));
            join.write(QByteArray::fromStdString("JOIN|" + sessao + "|k|" + papel + "|marquelin-relay-v1\n"));
            while (join.waitForReadyRead(kHangMs) && !join.canReadLine()) {}
            ASSERT_EQ(join.readLine().toStdString(), "ERR|sessao nao autorizada\n");
        }
        const std::set<int> nodes = cluster.NodesLogging({2, 3}, "session=" + sessao + " ");
        EXPECT_EQ(nodes.size(), 1u) << sessao << " reached " << nodes.size() << " relay nodes";
        reached.insert(nodes.begin(), nodes.end());
    }
    EXPECT_EQ(reached.size(), 2u) << "ten sessions all on one relay node:\n" << cluster.Log();
    Mark("requests on both web nodes; session " + sessaoId + " paired on one relay node; ten more spread over both");
}

TEST_P(Routes, FromSignUpToDisconnect)
{
    const Route& route = GetParam();
    if (route.fault && !InLab())
        GTEST_SKIP() << LabProblem();
    const NetworkFault fault(route.fault);
    ASSERT_TRUE(!route.fault || fault.Active());
    ASSERT_NO_FATAL_FAILURE(StartSession());
    const std::string tecnicoLog = tecnico_->Log();
    EXPECT_EQ(Contains(tecnicoLog, "Tentando outra rota de conexao."), route.fault != nullptr) << tecnicoLog;
    EXPECT_FALSE(Contains(tecnicoLog, "Tela sem atualizacao")) << tecnicoLog;
    for (ProgramInstance* p : {cliente_.get(), tecnico_.get()})
        EXPECT_EQ(Contains(p->Log(), route.relay ? "Rota segura pronta." : "Rota segura"), route.relay) << p->Log();
    EXPECT_EQ(RelayWasUsed(server_->Log()), route.relay) << server_->Log();
    if (InLab()) {
        EXPECT_TRUE(Contains(server_->Log(), std::string("http: ") + kClientePublicAddress + " "))
            << "the service should see the cliente from its office's public address:\n" << server_->Log();
    }
    Mark(std::string("linked by the route: ") + route.name);
    if (route.cluster) {
        ASSERT_NO_FATAL_FAILURE(CheckClusterRoutes(static_cast<const ServiceCluster&>(*server_)));
    }
    ASSERT_NO_FATAL_FAILURE(CheckViewerShowsScreen());
    ASSERT_NO_FATAL_FAILURE(CheckInputLands());
    if (route.relay) {
        // The relayed link comes back on the restarted store's session and key.
        const int links = ValidatedLinks();
        server_->Kill9();
        ASSERT_TRUE(server_->Running());
        Mark("server and relay killed (-9) and started again");
        ASSERT_TRUE(AwaitLog(*cliente_, "Conexao de tela perdida. Tentando recuperar automaticamente."));
        ASSERT_TRUE(AwaitLog(*tecnico_, "Conexao de tela perdida. Tentando recuperar automaticamente."));
        ASSERT_NO_FATAL_FAILURE(AwaitRebuilt(links, "relayed link rebuilt, new frames on the viewer"));
    }
    ASSERT_NO_FATAL_FAILURE(EndSession());
}

INSTANTIATE_TEST_SUITE_P(E2e, Routes,
                         ::testing::Values(Route{"FirstTarget", nullptr, false},
                                           Route{"Alternative", kPortForwardMissing, false},
                                           Route{"Relay", kDirectPortBlocked, true},
                                           Route{"RelayThroughCluster", kDirectPortBlocked, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SupportSession, SecondCopyShowsItsMessageAndExitsWithoutTheService)
{
    const std::unique_ptr<XvfbDisplay> display = NewDisplay("pc");
    ASSERT_TRUE(display->Ready());
    const std::unique_ptr<ProgramInstance> first = NewProgram("primeira", "pc", *display, Host::Cliente);
    ASSERT_TRUE(first->Start());
    ASSERT_TRUE(AwaitModal(*first, "frmCadastro", "Marquelin - Cadastro"));
    ASSERT_TRUE(Contains(server_->Log(), "/versao.php")) << "the first copy should have checked its version";

    const std::size_t logBefore = server_->Log().size();
    const std::unique_ptr<ProgramInstance> second = NewProgram("segunda", "pc", *display, Host::Cliente);
    ASSERT_TRUE(second->Start());
    ASSERT_TRUE(AwaitModal(*second, "QMessageBox", "O Marquelin ja esta aberto neste computador."));
    ASSERT_TRUE(second->Act({"modal-click", "OK"}));
    ASSERT_TRUE(second->process.WaitExit(kHangMs)) << "the second copy did not end";
    EXPECT_EQ(second->process.ExitCode(), 0) << second->process.Output();
    Mark("second copy showed its message and ended");
    const std::string after = server_->Log().substr(logBefore);
    EXPECT_FALSE(Contains(after, "http: ")) << "the second copy contacted the service:\n" << after;

    // The first copy is untouched: still in its sign-up window, and it closes normally.
    ASSERT_TRUE(AwaitModal(*first, "frmCadastro", "Marquelin - Cadastro"));
    ASSERT_TRUE(first->Act({"click", "frmCadastro/cmdFechar"}));
    ASSERT_TRUE(AwaitShown(*first, "frmMain"));
    ASSERT_NO_FATAL_FAILURE(Quit(*first));
}

// A direct session goes on without the service and re-registers once it is
// back; a cut cable between the two computers is noticed and healed.
TEST_F(SupportSession, DirectSessionOutlivesTheServersRestartAndACutCable)
{
    if (!InLab())
        GTEST_SKIP() << LabProblem();
    ASSERT_NO_FATAL_FAILURE(StartSession());
    ASSERT_NO_FATAL_FAILURE(CheckViewerShowsScreen());
    server_->Stop();
    ASSERT_NO_FATAL_FAILURE(CheckNewFramesArrive());
    std::this_thread::sleep_for(5s);  // the outage lasts a few failed polls and registrations on both sides
    ASSERT_NO_FATAL_FAILURE(CheckNewFramesArrive());
    Mark("the screen kept flowing without the service");
    const std::size_t logBefore = server_->Log().size();
    server_->Start();
    ASSERT_TRUE(server_->Running());
    const auto renewed = [&] { return Contains(server_->Log().substr(logBefore), "/api/registrar_conexao.php 200"); };
    ASSERT_TRUE(WaitFor(renewed, kHangMs, 250)) << server_->Log();
    Mark("the cliente's registration renewed on the restarted server");
    EXPECT_FALSE(Contains(tecnico_->Log(), "Sessao encerrada")) << tecnico_->Log();

    const int links = ValidatedLinks();
    NetworkFault cut(kClienteTecnicoCut);
    ASSERT_TRUE(cut.Active());
    ASSERT_TRUE(AwaitLog(*tecnico_, "Tela sem atualizacao. Tentando reconectar."));
    std::this_thread::sleep_for(3s);  // the cable stays out while the tecnico tries again
    cut.Lift();
    ASSERT_NO_FATAL_FAILURE(AwaitRebuilt(links, "link rebuilt, new frames on the viewer"));
    ASSERT_NO_FATAL_FAILURE(EndSession());
}

TEST_F(SupportSession, TechnicianThatStopsReading)
{
    if (!InLab())
        GTEST_SKIP() << LabProblem();
    ASSERT_TRUE(CapReceiveBuffer(Host::Tecnico, kTecnicoWindowBytes));
    ASSERT_NO_FATAL_FAILURE(StartSession());
    ASSERT_NO_FATAL_FAILURE(CheckViewerShowsScreen());
    // Once the small window is full nothing completes: a stalled frame is written off and the sharpness lowered.
    const auto level = [&] { return std::atoi(cliente_->Text("frmMain/scrNitidez").text.c_str()); };
    const long long rssBefore = ResidentKb(cliente_->process.pid());
    ASSERT_EQ(kill(tecnico_->process.pid(), SIGSTOP), 0);
    Mark("tecnico frozen (SIGSTOP), cliente at sharpness level " + std::to_string(level()) + ", "
         + std::to_string(rssBefore / 1024) + " MiB");
    long long rssPeak = rssBefore;
    int highest = level();
    const auto lowered = [&] {
        rssPeak = std::max(rssPeak, ResidentKb(cliente_->process.pid()));
        const int now = level();
        highest = std::max(highest, now);
        return now < highest;
    };
    EXPECT_TRUE(WaitFor(lowered, kHangMs, 250)) << "no write-off lowered the sharpness\n" << cliente_->Log();
    Mark("cliente lowered the sharpness behind the stalled frames: " + std::to_string(highest) + " -> " + std::to_string(level()));
    WaitFor([&] { lowered(); return false; }, 10000, 250);  // watches the memory 10 s more
    Mark("cliente peak " + std::to_string(rssPeak / 1024) + " MiB over 10 s more of a frozen tecnico");
    EXPECT_LE(rssPeak - rssBefore, kRssGrowthLimitKb) << "the cliente's memory grew while nobody read";
    ASSERT_EQ(kill(tecnico_->process.pid(), SIGCONT), 0);
    ASSERT_NO_FATAL_FAILURE(CheckNewFramesArrive());
    ASSERT_NO_FATAL_FAILURE(EndSession());
}

// The cliente on a GNOME Wayland desktop, its program's windows on an X
// display as XWayland would hold them: the desktop portal shares the screen
// once the desktop's consent dialog is answered, and a native window there
// shows the blocks. Then the desktop ends the stream: the remote screen
// stops as when a capture fails, and the session still ends well.
class WaylandCliente : public SupportSession {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(SupportSession::SetUp());
        if (!gnome_.Ready())
            GTEST_SKIP() << "the headless GNOME desktop did not start:\n" << gnome_.Log();
        const auto& env = gnome_.Environment();
        clienteDesktop_ = {{"WAYLAND_DISPLAY", env.at("XDG_RUNTIME_DIR") + "/" + env.at("WAYLAND_DISPLAY")},
                           {"XDG_SESSION_TYPE", "wayland"}};
        rotation_ = 1;  // no blue block where the answerer looks for the dialog's accent
        ASSERT_TRUE(gnome_.AnswerNextDialog(true)) << gnome_.Log();
    }

    QImage PaintBlocks() override
    {
        const QImage blocks = SupportSession::PaintBlocks();
        const std::string file = root_.path() + "/blocks.bgrx";
        std::ofstream(file).write(reinterpret_cast<const char*>(blocks.constBits()), blocks.sizeInBytes());
        window_ = std::make_unique<testing_support::PatternWindow>(QString::fromStdString(file));
        EXPECT_TRUE(window_->Shown()) << "the native window did not show";
        return blocks;
    }
    std::optional<QPoint> NextClick() override
    {
        const QStringList motion = window_->Next("motion ").split(' ');
        if (window_->Next("button ") != "button 272 1")
            return std::nullopt;
        return QPoint(motion.value(1).toInt(), motion.value(2).toInt());
    }
    std::string NextKey() override { return window_->Next("key ").mid(4).toStdString(); }

    testing_support::HeadlessGnome gnome_;
    std::unique_ptr<testing_support::PatternWindow> window_;
};

TEST_F(WaylandCliente, SharesItsDesktopUntilTheDesktopEndsTheStream)
{
    ASSERT_NO_FATAL_FAILURE(StartSession());
    ASSERT_NO_FATAL_FAILURE(CheckViewerShowsScreen());
    ASSERT_NO_FATAL_FAILURE(CheckInputLands());
    gnome_.EndSharing();
    ASSERT_TRUE(AwaitLog(*cliente_, "Tela remota: the screen stream ended"));
    ASSERT_NO_FATAL_FAILURE(EndSession());
}

}  // namespace
}  // namespace e2e

// The lab network first, while the process has a single thread (a namespace
// change affects only the calling thread); then an application object for
// the driver sockets.
int main(int argc, char** argv)
{
    e2e::EnterLab();
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
