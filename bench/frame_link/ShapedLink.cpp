#include "ShapedLink.h"

#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>

extern char** environ;

namespace framelink {

namespace {

constexpr const char* kIp = "/usr/sbin/ip";
constexpr const char* kTc = "/usr/sbin/tc";
constexpr const char* kDevice = "mq0";

struct Packet {
    std::int64_t due;
    std::vector<std::uint8_t> bytes;
};

// A tun device named kDevice created inside the named namespace.
int OpenTunIn(const std::string& ns)
{
    const int self = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    const int target = open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
    int fd = -1;
    if (self >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0) {
        fd = open("/dev/net/tun", O_RDWR | O_CLOEXEC | O_NONBLOCK);
        ifreq request{};
        request.ifr_flags = IFF_TUN | IFF_NO_PI;
        std::strncpy(request.ifr_name, kDevice, IFNAMSIZ - 1);
        if (fd >= 0 && ioctl(fd, TUNSETIFF, &request) != 0) {
            close(fd);
            fd = -1;
        }
        setns(self, CLONE_NEWNET);
    }
    if (self >= 0)
        close(self);
    if (target >= 0)
        close(target);
    return fd;
}

bool Fail(std::string* problem, const std::string& why)
{
    *problem = why;
    return false;
}

}  // namespace

std::int64_t MonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int Spawn(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) == 0 ? pid : -1;
}

bool RunCommand(const std::vector<std::string>& argv)
{
    const pid_t pid = Spawn(argv);
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool ShapedLink::EnterPrivateNamespaces(std::string* problem)
{
    if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0)
        return Fail(problem, "cannot make network and mount namespaces (needs root)");
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return Fail(problem, "cannot make the mounts private");
    mkdir("/run/netns", 0755);
    if (mount("framelink", "/run/netns", "tmpfs", 0, "mode=0755") != 0)
        return Fail(problem, "cannot mount a private /run/netns");
    return RunCommand({kIp, "link", "set", "lo", "up"}) || Fail(problem, "no ip command");
}

std::vector<std::string> ShapedLink::RunIn(bool sideA) { return {kIp, "netns", "exec", sideA ? "fa" : "fb"}; }

std::unique_ptr<ShapedLink> ShapedLink::Open(int rateKbit, int oneWayDelayMs, std::string* problem)
{
    std::unique_ptr<ShapedLink> link(new ShapedLink);
    link->delayNs_ = static_cast<std::int64_t>(oneWayDelayMs) * 1000000;
    if (!RunCommand({kIp, "netns", "add", "fa"}) || !RunCommand({kIp, "netns", "add", "fb"})) {
        *problem = "cannot add the namespaces";
        return nullptr;
    }
    link->tunA_ = OpenTunIn("fa");
    link->tunB_ = OpenTunIn("fb");
    if (link->tunA_ < 0 || link->tunB_ < 0) {
        *problem = "cannot make the tun devices";
        return nullptr;
    }
    const std::vector<std::vector<std::string>> commands = {
        // A relay beside one computer is another machine on a fast network,
        // not the 64 KiB segments of loopback.
        {kIp, "-n", "fa", "link", "set", "lo", "mtu", "1500", "up"},
        {kIp, "-n", "fb", "link", "set", "lo", "mtu", "1500", "up"},
        {kIp, "-n", "fa", "addr", "add", kAddressA, "peer", kAddressB, "dev", kDevice},
        {kIp, "-n", "fb", "addr", "add", kAddressB, "peer", kAddressA, "dev", kDevice},
        {kIp, "-n", "fa", "link", "set", kDevice, "up"},
        {kIp, "-n", "fb", "link", "set", kDevice, "up"},
    };
    for (const auto& command : commands)
        if (!RunCommand(command)) {
            *problem = "link set-up failed at: " + command[3] + " " + command[4];
            return nullptr;
        }
    if (rateKbit > 0) {
        // A burst of about 10 ms of the rate (never under two packets), a
        // queue of 200 ms, as a home router's upstream might have.
        const int burst = std::max(3000, rateKbit * 1000 / 8 / 100);
        if (!RunCommand({kTc, "-n", "fa", "qdisc", "add", "dev", kDevice, "root", "tbf", "rate",
                         std::to_string(rateKbit) + "kbit", "burst", std::to_string(burst), "latency", "200ms"})) {
            *problem = "tc tbf refused";
            return nullptr;
        }
    }
    link->stop_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    link->thread_ = std::thread([raw = link.get()] { raw->DelayLine(); });
    return link;
}

ShapedLink::~ShapedLink()
{
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        (void)!write(stop_, &one, sizeof one);
        thread_.join();
    }
    for (int fd : {tunA_, tunB_, stop_})
        if (fd >= 0)
            close(fd);
    RunCommand({kIp, "netns", "del", "fa"});
    RunCommand({kIp, "netns", "del", "fb"});
}

// Every packet read from one tun device is written to the other once its
// delay has passed; the order of each direction is kept.
void ShapedLink::DelayLine()
{
    std::deque<Packet> queues[2];
    const int from[2] = {tunA_, tunB_};
    std::atomic<std::uint64_t>* counted[2] = {&aToB_, &bToA_};
    std::vector<std::uint8_t> buffer(65536);
    for (;;) {
        std::int64_t next = -1;
        for (const auto& queue : queues)
            if (!queue.empty() && (next < 0 || queue.front().due < next))
                next = queue.front().due;
        timespec wait{};
        timespec* timeout = nullptr;
        if (next >= 0) {
            const std::int64_t left = std::max<std::int64_t>(0, next - MonotonicNs());
            wait.tv_sec = left / 1000000000;
            wait.tv_nsec = left % 1000000000;
            timeout = &wait;
        }
        pollfd fds[3] = {{tunA_, POLLIN, 0}, {tunB_, POLLIN, 0}, {stop_, POLLIN, 0}};
        if (ppoll(fds, 3, timeout, nullptr) < 0 && errno != EINTR)
            return;
        if (fds[2].revents)
            return;
        const std::int64_t now = MonotonicNs();
        for (int side = 0; side < 2; ++side)
            for (;;) {
                const ssize_t n = read(from[side], buffer.data(), buffer.size());
                if (n <= 0)
                    break;
                queues[side].push_back({now + delayNs_, {buffer.begin(), buffer.begin() + n}});
            }
        for (int side = 0; side < 2; ++side)
            while (!queues[side].empty() && queues[side].front().due <= MonotonicNs()) {
                const Packet& packet = queues[side].front();
                if (write(from[1 - side], packet.bytes.data(), packet.bytes.size()) > 0)
                    counted[side]->fetch_add(packet.bytes.size());
                queues[side].pop_front();
            }
    }
}

}  // namespace framelink
