#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct ssl_st;

// A blocking loopback client for tests that speak to the server's ports
// byte by byte: from a chosen 127/8 source address, in plain TCP or TLS (the
// server's certificate is not checked), every wait with a deadline.

namespace server_tests {

class LoopbackWire {
public:
    explicit LoopbackWire(uint16_t port, const char* source = "127.0.0.1");
    ~LoopbackWire();
    LoopbackWire(const LoopbackWire&) = delete;
    LoopbackWire& operator=(const LoopbackWire&) = delete;

    bool Connected() const { return fd_ >= 0; }
    // The TLS handshake; false when it fails or the server closes first.
    bool StartTls(int timeoutMs = 5000);
    // False once the connection is gone.
    bool Send(const std::string& bytes);
    // One line without its LF; "" after the time-out or when the peer closed.
    std::string ReadLine(int timeoutMs = 5000);
    // What arrives until the peer ends the connection; `ended` says whether it did in time.
    std::string ReadToEnd(int timeoutMs, bool* ended = nullptr);

private:
    enum class Fill { Bytes, TimedOut, Ended };
    // Appends what arrives within the time to pending_.
    Fill Read(int timeoutMs);

    int fd_ = -1;
    std::shared_ptr<ssl_st> tls_;
    std::string pending_;
};

// The status of an HTTP reply ("HTTP/1.1 501 ..." gives 501), 0 for none.
int HttpStatus(const std::string& reply);

}  // namespace server_tests
