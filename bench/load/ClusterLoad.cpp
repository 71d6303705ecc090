// The poll run against a deployment of one node and against one of two
// nodes sharing a database and their ticket keys, in the same process run,
// so the two compare under the same load of the machine.
#include "load/ClusterLoad.h"

#include "load/HaproxyFront.h"
#include "load/PollLoad.h"
#include "load/PostgresRig.h"
#include "load/ServerRig.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

namespace load {
namespace {

namespace asio = boost::asio;
namespace fs = std::filesystem;

struct StyleRow {
    ConnectionStyle style;
    const char* name;
};

constexpr StyleRow kStyles[] = {
    {ConnectionStyle::FullHandshake, "a full TLS handshake per poll"},
    {ConnectionStyle::Resumed, "a resumed TLS session per poll"},
    {ConnectionStyle::KeptAlive, "one kept connection per device"},
};

constexpr double kPollPeriodSeconds = 2;  // the program's status timer

// What is under test: where the devices poll, and whose CPU counts.
struct Deployment {
    std::string name;
    unsigned short port = 0;
    std::vector<pid_t> nodes;
    pid_t postgres = -1, haproxy = -1;
    const PostgresRig* database = nullptr;
};

double MicrosPerPoll(double seconds, const PollResult& r)
{
    return r.polls ? 1e6 * seconds / static_cast<double>(r.polls) : 0;
}

void PrintShares(const PollResult& r, const Usage& postgres, const Usage& haproxy, const PostgresRig::Executed& done)
{
    std::printf("    postgres CPU %.0f us per poll (%.1f%% of one core), haproxy CPU %.0f us per poll (%.1f%%); "
                "database %.2f statements per poll, %.0f us executing them\n",
                MicrosPerPoll(postgres.Cpu(), r), 100 * postgres.Cpu() / r.seconds, MicrosPerPoll(haproxy.Cpu(), r),
                100 * haproxy.Cpu() / r.seconds, r.polls ? done.statements / static_cast<double>(r.polls) : 0,
                MicrosPerPoll(done.ms / 1000, r));
}

PostgresRig::Executed ExecutedSoFar(const Deployment& d)
{
    return d.database ? d.database->ExecutedSoFar() : PostgresRig::Executed{};
}

// The machine's other work shares the cores with every process of the run.
void PrintLoadAverage()
{
    std::string average;
    std::getline(std::ifstream("/proc/loadavg"), average);
    std::printf("cluster: load average %s\n", average.c_str());
}

// One period of polls unmeasured first, so that each device's connection
// is open (kept) or holds a session (resumed) when the measuring begins.
bool RunStyle(asio::io_context& io, asio::ssl::context& tls, const Deployment& d, const std::vector<Poller>& pollers,
              const LoadOptions& o, const StyleRow& row)
{
    Connections connections = ConnectionsFor(tls, d.port, pollers, row.style);
    PollResult warming, result;
    std::vector<Usage> use;
    const bool warmed = RunToEnd(io, "the first period",
                                 [&] { return RunPolls(connections, pollers, kPollPeriodSeconds, warming); });
    const PostgresRig::Executed before = ExecutedSoFar(d);
    const bool ran = Measured(io, row.name, {d.nodes, {d.postgres}, {d.haproxy}}, use,
                              [&] { return RunPolls(connections, pollers, o.pollSeconds, result); });
    const PostgresRig::Executed after = ExecutedSoFar(d);
    PrintPolls((d.name + ", " + row.name).c_str(), "nodes'", result, use[0], o.devices);
    if (d.database)
        PrintShares(result, use[1], use[2], {after.statements - before.statements, after.ms - before.ms});
    if (warming.errors) {
        std::printf("    the first period: %zu errors\n", warming.errors);
        PrintErrors(warming.errors, warming.firstErrors);
    }
    PrintLoadAverage();
    return warmed && ran && result.errors == 0 && warming.errors == 0;
}

// Every connection style in turn on the same devices; the nodes' own
// handshake counts once they stop.
bool RunStyles(asio::io_context& io, asio::ssl::context& tls, const Deployment& d, std::vector<ServerRig*> nodes,
               const std::vector<Poller>& pollers, const LoadOptions& o)
{
    bool ok = true;
    for (const StyleRow& row : kStyles)
        ok = RunStyle(io, tls, d, pollers, o, row) && ok;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        nodes[i]->Stop();
        std::ifstream log(nodes[i]->LogFile());
        for (std::string line; std::getline(log, line);)
            if (line.find("tls: ") != std::string::npos)
                std::printf("    node %zu: %s\n", i + 1, line.c_str());
        if (!ok)
            nodes[i]->KeepFolder();
    }
    return ok;
}

bool OneNode(asio::io_context& io, asio::ssl::context& tls, const LoadOptions& o)
{
    ServerRig rig(PollServerOptions(o));
    if (!rig.StartedOrKept())
        return false;
    const std::optional<std::vector<Poller>> pollers = BrokeredPollers(io, tls, rig, o);
    if (!pollers) {
        rig.KeepFolder();
        return false;
    }
    return RunStyles(io, tls, {"one node on SQLite", rig.HttpsPort(), {rig.Pid()}}, {&rig}, *pollers, o);
}

// One key as --ticket-keys reads it: 128 hex digits, only the owner may read it.
std::string WriteTicketKeys(const std::string& folder)
{
    std::random_device random;
    std::string key;
    for (int i = 0; i < 128; ++i)
        key += "0123456789abcdef"[random() % 16];
    const std::string file = folder + "/ticket-keys";
    std::ofstream(file) << key << "\n";
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    return file;
}

// haproxy names each device in a PROXY header, so the nodes' per-source
// caps and throttles count each device, as without a balancer.
std::vector<std::string> NodeOptions(const LoadOptions& o, const PostgresRig& postgres, const std::string& keys,
                                     const ServerRig* first)
{
    std::vector<std::string> options = PollServerOptions(o);
    options.insert(options.end(), {"--database", postgres.Url(), "--ticket-keys", keys, "--proxy-protocol",
                                   "--trusted-proxy", "127.0.0.1"});
    if (first)  // one certificate for the deployment, as behind one name
        options.insert(options.end(), {"--tls-cert", first->DataFolder() + "/tls-cert.pem", "--tls-key",
                                       first->DataFolder() + "/tls-key.pem"});
    return options;
}

bool TwoNodes(asio::io_context& io, asio::ssl::context& tls, const LoadOptions& o, const std::string& keys)
{
    PostgresRig postgres;
    if (!postgres.Started())
        return false;
    ServerRig first(NodeOptions(o, postgres, keys, nullptr));
    if (!first.StartedOrKept())
        return false;
    ServerRig second(NodeOptions(o, postgres, keys, &first));
    if (!second.StartedOrKept())
        return false;
    HaproxyFront front({first.HttpsPort(), second.HttpsPort()});
    if (!front.Started()) {
        std::printf("load: haproxy did not start (log in %s; scripts/deps --bench installs it)\n",
                    front.Folder().c_str());
        return false;
    }
    // Signing up goes past haproxy to the first node, whose outbox then holds
    // every activation mail: it is the setup, not what is measured.
    const std::optional<std::vector<Poller>> pollers = BrokeredPollers(io, tls, first, o);
    if (!pollers) {
        first.KeepFolder();
        return false;
    }
    const Deployment d{"two nodes on PostgreSQL behind haproxy", front.Port(), {first.Pid(), second.Pid()},
                       postgres.Pid(), front.Pid(), &postgres};
    const bool ok = RunStyles(io, tls, d, {&first, &second}, *pollers, o);
    if (!ok)
        postgres.KeepFolder();
    return ok;
}

}  // namespace

bool ClusterLoad(const LoadOptions& o, asio::ssl::context& tls)
{
    asio::io_context io;
    bool ok = OneNode(io, tls, o);
    const std::string folder = MakeRunFolder("cluster");
    if (folder.empty())
        return false;
    ok = TwoNodes(io, tls, o, WriteTicketKeys(folder)) && ok;
    std::error_code ec;
    fs::remove_all(folder, ec);
    return ok;
}

}  // namespace load
