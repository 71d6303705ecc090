#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace framelink {

// A TCP forwarder on loopback that counts the bytes it carries, so two
// programs' links are counted the same way whatever they speak: it listens
// on a free port of 127.0.0.1 and joins each connection it accepts to
// targetPort, one connection at a time, reading a direction again only
// once what it read went out (the sender feels the receiver's pace).
class CountingForwarder {
public:
    static std::unique_ptr<CountingForwarder> Open(int targetPort, std::string* problem);
    ~CountingForwarder();
    CountingForwarder(const CountingForwarder&) = delete;
    CountingForwarder& operator=(const CountingForwarder&) = delete;

    int Port() const { return port_; }
    // Payload bytes carried so far, both directions.
    std::uint64_t Bytes() const { return bytes_.load(); }

private:
    CountingForwarder() = default;
    void Run();
    void Carry(int accepted);

    int listen_ = -1;
    int stop_ = -1;  // eventfd
    int port_ = 0;
    int targetPort_ = 0;
    std::atomic<std::uint64_t> bytes_{0};
    std::thread thread_;
};

// A port of 127.0.0.1 no one listens on now.
int FreeLoopbackPort();

}  // namespace framelink
