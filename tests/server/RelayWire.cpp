#include "RelayWire.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace server_tests {

RelayWire::RelayWire(uint16_t port)
{
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

RelayWire::~RelayWire()
{
    if (fd_ >= 0)
        close(fd_);
}

void RelayWire::Send(const std::string& bytes)
{
    if (fd_ >= 0)
        [[maybe_unused]] const ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

std::string RelayWire::ReadLine(int timeoutMs)
{
    while (fd_ >= 0 && pending_.find('\n') == std::string::npos) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0)
            return {};
        char buffer[512];
        const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0)
            return {};
        pending_.append(buffer, static_cast<size_t>(n));
    }
    const std::size_t lf = pending_.find('\n');
    if (lf == std::string::npos)
        return {};
    std::string line = pending_.substr(0, lf);
    pending_.erase(0, lf + 1);
    return line;
}

std::string JoinLine(const std::string& sessaoId, const std::string& streamKey, const std::string& papel)
{
    return "JOIN|" + sessaoId + "|" + streamKey + "|" + papel + "|marquelin-relay-v1\n";
}

}  // namespace server_tests
