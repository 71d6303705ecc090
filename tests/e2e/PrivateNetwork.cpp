#include "PrivateNetwork.h"

#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>
#include <spawn.h>
#include <sys/wait.h>

#include <vector>

extern char** environ;

namespace e2e {
namespace {

bool g_private = false;
std::string g_problem = "the private network was not set up";

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
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return rc == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Command lines of the namespace's set-up, run in order.
const std::vector<std::vector<std::string>> kSetUp = {
    {"ip", "link", "set", "lo", "up"},
    {"ip", "link", "add", "lan0", "type", "veth", "peer", "name", "lan1"},
    {"ip", "addr", "add", std::string(kLanAddress) + "/24", "dev", "lan0"},
    {"ip", "link", "set", "lan0", "up"},
    {"ip", "link", "set", "lan1", "up"},
};

constexpr const char* kTable = "marquelin_e2e";

}  // namespace

bool EnterPrivateNetwork()
{
    if (unshare(CLONE_NEWNET) != 0) {
        g_problem = "cannot make a network namespace (needs CAP_SYS_ADMIN)";
        return false;
    }
    for (const std::vector<std::string>& command : kSetUp)
        if (!Run(command)) {
            g_problem = "network set-up failed at: " + command[0] + " " + command[1] + " " + command[2] + " " + command[3];
            return false;
        }
    g_private = true;
    return true;
}

bool InPrivateNetwork() { return g_private; }
const std::string& PrivateNetworkProblem() { return g_problem; }

bool PortIsFree(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    return free;
}

BlockedPort::BlockedPort(int port)
{
    active_ = g_private && Run({"nft", "add", "table", "inet", kTable})
           && Run({"nft", "add", "chain", "inet", kTable, "out", "{ type filter hook output priority 0; }"})
           && Run({"nft", "add", "rule", "inet", kTable, "out", "tcp", "dport", std::to_string(port), "drop"});
}

BlockedPort::~BlockedPort()
{
    if (g_private)
        Run({"nft", "delete", "table", "inet", kTable});
}

}  // namespace e2e
