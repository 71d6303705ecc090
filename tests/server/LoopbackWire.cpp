#include "LoopbackWire.h"

#include "RelayWire.h"

#include <openssl/ssl.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace server_tests {

LoopbackWire::LoopbackWire(uint16_t port, const char* source)
{
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    inet_pton(AF_INET, source, &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ >= 0
        && (bind(fd_, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0
            || connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)) {
        close(fd_);
        fd_ = -1;
    }
}

LoopbackWire::~LoopbackWire()
{
    tls_.reset();
    if (fd_ >= 0)
        close(fd_);
}

bool LoopbackWire::StartTls(int timeoutMs)
{
    static SSL_CTX* const context = SSL_CTX_new(TLS_client_method());
    signal(SIGPIPE, SIG_IGN);  // a write to a connection the server ended must fail, not end the test
    if (fd_ < 0)
        return false;
    tls_.reset(SSL_new(context), SSL_free);
    SSL_set_fd(tls_.get(), fd_);
    const timeval limit{timeoutMs / 1000, timeoutMs % 1000 * 1000};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    const bool done = SSL_connect(tls_.get()) == 1;
    if (!done)
        tls_.reset();
    return done;
}

bool LoopbackWire::Send(const std::string& bytes)
{
    if (fd_ < 0)
        return false;
    if (tls_)
        return SSL_write(tls_.get(), bytes.data(), static_cast<int>(bytes.size())) == static_cast<int>(bytes.size());
    return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

LoopbackWire::Fill LoopbackWire::Read(int timeoutMs)
{
    if (fd_ < 0)
        return Fill::Ended;
    if (!tls_ || SSL_pending(tls_.get()) == 0) {
        pollfd p{fd_, POLLIN, 0};
        const int ready = poll(&p, 1, timeoutMs);
        if (ready <= 0)
            return ready == 0 ? Fill::TimedOut : Fill::Ended;
    }
    char buffer[4096];
    const int n = tls_ ? SSL_read(tls_.get(), buffer, sizeof buffer)
                       : static_cast<int>(recv(fd_, buffer, sizeof buffer, 0));
    if (n <= 0)
        return Fill::Ended;
    pending_.append(buffer, static_cast<size_t>(n));
    return Fill::Bytes;
}

std::string LoopbackWire::ReadLine(int timeoutMs)
{
    while (pending_.find('\n') == std::string::npos) {
        if (Read(timeoutMs) != Fill::Bytes)
            return {};
    }
    const std::size_t lf = pending_.find('\n');
    std::string line = pending_.substr(0, lf);
    pending_.erase(0, lf + 1);
    return line;
}

std::string LoopbackWire::ReadToEnd(int timeoutMs, bool* ended)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    Fill last = Fill::Bytes;
    while (last == Fill::Bytes) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        last = Read(static_cast<int>(std::max<long>(0, left.count())));
    }
    if (ended)
        *ended = last == Fill::Ended;
    return std::exchange(pending_, {});
}

int HttpStatus(const std::string& reply)
{
    return reply.rfind("HTTP/1.", 0) == 0 && reply.size() > 12 ? std::atoi(reply.c_str() + 9) : 0;
}

std::string JoinLine(const std::string& sessaoId, const std::string& streamKey, const std::string& papel)
{
    return "JOIN|" + sessaoId + "|" + streamKey + "|" + papel + "|marquelin-relay-v1\n";
}

}  // namespace server_tests
