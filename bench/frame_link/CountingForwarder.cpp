#include "CountingForwarder.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace framelink {

namespace {

sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int BoundPort(int fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    return getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0 ? ntohs(address.sin_port) : 0;
}

// One direction: what was read from `from` and still has to go to `to`.
struct Pump {
    int from;
    int to;
    std::vector<char> buffer = std::vector<char>(64 * 1024);
    size_t begin = 0;
    size_t end = 0;
};

}  // namespace

int FreeLoopbackPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    const int port = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ? BoundPort(fd) : 0;
    if (fd >= 0)
        close(fd);
    return port;
}

std::unique_ptr<CountingForwarder> CountingForwarder::Open(int targetPort, std::string* problem)
{
    std::unique_ptr<CountingForwarder> forwarder(new CountingForwarder);
    forwarder->targetPort_ = targetPort;
    forwarder->listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    if (forwarder->listen_ < 0 || bind(forwarder->listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || listen(forwarder->listen_, 4) != 0) {
        *problem = "the forwarder cannot listen";
        return nullptr;
    }
    forwarder->port_ = BoundPort(forwarder->listen_);
    forwarder->stop_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    forwarder->thread_ = std::thread([raw = forwarder.get()] { raw->Run(); });
    return forwarder;
}

CountingForwarder::~CountingForwarder()
{
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        (void)!write(stop_, &one, sizeof one);
        thread_.join();
    }
    for (int fd : {listen_, stop_})
        if (fd >= 0)
            close(fd);
}

void CountingForwarder::Run()
{
    for (;;) {
        pollfd fds[2] = {{listen_, POLLIN, 0}, {stop_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
        if (!fds[0].revents)
            continue;
        const int accepted = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (accepted >= 0)
            Carry(accepted);
    }
}

// Until either side closes or the forwarder stops.
void CountingForwarder::Carry(int accepted)
{
    const int target = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(targetPort_);
    if (target < 0 || connect(target, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(accepted);
        if (target >= 0)
            close(target);
        return;
    }
    for (int fd : {accepted, target})
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    Pump pumps[2] = {{accepted, target}, {target, accepted}};
    for (bool open = true; open;) {
        pollfd fds[5];
        nfds_t count = 0;
        int slot[2][2];  // [pump][0 read, 1 write] -> index in fds, -1 none
        for (int p = 0; p < 2; ++p) {
            Pump& pump = pumps[p];
            const bool pending = pump.end > pump.begin;
            slot[p][0] = pending ? -1 : static_cast<int>(count);
            if (!pending)
                fds[count++] = {pump.from, POLLIN, 0};
            slot[p][1] = pending ? static_cast<int>(count) : -1;
            if (pending)
                fds[count++] = {pump.to, POLLOUT, 0};
        }
        fds[count++] = {stop_, POLLIN, 0};
        if (poll(fds, count, -1) < 0 && errno != EINTR)
            break;
        if (fds[count - 1].revents)
            break;
        for (int p = 0; p < 2 && open; ++p) {
            Pump& pump = pumps[p];
            if (slot[p][0] >= 0 && fds[slot[p][0]].revents) {
                const ssize_t n = read(pump.from, pump.buffer.data(), pump.buffer.size());
                if (n <= 0 && !(n < 0 && (errno == EINTR || errno == EAGAIN)))
                    open = false;
                else if (n > 0) {
                    pump.begin = 0;
                    pump.end = static_cast<size_t>(n);
                    bytes_ += static_cast<std::uint64_t>(n);
                }
            } else if (slot[p][1] >= 0 && fds[slot[p][1]].revents) {
                const ssize_t n = write(pump.to, pump.buffer.data() + pump.begin, pump.end - pump.begin);
                if (n < 0 && errno != EINTR && errno != EAGAIN)
                    open = false;
                else if (n > 0 && (pump.begin += static_cast<size_t>(n)) == pump.end)
                    pump.begin = pump.end = 0;
            }
        }
    }
    close(accepted);
    close(target);
}

}  // namespace framelink
