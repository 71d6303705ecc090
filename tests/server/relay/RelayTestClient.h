#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "support/HangLimit.h"

struct ssl_st;

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
    explicit RelayTestClient(unsigned short port, const char* sourceAddress = nullptr, int bufferBytes = 0);
    ~RelayTestClient();
    RelayTestClient(const RelayTestClient&) = delete;
    RelayTestClient& operator=(const RelayTestClient&) = delete;

    // False when the handshake fails or the server ends the connection first.
    bool StartTls();
    void Send(std::string_view bytes);
    // Nonblocking send; how many bytes the kernel took.
    std::size_t SendSome(std::string_view bytes);
    // The next line with its LF; empty on EOF or time-out.
    std::string ReadLine(milliseconds patience = kPatience);
    // Exactly n bytes, or fewer on EOF or time-out.
    std::string ReadExactly(std::size_t n, milliseconds patience = kPatience);
    // True when the relay ends the connection (FIN or reset) within the time;
    // whatever arrives meanwhile is dropped.
    bool WaitClosed(milliseconds patience = kPatience);
    // True when neither bytes nor an end arrive within the time.
    bool StaysQuiet(milliseconds quiet);

    void ShutdownSend();
    void Close();

private:
    // Waits for input and appends it to pending_; false on time-out, EOF or error.
    bool Fill(std::chrono::steady_clock::time_point deadline);
    // The first n pending bytes (fewer when fewer are pending), no longer pending.
    std::string Take(std::size_t n);

    int fd_ = -1;
    std::shared_ptr<ssl_st> tls_;
    bool ended_ = false;
    std::string pending_;
};

std::string JoinLine(std::string_view sessaoId, std::string_view streamKey, std::string_view role,
                     std::string_view tag = "marquelin-relay-v1");
std::string Join2Line(std::string_view sessaoId, std::string_view role);

// A version-2 Join: the line, then the proof for the challenge the relay
// sends, made with `streamKey`. Returns every byte sent, "" when no challenge came.
std::string SendJoinV2(RelayTestClient& client, const std::string& sessaoId, const std::string& streamKey,
                       const std::string& role);

}  // namespace relaytest
