#pragma once

#include <cstdint>
#include <string>

// A blocking loopback TCP client for the relay's Join line and its replies:
// enough to see that the relay asks the real store.

namespace server_tests {

class RelayWire {
public:
    explicit RelayWire(uint16_t port);
    ~RelayWire();
    RelayWire(const RelayWire&) = delete;
    RelayWire& operator=(const RelayWire&) = delete;

    bool Connected() const { return fd_ >= 0; }
    void Send(const std::string& bytes);
    // One line without its LF; "" after the time-out or when the relay closed.
    std::string ReadLine(int timeoutMs = 5000);

private:
    int fd_ = -1;
    std::string pending_;
};

std::string JoinLine(const std::string& sessaoId, const std::string& streamKey, const std::string& papel);

}  // namespace server_tests
