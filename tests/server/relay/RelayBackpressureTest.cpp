#include <fstream>
#include <thread>

#include "RelayFixture.h"

namespace relaytest {
namespace {

// The largest buffer the kernel may give a TCP socket (third field of the setting).
std::size_t KernelMax(const char* path)
{
    std::ifstream file(path);
    std::size_t low = 0, initial = 0, high = 0;
    file >> low >> initial >> high;
    return high;
}

// Sends until the kernel takes nothing for a while; returns how much it took.
std::size_t SendUntilStalled(RelayTestClient& writer, std::size_t ceiling)
{
    const std::string chunk(64 * 1024, 'b');
    std::size_t sent = 0;
    auto lastProgress = std::chrono::steady_clock::now();
    while (sent < ceiling && std::chrono::steady_clock::now() - lastProgress < milliseconds(500)) {
        const std::size_t n = writer.SendSome(chunk);
        if (n > 0) {
            sent += n;
            lastProgress = std::chrono::steady_clock::now();
        } else {
            std::this_thread::sleep_for(milliseconds(5));
        }
    }
    return sent;
}

class RelayBackpressure : public RelayFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        relay::RelayLimits limits = ShortLimits();
        limits.splice = GetParam();
        StartRelay(limits);
    }
};

// A tecnico that stops reading must stop its cliente: what the cliente gets
// rid of is bounded by the socket buffers on the way plus the relay's one
// buffer for that direction. A relay that queued without bound would take
// all of it.
TEST_P(RelayBackpressure, ASlowReaderStallsItsWriterAndTheRelayHoldsOneBuffer)
{
    constexpr int kClientBuffers = 64 * 1024;
    auto [cliente, tecnico] = Pair("s1", "k", kClientBuffers);
    const std::size_t ceiling = 256u << 20;
    const std::size_t sent = SendUntilStalled(*cliente, ceiling);

    // Both client sockets (doubled by the kernel), the relay's two sockets at
    // their largest, one relay buffer: a pipe when splicing, else a copy buffer.
    const relay::RelayLimits defaults;
    const std::size_t relayBuffer = GetParam() ? defaults.pipeBytes : defaults.bufferBytes;
    const std::size_t bound = 4 * kClientBuffers + KernelMax("/proc/sys/net/ipv4/tcp_rmem") +
                              KernelMax("/proc/sys/net/ipv4/tcp_wmem") + relayBuffer;
    EXPECT_LT(sent, ceiling);
    EXPECT_LE(sent, bound);

    // Reading again releases the writer, and nothing was lost or reordered.
    const std::string arrived = tecnico->ReadExactly(sent);
    EXPECT_EQ(arrived.size(), sent);
    EXPECT_EQ(arrived.find_first_not_of('b'), std::string::npos);
    cliente->Send("end\n");
    EXPECT_EQ(tecnico->ReadLine(), "end\n");
}

INSTANTIATE_TEST_SUITE_P(SplicedAndCopied, RelayBackpressure, ::testing::Bool());

}  // namespace
}  // namespace relaytest
