#include "BenchSockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace relaybench {

namespace {

sockaddr_in Loopback(unsigned short port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

void NoDelay(int fd)
{
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

int ConnectLoopback(unsigned short port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = Loopback(port);
    if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("connect failed");
    NoDelay(fd);
    return fd;
}

void DirectPair(int& writer, int& reader)
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    listen(listener, 1);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    writer = ConnectLoopback(ntohs(address.sin_port));
    reader = accept(listener, nullptr, nullptr);
    NoDelay(reader);
    close(listener);
}

void SendAll(int fd, const char* data, std::size_t n)
{
    while (n > 0) {
        const ssize_t sent = send(fd, data, n, MSG_NOSIGNAL);
        if (sent <= 0)
            throw std::runtime_error("send failed");
        data += sent;
        n -= static_cast<std::size_t>(sent);
    }
}

bool ReceiveAll(int fd, std::size_t n)
{
    static thread_local std::vector<char> scratch(256 * 1024);
    while (n > 0) {
        const ssize_t got = recv(fd, scratch.data(), std::min(n, scratch.size()), 0);
        if (got <= 0)
            return false;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

std::string ReceiveLine(int fd)
{
    std::string line;
    char c = 0;
    while (recv(fd, &c, 1, 0) == 1) {
        line += c;
        if (c == '\n')
            break;
    }
    return line;
}

std::string JoinLine(const std::string& sessaoId, const std::string& role)
{
    return "JOIN|" + sessaoId + "|bench-key|" + role + "|marquelin-relay-v1\n";
}

}  // namespace relaybench
