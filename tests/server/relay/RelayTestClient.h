#pragma once

#include "core/link/LinkKeys.h"
#include "support/HangLimit.h"

#include <openssl/ssl.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace relaytest {

using std::chrono::milliseconds;
// Only a hang should run out of it; waits end with what they wait for.
inline constexpr milliseconds kPatience{testing_support::kHangMs};

// One peer of the relay, or of the web service, on the test's side: a
// blocking loopback socket whose every wait has a deadline, so a server that
// misbehaves fails a test rather than hanging it. StartTls() speaks TLS on it
// from then on (the server's certificate is not checked).
class RelayTestClient {
public:
    // Connects to 127.0.0.1:port, from `sourceAddress` when given; `bufferBytes`
    // fixes both socket buffers (before connecting, so the kernel cannot grow them).
    explicit RelayTestClient(unsigned short port, const char* sourceAddress = nullptr, int bufferBytes = 0)
        : fd_(socket(AF_INET, SOCK_STREAM, 0))
    {
        if (bufferBytes > 0) {
            setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes);
            setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
        }
        const sockaddr_in source = Address(sourceAddress ? sourceAddress : "0.0.0.0", 0);
        const sockaddr_in server = Address("127.0.0.1", port);
        if ((sourceAddress && bind(fd_, reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0)
            || connect(fd_, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0)
            throw std::runtime_error("connect to the server failed");
    }
    ~RelayTestClient()
    {
        tls_.reset();
        close(fd_);
    }
    RelayTestClient(const RelayTestClient&) = delete;
    RelayTestClient& operator=(const RelayTestClient&) = delete;

    // False when the handshake fails or the server ends the connection first.
    bool StartTls()
    {
        static SSL_CTX* const context = SSL_CTX_new(TLS_client_method());
        signal(SIGPIPE, SIG_IGN);  // writing to a connection the server ended must fail, not end the test
        tls_.reset(SSL_new(context), SSL_free);
        SSL_set_fd(tls_.get(), fd_);
        return SSL_connect(tls_.get()) == 1;
    }

    void Send(std::string_view bytes)
    {
        for (std::size_t n; !bytes.empty(); bytes.remove_prefix(n))
            if ((n = SendSome(bytes)) == 0)
                throw std::runtime_error("send to the server failed");
    }

    // Nonblocking send; how many bytes the kernel took.
    std::size_t SendSome(std::string_view bytes)
    {
        const ssize_t n = tls_ ? SSL_write(tls_.get(), bytes.data(), static_cast<int>(bytes.size()))
                               : send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }

    // The next line with its LF; empty on EOF or time-out.
    std::string ReadLine(milliseconds patience = kPatience)
    {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (pending_.find('\n') == std::string::npos)
            if (!Fill(deadline))
                return {};
        return Take(pending_.find('\n') + 1);
    }

    // Exactly n bytes, or fewer on EOF or time-out.
    std::string ReadExactly(std::size_t n, milliseconds patience = kPatience)
    {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (pending_.size() < n && Fill(deadline))
            continue;
        return Take(n);
    }

    // True when the server ends the connection (FIN or reset) within the time;
    // whatever arrives meanwhile is dropped.
    bool WaitClosed(milliseconds patience = kPatience)
    {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (Fill(deadline))
            pending_.clear();
        return ended_;
    }

    // True when neither bytes nor an end arrive within the time.
    bool StaysQuiet(milliseconds quiet)
    {
        const std::size_t before = pending_.size();
        Fill(std::chrono::steady_clock::now() + quiet);
        return pending_.size() == before && !ended_;
    }

    void ShutdownSend() { shutdown(fd_, SHUT_WR); }

private:
    static sockaddr_in Address(const char* text, unsigned short port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        inet_pton(AF_INET, text, &address.sin_addr);
        return address;
    }

    // Waits for input and appends it to pending_; false on time-out, EOF or error.
    bool Fill(std::chrono::steady_clock::time_point deadline)
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

    // The first n pending bytes (fewer when fewer are pending), no longer pending.
    std::string Take(std::size_t n)
    {
        std::string bytes = pending_.substr(0, n);
        pending_.erase(0, bytes.size());
        return bytes;
    }

    int fd_;
    std::shared_ptr<ssl_st> tls_;
    bool ended_ = false;
    std::string pending_;
};

inline std::string JoinLine(std::string_view sessaoId, std::string_view streamKey, std::string_view role,
                            std::string_view tag = "marquelin-relay-v1")
{
    std::string line = "JOIN|";
    line.append(sessaoId).append("|").append(streamKey).append("|").append(role).append("|").append(tag);
    return line + "\n";
}

inline std::string Join2Line(std::string_view sessaoId, std::string_view role)
{
    std::string line = "JOIN2|";
    return line.append(sessaoId).append("|").append(role).append("|marquelin-relay-v2\n");
}

// A version-2 Join: the line, then the proof for the challenge the relay
// sends, made with `streamKey`. Returns every byte sent, "" when no challenge came.
inline std::string SendJoinV2(RelayTestClient& client, const std::string& sessaoId, const std::string& streamKey,
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
