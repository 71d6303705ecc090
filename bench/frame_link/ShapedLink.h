#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace framelink {

// Two computers on one machine: network namespaces "fa" (10.77.0.1) and
// "fb" (10.77.0.2) joined by one point-to-point link whose every packet
// waits a fixed time each way, and whose direction from fa to fb is shaped
// by tc tbf to a rate with a queue of 200 ms; within a namespace, loopback
// carries Ethernet-sized packets, as between two machines on a fast network
// (a relay beside one of the computers). The delay is a user-space
// delay line between two tun devices, since this kernel has no netem.
// The namespaces hang off a private mount namespace (EnterPrivateNamespaces,
// before any thread starts), so they vanish with the process.
class ShapedLink {
public:
    static constexpr const char* kAddressA = "10.77.0.1";
    static constexpr const char* kAddressB = "10.77.0.2";

    // Needs root. False, with why, when the namespaces cannot be had.
    static bool EnterPrivateNamespaces(std::string* problem);
    // rateKbit 0: no shaping.
    static std::unique_ptr<ShapedLink> Open(int rateKbit, int oneWayDelayMs, std::string* problem);
    ~ShapedLink();
    ShapedLink(const ShapedLink&) = delete;
    ShapedLink& operator=(const ShapedLink&) = delete;

    // The command prefix that runs a program in fa or fb.
    static std::vector<std::string> RunIn(bool sideA);

    // Bytes of IP packets delivered so far, headers included.
    std::uint64_t BytesAToB() const { return aToB_.load(); }
    std::uint64_t BytesBToA() const { return bToA_.load(); }

private:
    ShapedLink() = default;
    void DelayLine();

    int tunA_ = -1;
    int tunB_ = -1;
    int stop_ = -1;  // eventfd
    std::int64_t delayNs_ = 0;
    std::atomic<std::uint64_t> aToB_{0};
    std::atomic<std::uint64_t> bToA_{0};
    std::thread thread_;
};

// Starts argv (no shell, found on PATH); -1 when it cannot.
int Spawn(const std::vector<std::string>& argv);
// Runs argv and waits; true on exit status 0.
bool RunCommand(const std::vector<std::string>& argv);

std::int64_t MonotonicNs();

}  // namespace framelink
