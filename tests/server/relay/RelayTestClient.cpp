#include "RelayTestClient.h"

#include "core/link/LinkKeys.h"

#include <openssl/ssl.h>

#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace relaytest {

namespace {

sockaddr_in LoopbackAddress(const char* text, unsigned short port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, text, &address.sin_addr);
    return address;
}

std::chrono::steady_clock::time_point After(milliseconds patience) { return std::chrono::steady_clock::now() + patience; }

}  // namespace

RelayTestClient::RelayTestClient(unsigned short port, const char* sourceAddress, int bufferBytes)
{
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (bufferBytes > 0) {
        setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes);
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    }
    const sockaddr_in source = LoopbackAddress(sourceAddress ? sourceAddress : "0.0.0.0", 0);
    const sockaddr_in relay = LoopbackAddress("127.0.0.1", port);
    if ((sourceAddress && bind(fd_, reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0)
        || connect(fd_, reinterpret_cast<const sockaddr*>(&relay), sizeof relay) != 0)
        throw std::runtime_error("connect to the server failed");
}

RelayTestClient::~RelayTestClient() { Close(); }

bool RelayTestClient::StartTls()
{
    static SSL_CTX* const context = SSL_CTX_new(TLS_client_method());
    signal(SIGPIPE, SIG_IGN);  // writing to a connection the server ended must fail, not end the test
    tls_.reset(SSL_new(context), SSL_free);
    SSL_set_fd(tls_.get(), fd_);
    return SSL_connect(tls_.get()) == 1;
}

void RelayTestClient::Send(std::string_view bytes)
{
    for (std::size_t n; !bytes.empty(); bytes.remove_prefix(n))
        if ((n = SendSome(bytes)) == 0)
            throw std::runtime_error("send to the server failed");
}

std::size_t RelayTestClient::SendSome(std::string_view bytes)
{
    const ssize_t n = tls_ ? SSL_write(tls_.get(), bytes.data(), static_cast<int>(bytes.size()))
                           : send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

bool RelayTestClient::Fill(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd ready{fd_, POLLIN, 0};
    if (ended_ || ((!tls_ || SSL_pending(tls_.get()) == 0) && poll(&ready, 1, std::max<int>(0, left.count())) <= 0))
        return false;
    char chunk[64 * 1024];
    const ssize_t n = tls_ ? SSL_read(tls_.get(), chunk, sizeof chunk) : recv(fd_, chunk, sizeof chunk, 0);
    ended_ = n <= 0;
    pending_.append(chunk, ended_ ? 0 : static_cast<std::size_t>(n));
    return !ended_;
}

std::string RelayTestClient::Take(std::size_t n)
{
    std::string bytes = pending_.substr(0, n);
    pending_.erase(0, bytes.size());
    return bytes;
}

std::string RelayTestClient::ReadLine(milliseconds patience)
{
    const auto deadline = After(patience);
    while (pending_.find('\n') == std::string::npos)
        if (!Fill(deadline))
            return {};
    return Take(pending_.find('\n') + 1);
}

std::string RelayTestClient::ReadExactly(std::size_t n, milliseconds patience)
{
    const auto deadline = After(patience);
    while (pending_.size() < n && Fill(deadline)) {
    }
    return Take(n);
}

bool RelayTestClient::WaitClosed(milliseconds patience)
{
    const auto deadline = After(patience);
    while (Fill(deadline))
        pending_.clear();
    return ended_;
}

bool RelayTestClient::StaysQuiet(milliseconds quiet)
{
    const std::size_t before = pending_.size();
    Fill(After(quiet));
    return pending_.size() == before && !ended_;
}

void RelayTestClient::ShutdownSend() { shutdown(fd_, SHUT_WR); }

void RelayTestClient::Close()
{
    tls_.reset();
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    ended_ = true;
}

std::string JoinLine(std::string_view sessaoId, std::string_view streamKey, std::string_view role,
                     std::string_view tag)
{
    return "JOIN|" + std::string(sessaoId) + "|" + std::string(streamKey) + "|" + std::string(role) + "|"
        + std::string(tag) + "\n";
}

std::string Join2Line(std::string_view sessaoId, std::string_view role)
{
    std::string line = "JOIN2|";
    line.append(sessaoId).append("|").append(role).append("|marquelin-relay-v2\n");
    return line;
}

std::string SendJoinV2(RelayTestClient& client, const std::string& sessaoId, const std::string& streamKey,
                       const std::string& role)
{
    const std::string join = Join2Line(sessaoId, role);
    client.Send(join);
    const std::string prefix = "DESAFIO|";
    const std::string challenge = client.ReadLine();
    if (challenge.rfind(prefix, 0) != 0 || challenge.size() != prefix.size() + 65)
        return {};
    const std::string proof =
        "PROVA|" + linkkeys::RelayJoinProof(streamKey, sessaoId, role, challenge.substr(prefix.size(), 64)) + "\n";
    client.Send(proof);
    return join + proof;
}

}  // namespace relaytest
