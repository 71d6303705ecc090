#pragma once

#include "support/ChildProcess.h"
#include "support/HangLimit.h"

#include <cstdlib>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <vector>

namespace e2e {

// Three computers and the Internet between them, on one machine. The test
// process becomes the router (a network namespace of its own); the server,
// the supported computer and the technician's computer each live in a
// namespace with one network card (a veth pair to the router):
//
//   server    198.51.100.10  ─┐
//   tecnico   192.0.2.20     ─┼─ router (forwards; firewall faults; NAT)
//   cliente   192.168.50.10  ─┘  behind its office's address 203.0.113.5
//
// The cliente's office NAT gives it a public address that differs from its
// local one, and forwards the direct port to it, so the technician's first
// target (the public address), its alternative (the local address, routed
// as over a VPN) and the relay on the server are three real routes.
//
// The namespaces and the temporary folder hang off a private mount namespace
// of the test process, so they vanish with it whatever way it ends.

enum class Host { Server, Cliente, Tecnico };
constexpr const char* kServerAddress = "198.51.100.10";
constexpr const char* kClientePublicAddress = "203.0.113.5";

// Faults, around the cliente's direct port 50555 (txtTelaPorta's default,
// forwarded by its NAT). Dropped packets make connections go nowhere (no
// refusal, no reset), as behind a firewall or a pulled cable.
// Every direct connection to the cliente dropped:
constexpr const char* kDirectPortBlocked = "tcp dport 50555 drop";
// The office refuses the direct port on its public address:
constexpr const char* kPortForwardMissing = "ct status dnat tcp dport 50555 reject with tcp reset";
// Every packet between the two computers dropped:
constexpr const char* kClienteTecnicoCut =
    "ip saddr { 192.0.2.20, 192.168.50.10 } ip daddr { 192.0.2.20, 192.168.50.10 } drop";

namespace lab {

constexpr const char* kIp = "/usr/sbin/ip";
constexpr const char* kNft = "/usr/sbin/nft";

inline bool g_lab = false;
inline std::string g_problem = "the lab network was not set up";

struct HostPlan {
    Host host;
    const char* name;     // namespace, and the router's card toward it is "r-<name>"
    const char* address;  // on a /24
    const char* gateway;  // the router's address on that network
};
constexpr HostPlan kHosts[] = {
    {Host::Server, "srv", "198.51.100.10", "198.51.100.1"},
    {Host::Cliente, "cli", "192.168.50.10", "192.168.50.1"},
    {Host::Tecnico, "tec", "192.0.2.20", "192.0.2.1"},
};

// The router's NAT for the cliente's office and the chain the faults go into.
constexpr const char* kRouterRules = R"(
table ip lab {
  chain dstnat { type nat hook prerouting priority dstnat; ip daddr 203.0.113.5 tcp dport 50555 dnat to 192.168.50.10; }
  chain srcnat { type nat hook postrouting priority srcnat; ip saddr 192.168.50.0/24 oifname != "r-cli" snat to 203.0.113.5; }
  chain faults { type filter hook forward priority filter; }
}
)";

inline bool Run(const std::vector<std::string>& argv)
{
    testing_support::ChildProcess command;
    return command.Start(argv, testing_support::ChildProcess::Inherited({}), "/dev/null")
        && command.WaitExit(testing_support::kHangMs) && command.ExitCode() == 0;
}

inline bool Fail(const std::string& why)
{
    g_problem = why;
    return false;
}

inline bool RunAll(const std::vector<std::vector<std::string>>& commands)
{
    for (const std::vector<std::string>& command : commands)
        if (!Run(command))
            return Fail("lab set-up failed at: " + command[0] + " " + command[1] + " " + command[2]);
    return true;
}

inline std::vector<std::vector<std::string>> HostCommands(const HostPlan& h)
{
    const std::string name = h.name, card = std::string("r-") + h.name;
    return {
        {kIp, "netns", "add", name},
        {kIp, "link", "add", card, "type", "veth", "peer", "name", "eth0", "netns", name},
        {kIp, "addr", "add", h.gateway + std::string("/24"), "dev", card},
        {kIp, "link", "set", card, "up"},
        {kIp, "-n", name, "link", "set", "lo", "up"},
        {kIp, "-n", name, "addr", "add", h.address + std::string("/24"), "dev", "eth0"},
        {kIp, "-n", name, "link", "set", "eth0", "up"},
        {kIp, "-n", name, "route", "add", "default", "via", h.gateway},
    };
}

// Namespaces named under a folder only this process (and its children) see,
// and the X socket files too. (An X server finds a display number free by its
// abstract socket, which each network namespace has apart, then replaces the
// socket file of that number: servers of another run beside this one would
// take each other's files away.) Not the whole /tmp: the build tree itself
// may live there.
inline bool PrivateFolders()
{
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return Fail("cannot make the mounts private");
    mkdir("/run/netns", 0755);
    if (mount("lab", "/run/netns", "tmpfs", 0, "mode=0755") != 0)
        return Fail("cannot mount a private /run/netns");
    mkdir("/tmp/.X11-unix", 01777);
    if (mount("lab-x11", "/tmp/.X11-unix", "tmpfs", 0, "mode=1777") != 0)
        return Fail("cannot mount a private /tmp/.X11-unix");
    return true;
}

}  // namespace lab

// Builds the lab; false (and LabProblem() says why) when the machine does
// not allow it. Must run before any thread starts.
inline bool EnterLab()
{
    if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0)
        return lab::Fail("cannot make network and mount namespaces (needs CAP_SYS_ADMIN)");
    if (!lab::PrivateFolders()
        || !lab::RunAll({{lab::kIp, "link", "set", "lo", "up"},
                         {lab::kIp, "addr", "add", std::string(kClientePublicAddress) + "/32", "dev", "lo"},
                         {"/usr/sbin/sysctl", "-qw", "net.ipv4.ip_forward=1"}}))
        return false;
    for (const lab::HostPlan& h : lab::kHosts)
        if (!lab::RunAll(lab::HostCommands(h)))
            return false;
    lab::g_lab = lab::Run({lab::kNft, lab::kRouterRules});
    return lab::g_lab || lab::Fail("nft cannot load the router's NAT and fault chains");
}

inline bool InLab() { return lab::g_lab; }
inline const std::string& LabProblem() { return lab::g_problem; }

inline std::vector<std::string> RunOn(Host host)
{
    if (!lab::g_lab)
        return {};
    for (const lab::HostPlan& h : lab::kHosts)
        if (h.host == host)
            return {lab::kIp, "netns", "exec", h.name};
    return {};
}

// A fault on the router while the object lives: an nftables rule of the
// forward path, one of those above; none for no rule.
class NetworkFault {
public:
    explicit NetworkFault(const char* rule)
        : active_(rule && lab::g_lab && lab::Run({lab::kNft, std::string("add rule ip lab faults ") + rule}))
    {
    }
    ~NetworkFault() { Lift(); }
    NetworkFault(const NetworkFault&) = delete;
    NetworkFault& operator=(const NetworkFault&) = delete;
    bool Active() const { return active_; }
    void Lift()
    {
        if (active_)
            lab::Run({lab::kNft, "flush chain ip lab faults"});
        active_ = false;
    }

private:
    bool active_ = false;
};

// Caps the TCP receive buffer of new connections on `host` (a small window),
// so a peer that stops reading fills the path within a second or two.
inline bool CapReceiveBuffer(Host host, int bytes)
{
    std::vector<std::string> command = RunOn(host);
    command.insert(command.end(), {"/usr/sbin/sysctl", "-qw",
                                   "net.ipv4.tcp_rmem=4096 " + std::to_string(bytes / 2) + " " + std::to_string(bytes)});
    return lab::g_lab && lab::Run(command);
}

}  // namespace e2e
