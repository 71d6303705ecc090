// Status polls per second from 1,000 devices against nginx serving a static
// reply of the same size with the same certificate, measured by the same
// client in the same run: each device on its own keep-alive HTTPS connection,
// and each request on a new connection with a full TLS handshake; then, for
// marquelin-server alone, new connections resuming the session before them. The store is seeded directly (1,000 accounts, devices
// and live codes) before the server starts; the server then runs as deployed.
//
// The one-threaded client shares the two cores with the server and costs
// about as much per handshake, so it can limit both rates alike; the server's
// own CPU time per request is reported too ("server_us_per_request"), and
// the summary compares those as well.
#include "HttpsLoad.h"
#include "ProcessUnderTest.h"

#include "server/security/Secrets.h"
#include "server/store/SqliteStore.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

namespace fs = std::filesystem;

constexpr int kDevices = 1000;
// A handshake costs about twenty keep-alive polls.
constexpr std::size_t kKeepAliveRepliesPerIteration = 5000;
constexpr std::size_t kNewConnectionRepliesPerIteration = 500;
// New connections on their way at once, the 1,000 devices taking turns: a
// closed loop keeps the server busy with far fewer, and a thousand handshakes
// at once would measure the listen queue and the heap rather than the server.
constexpr std::size_t kNewConnectionsInFlight = 64;

struct Measured {
    double rate = 0;              // replies per second
    double cpuPerRequest = 0;     // of the server process, seconds
};

enum Run { ServerKeepAlive, NginxKeepAlive, ServerNewConnection, NginxNewConnection, ServerResumed, kRuns };
enum Connections { KeepAlive, NewConnection, ResumedConnection };

struct Rig {
    std::string dir;
    unsigned short serverPort = 0;
    unsigned short nginxPort = 0;
    std::vector<std::string> statusRequests;
    std::unique_ptr<ProcessUnderTest> server;
    std::unique_ptr<ProcessUnderTest> nginx;
    Measured runs[kRuns];
};

Rig& TheRig() { static Rig rig; return rig; }

std::string StatusRequest(int device, store::Id codeId)
{
    const std::string body = "email=dev" + std::to_string(device) + "%40bench.example&dispositivo_uid=bench-"
        + std::to_string(device) + "&token=token-" + std::to_string(device) + "&codigo_id=" + std::to_string(codeId);
    return "POST /api/status_codigo.php HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: Marquelin-Windows/0.1\r\n"
           "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + body;
}

void SeedStore(Rig& rig)
{
    store::SqliteStore s(rig.dir + "/data/marquelin.db");
    for (int i = 0; i < kDevices; ++i) {
        store::Account account;
        account.email = "dev" + std::to_string(i) + "@bench.example";
        account.pendingNome = "Dispositivo " + std::to_string(i);
        s.SaveSignup(account, 1);
        const store::Id accountId = s.FindAccount(account.email)->id;
        const store::Id device = s.BindDevice(accountId, "bench-" + std::to_string(i),
                                              security::Sha256("token-" + std::to_string(i)), {}, 1);
        const store::Id code = s.IssueCode(device, std::to_string(100000000 + i), 1LL << 50, "127.0.0.1", 1);
        rig.statusRequests.push_back(StatusRequest(i, code));
    }
}

void WriteNginx(const Rig& rig, const std::string& sampleReply)
{
    fs::create_directories(rig.dir + "/nginx/www");
    std::ofstream(rig.dir + "/nginx/www/status.json") << sampleReply;
    std::ofstream conf(rig.dir + "/nginx/nginx.conf");
    conf << "worker_processes 1;\nworker_rlimit_nofile 8192;\ndaemon off;\npid " << rig.dir << "/nginx/nginx.pid;\n"
         << "error_log " << rig.dir << "/nginx/error.log;\nevents { worker_connections 4096; }\n"
         << "http {\n  access_log off;\n  default_type application/json;\n  keepalive_requests 10000000;\n"
         << "  keepalive_timeout 120s;\n  client_body_temp_path " << rig.dir << "/nginx/body;\n"
         << "  proxy_temp_path " << rig.dir << "/nginx/proxy;\n  fastcgi_temp_path " << rig.dir << "/nginx/fcgi;\n"
         << "  uwsgi_temp_path " << rig.dir << "/nginx/uwsgi;\n  scgi_temp_path " << rig.dir << "/nginx/scgi;\n"
         << "  server {\n    listen 127.0.0.1:" << rig.nginxPort << " ssl backlog=4096;\n"
         << "    ssl_certificate " << rig.dir << "/data/tls-cert.pem;\n"
         << "    ssl_certificate_key " << rig.dir << "/data/tls-key.pem;\n"
         << "    ssl_protocols TLSv1.2 TLSv1.3;\n"
         // No TLS 1.3 tickets, as the server sends none: the same handshake on both sides.
         << "    ssl_conf_command NumTickets 0;\n    root " << rig.dir << "/nginx/www;\n  }\n}\n";
}

bool StartRig(Rig& rig)
{
    char pattern[] = "/tmp/marquelin-bench-XXXXXX";
    if (!mkdtemp(pattern))
        return false;
    rig.dir = pattern;
    // nginx's worker runs as another user and must reach its files.
    fs::permissions(rig.dir, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::create_directories(rig.dir + "/data");
    SeedStore(rig);
    rig.serverPort = FreePort();
    rig.server = std::make_unique<ProcessUnderTest>(
        std::vector<std::string>{MARQUELIN_SERVER_BINARY, "--data", rig.dir + "/data", "--https-port",
                                 std::to_string(rig.serverPort), "--relay-port", "0",
                                 // every device comes from loopback here
                                 "--max-connections-per-source", std::to_string(2 * kDevices)},
        rig.dir + "/server.log");
    if (WaitForFile(rig.dir + "/data/listening", 20000).empty())
        return false;
    // The static reply: what a poll of this run answers, byte for byte in size.
    const std::string sample = R"({"ok":true,"status":"aguardando","papel":"cliente","id":"1","sessao_id":"",)"
                               R"("ip_cliente":"","ip_local_cliente":"","porta_cliente":"","ip_atual":"127.0.0.1",)"
                               R"("tecnico_nome":""})";
    rig.nginxPort = FreePort();
    WriteNginx(rig, sample);
    rig.nginx = std::make_unique<ProcessUnderTest>(
        std::vector<std::string>{"nginx", "-p", rig.dir + "/nginx", "-c", rig.dir + "/nginx/nginx.conf", "-e",
                                 rig.dir + "/nginx/error.log"},
        rig.dir + "/nginx.out");
    return WaitForPort(rig.nginxPort, 10000);
}

struct Target {
    const ProcessUnderTest& process;
    unsigned short port;
    const std::vector<std::string>& requests;
    const char* expect;
};

void RunLoad(benchmark::State& state, const Target& target, Connections mode, Measured& measured)
{
    const bool newConnections = mode != KeepAlive;
    HttpsLoad load(target.port, target.requests);
    load.ExpectInReply(target.expect);
    load.NewConnectionPerRequest(newConnections);
    load.ResumeSessions(mode == ResumedConnection);
    if (newConnections)
        load.MaxInFlight(kNewConnectionsInFlight);
    if (!load.Connect()) {
        state.SkipWithError("cannot connect all devices");
        return;
    }
    const std::size_t perIteration = newConnections ? kNewConnectionRepliesPerIteration : kKeepAliveRepliesPerIteration;
    std::size_t replies = 0;
    const double cpuBefore = target.process.CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        load.Run(perIteration);
        replies += perIteration;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    measured.rate = static_cast<double>(replies) / seconds;
    measured.cpuPerRequest = (target.process.CpuSeconds() - cpuBefore) / static_cast<double>(replies);
    state.SetItemsProcessed(static_cast<int64_t>(replies));
    state.counters["connections"] = static_cast<double>(target.requests.size());
    state.counters["failures"] = static_cast<double>(load.Failures());
    state.counters["server_us_per_request"] = measured.cpuPerRequest * 1e6;
}

const std::vector<std::string>& NginxRequests()
{
    static const std::vector<std::string> requests(kDevices, "GET /status.json HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    return requests;
}

void BM_MarquelinStatusPolls(benchmark::State& state, Connections mode)
{
    Rig& rig = TheRig();
    static constexpr Run runs[] = {ServerKeepAlive, ServerNewConnection, ServerResumed};
    RunLoad(state, {*rig.server, rig.serverPort, rig.statusRequests, "\"status\":\"aguardando\""}, mode,
            rig.runs[runs[mode]]);
}

void BM_NginxStaticFile(benchmark::State& state, Connections mode)
{
    Rig& rig = TheRig();
    RunLoad(state, {*rig.nginx, rig.nginxPort, NginxRequests(), "\"ok\":true"}, mode,
            rig.runs[mode == KeepAlive ? NginxKeepAlive : NginxNewConnection]);
}

BENCHMARK_CAPTURE(BM_MarquelinStatusPolls, keep_alive, KeepAlive)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->MinTime(5);
BENCHMARK_CAPTURE(BM_NginxStaticFile, keep_alive, KeepAlive)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5);
BENCHMARK_CAPTURE(BM_MarquelinStatusPolls, new_connection, NewConnection)->Unit(benchmark::kMillisecond)
    ->UseRealTime()->MinTime(5);
BENCHMARK_CAPTURE(BM_NginxStaticFile, new_connection, NewConnection)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->MinTime(5);
// Our server only: nginx here sends no tickets, so it has no session to resume.
BENCHMARK_CAPTURE(BM_MarquelinStatusPolls, resumed_connection, ResumedConnection)->Unit(benchmark::kMillisecond)
    ->UseRealTime()->MinTime(5);

void PrintComparison(const char* what, const Measured& server, const Measured& nginx)
{
    if (server.rate <= 0 || nginx.rate <= 0)
        return;
    std::printf("%s: status polls %.0f/s, nginx static %.0f/s, ratio %.2f (goal >= 0.50); CPU per request %.0f us "
                "vs %.0f us, ratio %.2f\n",
                what, server.rate, nginx.rate, server.rate / nginx.rate, server.cpuPerRequest * 1e6,
                nginx.cpuPerRequest * 1e6, server.cpuPerRequest > 0 ? nginx.cpuPerRequest / server.cpuPerRequest : 0);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Rig& rig = TheRig();
    if (!StartRig(rig)) {
        std::fprintf(stderr, "status_poll_bench: the server or nginx did not start (see %s)\n", rig.dir.c_str());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    PrintComparison("keep-alive", rig.runs[ServerKeepAlive], rig.runs[NginxKeepAlive]);
    PrintComparison("new connection per request", rig.runs[ServerNewConnection], rig.runs[NginxNewConnection]);
    rig.server.reset();
    rig.nginx.reset();
    // The server's last line counts its handshakes and the resumed ones.
    std::ifstream log(rig.dir + "/server.log");
    for (std::string line; std::getline(log, line);)
        if (line.find("tls: ") != std::string::npos)
            std::printf("%s\n", line.c_str());
    std::error_code ec;
    fs::remove_all(rig.dir, ec);
    return 0;
}
