#include "LabNetwork.h"

#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace e2e {

const char* const kDirectPortBlocked = "tcp dport 50555 drop";
const char* const kPortForwardMissing = "ct status dnat tcp dport 50555 reject with tcp reset";
const char* const kClienteTecnicoCut =
    "ip saddr { 192.0.2.20, 192.168.50.10 } ip daddr { 192.0.2.20, 192.168.50.10 } drop";

namespace {

constexpr const char* kIp = "/usr/sbin/ip";
constexpr const char* kNft = "/usr/sbin/nft";
constexpr const char* kNamespaceFolder = "/run/netns";
constexpr const char* kDisplaySockets = "/tmp/.X11-unix";

bool g_lab = false;
std::string g_problem = "the lab network was not set up";

struct HostPlan {
    Host host;
    const char* name;     // namespace, and the router's card toward it is "r-<name>"
    const char* address;  // with its /24
    const char* gateway;  // the router's address on that network
};
const HostPlan kHosts[] = {
    {Host::Server, "srv", "198.51.100.10/24", "198.51.100.1/24"},
    {Host::Cliente, "cli", "192.168.50.10/24", "192.168.50.1/24"},
    {Host::Tecnico, "tec", "192.0.2.20/24", "192.0.2.1/24"},
};

// The router's NAT for the cliente's office and the chain the faults go into.
constexpr const char* kRouterRules = R"(
table ip lab {
  chain dstnat { type nat hook prerouting priority dstnat; ip daddr 203.0.113.5 tcp dport 50555 dnat to 192.168.50.10; }
  chain srcnat { type nat hook postrouting priority srcnat; ip saddr 192.168.50.0/24 oifname != "r-cli" snat to 203.0.113.5; }
  chain faults { type filter hook forward priority filter; }
}
)";

bool Run(std::vector<std::string> argv)
{
    std::vector<char*> args;
    for (std::string& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 01, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return rc == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool Fail(const std::string& why)
{
    g_problem = why;
    return false;
}

bool RunAll(const std::vector<std::vector<std::string>>& commands)
{
    for (const std::vector<std::string>& command : commands)
        if (!Run(command))
            return Fail("lab set-up failed at: " + command[0] + " " + command[1] + " " + command[2]);
    return true;
}

std::vector<std::vector<std::string>> HostCommands(const HostPlan& h)
{
    const std::string name = h.name, card = std::string("r-") + h.name;
    const std::string gateway = std::string(h.gateway).substr(0, std::string(h.gateway).find('/'));
    return {
        {kIp, "netns", "add", name},
        {kIp, "link", "add", card, "type", "veth", "peer", "name", "eth0", "netns", name},
        {kIp, "addr", "add", h.gateway, "dev", card},
        {kIp, "link", "set", card, "up"},
        {kIp, "-n", name, "link", "set", "lo", "up"},
        {kIp, "-n", name, "addr", "add", h.address, "dev", "eth0"},
        {kIp, "-n", name, "link", "set", "eth0", "up"},
        {kIp, "-n", name, "route", "add", "default", "via", gateway},
    };
}

// Namespaces named under a folder only this process (and its children) see.
// The displays' socket files too: an X server finds a display number free
// by its abstract socket, which each network namespace has apart, and then
// replaces the socket file of that number, so servers of other namespaces
// (another run beside this one) would take each other's files away.
bool PrivateFolders()
{
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return Fail("cannot make the mounts private");
    mkdir(kNamespaceFolder, 0755);
    if (mount("lab", kNamespaceFolder, "tmpfs", 0, "mode=0755") != 0)
        return Fail("cannot mount a private /run/netns");
    mkdir(kDisplaySockets, 01777);
    if (mount("lab-x11", kDisplaySockets, "tmpfs", 0, "mode=1777") != 0)
        return Fail("cannot mount a private /tmp/.X11-unix");
    return true;
}

bool RouterUp()
{
    return RunAll({{kIp, "link", "set", "lo", "up"},
                   {kIp, "addr", "add", "203.0.113.5/32", "dev", "lo"},
                   {"/usr/sbin/sysctl", "-qw", "net.ipv4.ip_forward=1"}});
}

}  // namespace

bool EnterLab()
{
    if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0)
        return Fail("cannot make network and mount namespaces (needs CAP_SYS_ADMIN)");
    if (!PrivateFolders() || !RouterUp())
        return false;
    for (const HostPlan& h : kHosts)
        if (!RunAll(HostCommands(h)))
            return false;
    g_lab = Run({kNft, kRouterRules});
    return g_lab || Fail("nft cannot load the router's NAT and fault chains");
}

bool InLab() { return g_lab; }
const std::string& LabProblem() { return g_problem; }

std::vector<std::string> RunOn(Host host)
{
    if (!g_lab)
        return {};
    for (const HostPlan& h : kHosts)
        if (h.host == host)
            return {kIp, "netns", "exec", h.name};
    return {};
}

NetworkFault::NetworkFault(const std::string& rule)
{
    active_ = g_lab && Run({kNft, "add rule ip lab faults " + rule});
}

NetworkFault::~NetworkFault() { Lift(); }

void NetworkFault::Lift()
{
    if (active_)
        Run({kNft, "flush chain ip lab faults"});
    active_ = false;
}

bool CapReceiveBuffer(Host host, int bytes)
{
    std::vector<std::string> command = RunOn(host);
    command.insert(command.end(), {"/usr/sbin/sysctl", "-qw",
                                   "net.ipv4.tcp_rmem=4096 " + std::to_string(bytes / 2) + " " + std::to_string(bytes)});
    return g_lab && Run(command);
}

}  // namespace e2e
