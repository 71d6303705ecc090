// Frames over a shaped link: the supported side's real link code streams a
// changing, then an idle, screen to the technician's in another network
// namespace, directly or through the relay, over 1, 5 and 20 Mbit/s with a
// 40 ms round trip. Prints, per case, the capture-to-display delay (median
// and 95th percentile over the first and the last 10 s of the changing
// screen), frames per second and bytes per second on the slow direction,
// then the bytes per second of the idle screen, each beside its goal.
//
//   frame_link_bench [--rates 1000,5000,20000] [--routes direct,relay-tecnico,relay-cliente]
//                    [--change 60] [--idle 60]
// Needs root (namespaces, tun devices, tc).
//
//   frame_link_bench --versions [--change 60]
// Link version 1 (plain) against version 2 (TLS) on unshaped loopback, one
// after the other: the CPU each side spends per frame while the screen
// changes, and the time from the technician's connect to its first picture.
//
//   frame_link_bench --fluent [--versao 3] [--seconds 30] [--idle 20] [--cases loopback,shaped] [--rates 5000]
// Our sides beside x11vnc and a viewer on the same two Xvfb displays (see
// FluentRun.h): frames shown per second, the delay from a change painted to
// its showing, link bytes of a changing and an idle screen, PSNR at 1:1 and
// the sender's CPU, on loopback and over a shaped link (needs root).
#include "BenchProcesses.h"
#include "FluentRun.h"
#include "LinkSides.h"
#include "ShapedLink.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace framelink {
namespace {

constexpr int kOneWayDelayMs = 20;
constexpr int kDirectPort = 50555;
constexpr int kRelayPort = 50556;
constexpr double kWindow = 10.0;  // seconds at each end of the changing screen

struct Route {
    const char* name;
    const char* label;
    bool relay;
    bool relayOnA;  // beside the cliente: the slow direction is then the tecnico's downlink
};
const Route kRoutes[] = {
    {"direct", "direct, cliente's uplink slow", false, false},
    {"relay-tecnico", "relay, tecnico's downlink slow", true, true},
    {"relay-cliente", "relay, cliente's uplink slow", true, false},
};

struct Options {
    bool versions = false;
    std::vector<int> ratesKbit{1000, 5000, 20000};
    std::vector<std::string> routes{"direct", "relay-tecnico", "relay-cliente"};
    int change = 60;
    int idle = 60;
};

// The cliente's screen, in DISPLAY for the sides.
pid_t StartScreen(const std::string& tag)
{
    std::string display;
    const pid_t xvfb = StartXvfb(tag, "1920x1080x24", &display);
    if (xvfb > 0)
        setenv("DISPLAY", display.c_str(), 1);
    return xvfb;
}

void Report(const Route& route, int rateKbit, const std::string& clienteLog, const std::string& tecnicoLog,
            const std::vector<Sample>& samples)
{
    std::int64_t change = 0, idle = 0, end = 0;
    std::map<std::int64_t, std::int64_t> grabbedAt;  // stamp -> grab of the first frame sent with it
    std::vector<double> messageBytes;
    std::vector<int> levels;
    for (const auto& line : ReadLog(clienteLog)) {
        if (line[0] == "phase" && line.size() == 3) {
            const std::int64_t t = std::stoll(line[2]);
            (line[1] == "change" ? change : line[1] == "idle" ? idle : end) = t;
        } else if (line[0] == "sent" && line.size() == 5) {
            const std::int64_t grab = std::stoll(line[2]);
            grabbedAt.emplace(std::stoll(line[1]), grab);
            if (grab >= change && (idle == 0 || grab < idle)) {
                // The Frame message: its Base64 and a header of about 40 bytes.
                messageBytes.push_back(std::ceil(std::stod(line[3]) / 3) * 4 + 40);
                levels.push_back(std::stoi(line[4]));
            }
        }
    }
    if (change == 0 || idle == 0 || end == 0) {
        std::printf("| %s | %d | the run did not finish (see %s) |\n", route.label, rateKbit / 1000, clienteLog.c_str());
        return;
    }
    const double changeSeconds = static_cast<double>(idle - change) / 1e9;
    std::vector<double> first, last;
    int shownChanging = 0, shownIdle = 0;
    std::int64_t previousIdleShow = idle;
    double longestIdleGap = 0;
    for (const auto& line : ReadLog(tecnicoLog)) {
        if (line[0] != "shown" || line.size() != 3)
            continue;
        const std::int64_t t = std::stoll(line[2]);
        if (t >= idle && t < end) {
            ++shownIdle;
            longestIdleGap = std::max(longestIdleGap, static_cast<double>(t - previousIdleShow) / 1e9);
            previousIdleShow = t;
        }
        if (t < change || t >= idle)
            continue;
        ++shownChanging;
        const auto grabbed = grabbedAt.find(std::stoll(line[1]));
        if (grabbed == grabbedAt.end())
            continue;
        const double delay = static_cast<double>(t - grabbed->second) / 1e9;
        if (t < change + static_cast<std::int64_t>(kWindow * 1e9))
            first.push_back(delay);
        if (t >= idle - static_cast<std::int64_t>(kWindow * 1e9))
            last.push_back(delay);
    }
    longestIdleGap = std::max(longestIdleGap, static_cast<double>(end - previousIdleShow) / 1e9);
    double meanMessage = 0;
    for (double b : messageBytes)
        meanMessage += b / static_cast<double>(messageBytes.size());
    double meanLevel = 0;
    for (int l : levels)
        meanLevel += l / static_cast<double>(levels.size());
    const double frameOnLink = meanMessage * 8 / (rateKbit * 1000.0);
    const double goal = 1.5 * frameOnLink + 2 * kOneWayDelayMs / 1000.0;
    // The idle screen from 2 s after its start, when the last changing frame has surely arrived.
    const std::int64_t idleFrom = idle + 2000000000LL;
    const double idleRate = Between(samples, &Sample::bytes, idleFrom, end) / (static_cast<double>(end - idleFrom) / 1e9);
    const double changeRate = Between(samples, &Sample::bytes, change, idle) / changeSeconds;
    const double medFirst = Quantile(first, 0.5), medLast = Quantile(last, 0.5);
    const bool met = medFirst <= goal && medLast <= goal;
    const bool grew = medLast > std::max(medFirst * 1.25, medFirst + 0.1);
    std::printf("| %s | %d | %.2f / %.2f | %.2f / %.2f | %.2f | %s%s | %.2f | %.1f | %.0f KB (level %.1f) | %.1f | "
                "%.1f | %d, longest gap %.1f s |\n",
                route.label, rateKbit / 1000, medFirst, Quantile(first, 0.95), medLast, Quantile(last, 0.95), goal,
                met ? "met" : "not met", grew ? ", grows" : "", static_cast<double>(shownChanging) / changeSeconds,
                changeRate / 1000, meanMessage / 1000, meanLevel, frameOnLink, idleRate / 1000, shownIdle,
                longestIdleGap);
    std::fflush(stdout);
}

bool RunCase(const Route& route, int rateKbit, const Options& o, const std::string& folder)
{
    const std::string tag = folder + "/" + route.name + "-" + std::to_string(rateKbit);
    std::string problem;
    auto link = ShapedLink::Open(rateKbit, kOneWayDelayMs, &problem);
    // A fresh screen for every case.
    const pid_t xvfb = link ? StartScreen(tag) : -1;
    if (!link || xvfb <= 0) {
        std::fprintf(stderr, "frame_link: %s\n", link ? "Xvfb did not start" : problem.c_str());
        return false;
    }
    const std::string self = SelfPath();
    auto side = [&](const char* role, bool onA, const std::string& peer, int port) {
        std::vector<std::string> argv = ShapedLink::RunIn(onA);
        argv.insert(argv.end(), {self, "--role", role, "--peer", peer, "--port", std::to_string(port), "--log",
                                 tag + "-" + role + ".log", "--change", std::to_string(o.change), "--idle",
                                 std::to_string(o.idle)});
        if (route.relay)
            argv.push_back("--relay");
        return Spawn(argv);
    };
    const std::string relayAddress = route.relayOnA ? ShapedLink::kAddressA : ShapedLink::kAddressB;
    pid_t relay = -1;
    if (route.relay) {
        relay = side("relay", route.relayOnA, relayAddress, kRelayPort);
        if (!WaitForReady(tag + "-relay.log", relay)) {
            Stop(relay);
            Stop(xvfb);
            return false;
        }
    }
    const std::string peer = route.relay ? relayAddress : ShapedLink::kAddressA;
    const int port = route.relay ? kRelayPort : kDirectPort;
    const pid_t cliente = side("cliente", true, peer, port);
    if (!WaitForReady(tag + "-cliente.log", cliente)) {
        Stop(cliente);
        Stop(relay);
        Stop(xvfb);
        return false;
    }
    const pid_t tecnico = side("tecnico", false, peer, port);
    std::vector<Sample> samples;
    while (waitpid(cliente, nullptr, WNOHANG) != cliente) {
        samples.push_back({MonotonicNs(), static_cast<double>(link->BytesAToB())});
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    samples.push_back({MonotonicNs(), static_cast<double>(link->BytesAToB())});
    Stop(tecnico);
    Stop(relay);
    Stop(xvfb);
    Report(route, rateKbit, tag + "-cliente.log", tag + "-tecnico.log", samples);
    return true;
}

int Coordinate(const Options& o)
{
    std::string problem;
    if (!ShapedLink::EnterPrivateNamespaces(&problem)) {
        std::fprintf(stderr, "frame_link: %s\n", problem.c_str());
        return 1;
    }
    char folderTemplate[] = "/tmp/frame-link-XXXXXX";
    const std::string folder = mkdtemp(folderTemplate) ? folderTemplate : "/tmp";
    std::printf("Frames over a shaped link: %d ms round trip, %d s changing screen then %d s idle; logs in %s\n\n",
                2 * kOneWayDelayMs, o.change, o.idle, folder.c_str());
    std::printf("| Route | Mbit/s | delay median / p95, first 10 s (s) | last 10 s (s) | goal: median at most (s) | "
                "result | frames/s | kB/s | mean frame message | one frame on the link (s) | idle kB/s | idle: "
                "frames shown |\n|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    bool ok = true;
    for (const std::string& name : o.routes)
        for (const Route& route : kRoutes)
            if (name == route.name)
                for (int rate : o.ratesKbit)
                    ok = RunCase(route, rate, o, folder) && ok;
    return ok ? 0 : 1;
}

struct VersionFigures {
    double senderMsPerFrame = NAN;
    double receiverMsPerFrame = NAN;
    double firstPictureMs = NAN;
    int frames = 0;
};

// CPU milliseconds per `word` line between a log's two "cpu" lines, and how many there were.
double CpuMsPer(const std::string& path, const char* word, int* count)
{
    std::vector<double> cpu;
    *count = 0;
    for (const auto& line : ReadLog(path)) {
        if (line[0] == "cpu" && line.size() == 2)
            cpu.push_back(std::stod(line[1]));
        else if (line[0] == word && cpu.size() == 1)
            ++*count;
    }
    return cpu.size() == 2 && *count > 0 ? (cpu[1] - cpu[0]) / 1e6 / *count : NAN;
}

VersionFigures RunVersion(int versao, const Options& o, const std::string& folder)
{
    const std::string tag = folder + "/v" + std::to_string(versao);
    VersionFigures f;
    const pid_t xvfb = StartScreen(tag);
    if (xvfb <= 0)
        return f;
    const std::string self = SelfPath();
    auto side = [&](const char* role) {
        return Spawn({self, "--role", role, "--peer", "127.0.0.1", "--port", std::to_string(kDirectPort), "--log",
                      tag + "-" + role + ".log", "--change", std::to_string(o.change), "--idle", "0", "--versao",
                      std::to_string(versao)});
    };
    const pid_t cliente = side("cliente");
    const pid_t tecnico = WaitForReady(tag + "-cliente.log", cliente) ? side("tecnico") : -1;
    waitpid(cliente, nullptr, 0);
    for (int i = 0; tecnico > 0 && i < 100 && waitpid(tecnico, nullptr, WNOHANG) != tecnico; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Stop(tecnico);
    Stop(xvfb);
    int shown = 0;
    f.senderMsPerFrame = CpuMsPer(tag + "-cliente.log", "sent", &f.frames);
    f.receiverMsPerFrame = CpuMsPer(tag + "-tecnico.log", "shown", &shown);
    std::int64_t connect = 0, first = 0;
    for (const auto& line : ReadLog(tag + "-tecnico.log")) {
        if (line[0] == "connect" && line.size() == 2)
            connect = std::stoll(line[1]);
        else if (line[0] == "shown" && line.size() == 3 && first == 0)
            first = std::stoll(line[2]);
    }
    if (connect > 0 && first > 0)
        f.firstPictureMs = static_cast<double>(first - connect) / 1e6;
    return f;
}

int CompareVersions(const Options& o)
{
    char folderTemplate[] = "/tmp/link-versions-XXXXXX";
    const std::string folder = mkdtemp(folderTemplate) ? folderTemplate : "/tmp";
    std::printf("Link versions on loopback: %d s of a changing 1920 x 1080 screen each; logs in %s\n\n", o.change,
                folder.c_str());
    std::printf("| Link | frames | sender CPU per frame (ms) | receiver CPU per frame (ms) | connect to first picture "
                "(ms) |\n|---|---|---|---|---|\n");
    VersionFigures figures[2];
    for (int versao : {1, 2}) {
        const VersionFigures& f = figures[versao - 1] = RunVersion(versao, o, folder);
        std::printf("| version %d%s | %d | %.2f | %.2f | %.0f |\n", versao, versao == 2 ? " (TLS)" : " (plain)", f.frames,
                    f.senderMsPerFrame, f.receiverMsPerFrame, f.firstPictureMs);
    }
    const VersionFigures& v1 = figures[0];
    const VersionFigures& v2 = figures[1];
    const double sender = v2.senderMsPerFrame / v1.senderMsPerFrame;
    const double receiver = v2.receiverMsPerFrame / v1.receiverMsPerFrame;
    const double later = v2.firstPictureMs - v1.firstPictureMs;
    const bool met = sender <= 1.1 && receiver <= 1.1 && later <= 100;
    std::printf("\nVersion 2 against 1: sender CPU x%.2f, receiver CPU x%.2f (goal: at most x1.10); first picture "
                "%+.0f ms (goal: at most +100 ms): %s\n",
                sender, receiver, later, met ? "met" : "not met");
    return met ? 0 : 1;
}

}  // namespace
}  // namespace framelink

int main(int argc, char** argv)
{
    using namespace framelink;
    SideOptions side;
    Options options;
    FluentOptions fluent;
    bool fluentRun = false;
    int versao = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        const std::pair<const char*, bool*> switches[] = {
            {"--relay", &side.relay}, {"--versions", &options.versions}, {"--fluent", &fluentRun}};
        bool* flag = nullptr;
        for (const auto& [name, value] : switches)
            flag = arg == name ? value : flag;
        if (flag || arg == "--no-paint") {
            *(flag ? flag : &side.paint) = flag != nullptr;
            continue;
        }
        if (arg == "--role")
            side.role = value;
        else if (arg == "--peer")
            side.peer = value;
        else if (arg == "--port")
            side.port = std::atoi(value);
        else if (arg == "--log")
            side.logPath = value;
        else if (arg == "--change" || arg == "--seconds")
            side.changeSeconds = options.change = fluent.changeSeconds = std::atoi(value);
        else if (arg == "--idle")
            side.idleSeconds = options.idle = fluent.idleSeconds = std::atoi(value);
        else if (arg == "--per-second")
            side.changesPerSecond = std::atoi(value);
        else if (arg == "--rates") {
            options.ratesKbit.clear();
            for (const std::string& rate : Split(value))
                options.ratesKbit.push_back(std::stoi(rate));
            fluent.rateKbit = options.ratesKbit.empty() ? fluent.rateKbit : options.ratesKbit.front();
        } else if (arg == "--routes")
            options.routes = Split(value);
        else if (arg == "--cases")
            fluent.cases = Split(value);
        else if (arg == "--versao")
            versao = std::atoi(value);
        else if (arg == "--levels" && Split(value).size() == 2) {
            side.nitidez = std::stoi(Split(value)[0]);
            side.atualizacao = std::stoi(Split(value)[1]);
        } else if (arg == "--picture")
            side.picturePath = value;
        else {
            std::fprintf(stderr, "frame_link_bench: unknown argument %s\n", arg.c_str());
            return 2;
        }
        ++i;
    }
    side.versao = versao > 0 ? versao : side.versao;
    fluent.versao = versao > 0 ? versao : fluent.versao;
    if (side.role == "cliente")
        return RunCliente(side);
    if (side.role == "tecnico")
        return RunTecnico(side);
    if (side.role == "relay")
        return RunRelay(side);
    if (side.role == "desktop")
        return RunDesktop(side);
    if (fluentRun)
        return RunFluent(fluent);
    return options.versions ? CompareVersions(options) : Coordinate(options);
}
