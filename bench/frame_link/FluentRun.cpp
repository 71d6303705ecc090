#include "FluentRun.h"

#include "BenchProcesses.h"
#include "ChangingDesktop.h"
#include "CountingForwarder.h"
#include "ScreenProbe.h"
#include "ShapedLink.h"
#include "core/session/SessionRecord.h"
#include "load/ProcessMeter.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <thread>

namespace framelink {
namespace {

constexpr int kWidthA = 1600;
constexpr int kHeightA = 900;
constexpr const char* kScreenA = "1600x900x24";
constexpr const char* kScreenB = "1920x1080x24";
constexpr int kChangesPerSecond = 30;
constexpr int kOneWayDelayMs = 20;
// The highest sharpness and the fastest updates, held as a technician's choice holds them.
constexpr const char* kOurLevels = "4,5";
// The viewer's highest JPEG quality; the encodings are its order for a
// remote server, which it would not use on loopback (raw first there).
constexpr const char* kViewerOptions =
    "-viewonly -quality 9 -encodings 'copyrect tight hextile zlib corre rre raw'";
constexpr int kOurPort = 50555;
constexpr int kPeerPort = 50557;
constexpr double kWindowNs = 10e9;  // each end of the changing screen
// The pointer rests in the bottom-right corner: each program shows it its own way.
const QRect kPointerCorner(kWidthA - 32, kHeightA - 32, 32, 32);

struct Where {
    std::string name;             // "loopback" or "shaped"
    ShapedLink* link = nullptr;   // null: loopback, each link counted by a forwarder
    std::string folder;
    std::string displayA;
    std::string displayB;
    std::string self;
    int versao = 2;
    int changeSeconds = 30;
    int idleSeconds = 20;

    std::vector<std::string> In(bool sideA, std::vector<std::string> argv) const
    {
        if (!link)
            return argv;
        std::vector<std::string> in = ShapedLink::RunIn(sideA);
        in.insert(in.end(), argv.begin(), argv.end());
        return in;
    }
    std::string Tag(const char* system) const { return folder + "/" + name + "-" + system; }
};

// What one system's run left.
struct Figures {
    std::string problem;  // empty: the run finished
    std::int64_t change = 0, idle = 0, end = 0;
    std::map<std::int64_t, std::int64_t> painted;  // stamp -> ns
    ViewerProbe::Shown shown;
    std::vector<Sample> samples;
    QImage truth;
    QImage picture;
};

// One program under test: its sender captures display A on side A, its
// receiver shows the picture on side B.
class System {
public:
    virtual ~System() = default;
    virtual const char* Name() const = 0;  // its logs' names start with it
    // Until the link is up and a first picture shown; false with why.
    virtual bool Start(const Where& where, std::string* problem) = 0;
    // Every stamp shown, in order, and the last picture; then everything
    // ends. Also after a failed Start.
    virtual void Finish(Figures& figures) = 0;
    virtual pid_t Sender() const = 0;

    double LinkBytes() const
    {
        if (forwarder_)
            return static_cast<double>(forwarder_->Bytes());
        return link_ ? static_cast<double>(link_->BytesAToB() + link_->BytesBToA()) : 0;
    }

protected:
    // The address and port the receiver connects to for a sender listening on
    // `port`: on loopback a forwarder's, which counts the bytes.
    bool Route(const Where& where, int port, std::string* address, int* routed, std::string* problem)
    {
        link_ = where.link;
        *address = where.link ? ShapedLink::kAddressA : "127.0.0.1";
        *routed = port;
        if (where.link)
            return true;
        forwarder_ = CountingForwarder::Open(port, problem);
        if (forwarder_)
            *routed = forwarder_->Port();
        return forwarder_ != nullptr;
    }
    void EndRoute() { forwarder_.reset(); }

private:
    ShapedLink* link_ = nullptr;
    std::unique_ptr<CountingForwarder> forwarder_;
};

// Our two headless main windows: the cliente captures display A, the
// tecnico logs each stamp its preview is given.
class Ours final : public System {
public:
    const char* Name() const override { return "ours"; }
    pid_t Sender() const override { return cliente_; }

    bool Start(const Where& where, std::string* problem) override
    {
        const std::string tag = where.Tag(Name());
        tecnicoLog_ = tag + "-tecnico.log";
        picturePath_ = tag + "-tecnico.png";
        const int port = where.link ? kOurPort : FreeLoopbackPort();
        const std::string versao = std::to_string(where.versao);
        cliente_ = Spawn(where.In(true, {where.self, "--role", "cliente", "--no-paint", "--port", std::to_string(port),
                                         "--log", tag + "-cliente.log", "--versao", versao, "--levels", kOurLevels}));
        if (!WaitForReady(tag + "-cliente.log", cliente_)) {
            *problem = "our cliente did not start";
            return false;
        }
        std::string address;
        int routed = 0;
        if (!Route(where, port, &address, &routed, problem))
            return false;
        tecnico_ = Spawn(where.In(false, {where.self, "--role", "tecnico", "--peer", address, "--port",
                                          std::to_string(routed), "--log", tecnicoLog_, "--versao", versao,
                                          "--picture", picturePath_, "--change", std::to_string(where.changeSeconds),
                                          "--idle", std::to_string(where.idleSeconds)}));
        if (!WaitForLine(tecnicoLog_, "shown", tecnico_)) {
            *problem = "our tecnico showed no picture";
            return false;
        }
        return true;
    }

    void Finish(Figures& figures) override
    {
        // The link ends with the cliente: the tecnico keeps its last picture and ends.
        Stop(cliente_);
        for (int i = 0; i < 100 && waitpid(tecnico_, nullptr, WNOHANG) != tecnico_; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Stop(tecnico_);
        cliente_ = tecnico_ = -1;
        EndRoute();
        for (const auto& line : ReadLog(tecnicoLog_))
            if (line[0] == "shown" && line.size() == 3)
                figures.shown.emplace_back(std::stoll(line[1]), std::stoll(line[2]));
        figures.picture.load(QString::fromStdString(picturePath_));
    }

private:
    pid_t cliente_ = -1;
    pid_t tecnico_ = -1;
    std::string tecnicoLog_;
    std::string picturePath_;
};

// x11vnc on display A, the viewer on display B, a probe watching the viewer's window.
class Peer final : public System {
public:
    const char* Name() const override { return "peer"; }
    pid_t Sender() const override { return server_; }

    bool Start(const Where& where, std::string* problem) override
    {
        const std::string tag = where.Tag(Name());
        const int port = where.link ? kPeerPort : FreeLoopbackPort();
        const std::string serverLog = tag + "-x11vnc.log";
        probeLog_ = tag + "-probe.log";
        server_ = Spawn(where.In(true, {"sh", "-c",
                                        "exec x11vnc -display " + where.displayA + " -rfbport " + std::to_string(port)
                                            + " -nopw -forever -shared" + (where.link ? "" : " -localhost") + " >"
                                            + serverLog + " 2>&1"}));
        if (!WaitForLine(serverLog, "PORT=", server_)) {
            *problem = "x11vnc did not start (see " + serverLog + ")";
            return false;
        }
        std::string address;
        int routed = 0;
        if (!Route(where, port, &address, &routed, problem))
            return false;
        viewer_ = Spawn(where.In(false, {"sh", "-c",
                                         "exec xtightvncviewer -display " + where.displayB + " " + kViewerOptions + " "
                                             + address + "::" + std::to_string(routed) + " >" + tag + "-viewer.log 2>&1"}));
        probe_ = ViewerProbe::Open(where.displayB, {kWidthA, kHeightA}, problem);
        for (int i = 0; probe_ && i < 150 && probe_->ShownSoFar() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!probe_ || probe_->ShownSoFar() == 0) {
            *problem = probe_ ? "the viewer showed no stamp" : *problem;
            return false;
        }
        return true;
    }

    void Finish(Figures& figures) override
    {
        if (probe_) {
            figures.shown = probe_->Finish();
            if (std::FILE* log = std::fopen(probeLog_.c_str(), "w")) {
                for (const auto& [stamp, at] : figures.shown)
                    std::fprintf(log, "shown %lld %lld\n", static_cast<long long>(stamp), static_cast<long long>(at));
                std::fclose(log);
            }
            figures.picture = probe_->Grab();
            probe_.reset();
        }
        Stop(viewer_);
        Stop(server_);
        viewer_ = server_ = -1;
        EndRoute();
    }

private:
    pid_t server_ = -1;
    pid_t viewer_ = -1;
    std::unique_ptr<ViewerProbe> probe_;
    std::string probeLog_;
};

void ReadPainterLog(const std::string& path, Figures& f)
{
    for (const auto& line : ReadLog(path)) {
        if (line[0] == "painted" && line.size() == 3)
            f.painted.emplace(std::stoll(line[1]), std::stoll(line[2]));
        else if (line[0] == "phase" && line.size() == 3)
            (line[1] == "change" ? f.change : line[1] == "idle" ? f.idle : f.end) = std::stoll(line[2]);
    }
}

// The desktop on display A, the system's link, the changing then idle
// screen with the link's bytes and the sender's CPU sampled every 100 ms.
Figures RunSystem(System& system, const Where& where)
{
    Figures f;
    const std::string painterLog = where.Tag(system.Name()) + "-desktop.log";
    const pid_t painter = Spawn({where.self, "--role", "desktop", "--log", painterLog, "--change",
                                 std::to_string(where.changeSeconds), "--idle", std::to_string(where.idleSeconds),
                                 "--per-second", std::to_string(kChangesPerSecond)});
    if (!WaitForReady(painterLog, painter)) {
        f.problem = "the desktop did not start";
    } else if (system.Start(where, &f.problem)) {
        // The first whole picture settles before the screen starts changing.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        auto sample = [&] {
            f.samples.push_back({MonotonicNs(), system.LinkBytes(), load::ReadProcessUse(system.Sender()).cpuSeconds});
        };
        sample();
        kill(painter, SIGUSR1);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(where.changeSeconds + where.idleSeconds);
        while (std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            sample();
        }
        if (!WaitForLine(painterLog, "done", painter))
            f.problem = "the desktop did not finish";
        sample();
        f.truth = GrabDisplay(where.displayA);
        f.truth.save(QString::fromStdString(where.Tag(system.Name()) + "-screen-a.png"), "PNG");
    }
    system.Finish(f);
    Stop(painter);
    ReadPainterLog(painterLog, f);
    return f;
}

struct Result {
    double framesPerSecond = NAN;
    double meanMs = NAN, p90Ms = NAN;
    double firstMedianMs = NAN, lastMedianMs = NAN;
    bool grew = false;
    double changingKBs = NAN, idleKBs = NAN;
    double psnr = NAN;
    double cpuChanging = NAN, cpuIdle = NAN;
    double paintedPerSecond = NAN;
};

double Mean(const std::vector<double>& values)
{
    double sum = 0;
    for (double v : values)
        sum += v;
    return values.empty() ? NAN : sum / static_cast<double>(values.size());
}

Result Summarize(const Figures& f)
{
    Result r;
    if (!f.problem.empty() || f.change == 0 || f.idle <= f.change || f.end <= f.idle)
        return r;
    const double changeSeconds = static_cast<double>(f.idle - f.change) / 1e9;
    // The stamps shown, each newer than the one before and painted before it
    // was shown: anything else was read while the viewer was repainting the
    // stamp, half old and half new.
    ViewerProbe::Shown shown;
    for (const auto& entry : f.shown) {
        const auto painted = f.painted.find(entry.first);
        if (painted != f.painted.end() && painted->second <= entry.second
            && (shown.empty() || entry.first > shown.back().first))
            shown.push_back(entry);
    }
    int framesShown = 0;
    for (const auto& entry : shown) {
        const std::int64_t paintedAt = f.painted.at(entry.first);
        framesShown += paintedAt >= f.change && paintedAt < f.idle;
    }
    // A change is visible once a picture of it or of a later change is shown,
    // so the changes a sender skips count their wait for the next picture.
    std::vector<double> all, first, last;
    for (const auto& [stamp, paintedAt] : f.painted) {
        if (paintedAt < f.change || paintedAt >= f.idle)
            continue;
        const auto visible = std::lower_bound(shown.begin(), shown.end(), stamp,
                                              [](const auto& entry, std::int64_t s) { return entry.first < s; });
        if (visible == shown.end())
            continue;
        const double ms = static_cast<double>(visible->second - paintedAt) / 1e6;
        all.push_back(ms);
        if (paintedAt < f.change + kWindowNs)
            first.push_back(ms);
        if (paintedAt >= f.idle - kWindowNs)
            last.push_back(ms);
    }
    r.paintedPerSecond = static_cast<double>(f.painted.size()) / changeSeconds;
    r.framesPerSecond = framesShown / changeSeconds;
    r.meanMs = Mean(all);
    r.p90Ms = Quantile(all, 0.9);
    r.firstMedianMs = Quantile(first, 0.5);
    r.lastMedianMs = Quantile(last, 0.5);
    r.grew = r.lastMedianMs > std::max(r.firstMedianMs * 1.25, r.firstMedianMs + 100);
    r.changingKBs = Between(f.samples, &Sample::bytes, f.change, f.idle) / changeSeconds / 1000;
    // The idle screen from 2 s after its start, when the last change has surely arrived.
    const std::int64_t idleFrom = f.idle + 2000000000LL;
    const double idleSeconds = static_cast<double>(f.end - idleFrom) / 1e9;
    r.idleKBs = Between(f.samples, &Sample::bytes, idleFrom, f.end) / idleSeconds / 1000;
    r.cpuChanging = 100 * Between(f.samples, &Sample::cpuSeconds, f.change, f.idle) / changeSeconds;
    r.cpuIdle = 100 * Between(f.samples, &Sample::cpuSeconds, idleFrom, f.end) / idleSeconds;
    r.psnr = Psnr(f.truth, f.picture, kPointerCorner);
    return r;
}

std::string PsnrText(const Figures& f, double psnr)
{
    char text[64];
    if (std::isinf(psnr))
        return "identical";
    if (std::isnan(psnr)) {
        std::snprintf(text, sizeof text, "n/a (picture %dx%d)", f.picture.width(), f.picture.height());
        return text;
    }
    std::snprintf(text, sizeof text, "%.1f", psnr);
    return text;
}

const char* Met(bool met) { return met ? "met" : "not met"; }

void PrintGoals(const Where& where, const Result& ours, const Result& peer)
{
    std::printf("\n| Goal (%s) | ours | VNC peer | ours: |\n|---|---|---|---|\n", where.name.c_str());
    if (!where.link) {
        std::printf("| at least 20 frames shown per second | %.1f | %.1f | %s |\n", ours.framesPerSecond,
                    peer.framesPerSecond, Met(ours.framesPerSecond >= 20));
        std::printf("| a change visible after at most 80 ms on average | %.0f ms | %.0f ms | %s |\n", ours.meanMs,
                    peer.meanMs, Met(ours.meanMs <= 80));
        std::printf("| an idle screen at most 20 kB/s | %.1f kB/s | %.1f kB/s | %s |\n", ours.idleKBs, peer.idleKBs,
                    Met(ours.idleKBs <= 20));
        std::printf("| PSNR at 1:1 at least 40 dB at the highest sharpness | %.1f dB | %.1f dB | %s |\n", ours.psnr,
                    peer.psnr, Met(ours.psnr >= 40));
        std::printf("| sender CPU no more than the peer's | %.1f %% | %.1f %% | %s |\n", ours.cpuChanging,
                    peer.cpuChanging, Met(ours.cpuChanging <= peer.cpuChanging));
        return;
    }
    std::printf("| no growing delay (median, last 10 s against first 10 s) | %.0f -> %.0f ms | %.0f -> %.0f ms | %s |\n",
                ours.firstMedianMs, ours.lastMedianMs, peer.firstMedianMs, peer.lastMedianMs,
                Met(!std::isnan(ours.lastMedianMs) && !ours.grew));
    std::printf("| a change visible after at most 500 ms at p90 | %.0f ms | %.0f ms | %s |\n", ours.p90Ms, peer.p90Ms,
                Met(ours.p90Ms <= 500));
}

void RunCase(const Where& where)
{
    Ours ours;
    Peer peer;
    const Figures oursFigures = RunSystem(ours, where);
    const Figures peerFigures = RunSystem(peer, where);
    std::printf("\n%s:\n\n| System | frames shown/s (painted/s) | change visible after, mean / p90 (ms) | median, "
                "first / last 10 s (ms) | link kB/s changing | link kB/s idle | PSNR at 1:1 (dB) | sender CPU %%, "
                "changing / idle |\n|---|---|---|---|---|---|---|---|\n",
                where.link ? "Shaped link" : "Loopback");
    Result results[2];
    int i = 0;
    for (const auto& [name, figures] : {std::pair{"ours", &oursFigures}, std::pair{"VNC peer", &peerFigures}}) {
        if (!figures->problem.empty()) {
            std::printf("| %s | did not run: %s |\n", name, figures->problem.c_str());
            ++i;
            continue;
        }
        const Result& r = results[i++] = Summarize(*figures);
        std::printf("| %s | %.1f (%.1f) | %.0f / %.0f | %.0f / %.0f%s | %.1f | %.2f | %s | %.1f / %.1f |\n", name,
                    r.framesPerSecond, r.paintedPerSecond, r.meanMs, r.p90Ms, r.firstMedianMs, r.lastMedianMs,
                    r.grew ? " (grows)" : "", r.changingKBs, r.idleKBs, PsnrText(*figures, r.psnr).c_str(),
                    r.cpuChanging, r.cpuIdle);
    }
    PrintGoals(where, results[0], results[1]);
    std::fflush(stdout);
}

}  // namespace

int RunFluent(const FluentOptions& o)
{
    char folderTemplate[] = "/tmp/fluent-screen-XXXXXX";
    Where where;
    where.folder = mkdtemp(folderTemplate) ? folderTemplate : "/tmp";
    where.self = SelfPath();
    where.versao = o.versao > 0 ? o.versao : session::kVersaoLinkPropria;
    where.changeSeconds = o.changeSeconds;
    where.idleSeconds = o.idleSeconds;
    const pid_t screenA = StartXvfb(where.folder + "/a", kScreenA, &where.displayA);
    const pid_t screenB = screenA > 0 ? StartXvfb(where.folder + "/b", kScreenB, &where.displayB) : -1;
    if (screenB <= 0) {
        std::fprintf(stderr, "fluent: Xvfb did not start\n");
        Stop(screenA);
        return 1;
    }
    // Our cliente and x11vnc capture the supported desktop's display.
    setenv("DISPLAY", where.displayA.c_str(), 1);
    std::printf("Fluent screen: display A %s (the supported desktop, a %dx%d region changing %d times a second for %d s, "
                "then idle %d s), display B %s; ours on link version %d at the highest sharpness and update speed; "
                "x11vnc with xtightvncviewer %s; logs in %s\n",
                kScreenA, ChangingDesktop::kRegionWidth, ChangingDesktop::kRegionHeight, kChangesPerSecond,
                o.changeSeconds, o.idleSeconds, kScreenB, where.versao, kViewerOptions, where.folder.c_str());
    int status = 0;
    for (const std::string& name : o.cases) {
        where.name = name;
        std::unique_ptr<ShapedLink> link;
        if (name == "shaped") {
            // The namespaces are entered once; a later case runs in them too.
            static bool entered = false;
            std::string problem;
            if (!entered && !(entered = ShapedLink::EnterPrivateNamespaces(&problem))) {
                std::fprintf(stderr, "fluent: %s\n", problem.c_str());
                status = 1;
                continue;
            }
            link = ShapedLink::Open(o.rateKbit, kOneWayDelayMs, &problem);
            if (!link) {
                std::fprintf(stderr, "fluent: %s\n", problem.c_str());
                status = 1;
                continue;
            }
            std::printf("\n(shaped: %d kbit/s from the sender's side, %d ms round trip; bytes are IP bytes both ways)\n",
                        o.rateKbit, 2 * kOneWayDelayMs);
        } else if (name != "loopback") {
            std::fprintf(stderr, "fluent: no case named %s\n", name.c_str());
            status = 1;
            continue;
        } else {
            std::printf("\n(loopback: bytes are TCP payload both ways through a counting forwarder)\n");
        }
        where.link = link.get();
        RunCase(where);
    }
    Stop(screenB);
    Stop(screenA);
    return status;
}

}  // namespace framelink
