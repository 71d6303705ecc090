#pragma once

#include <boost/system/error_code.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "relay/BufferPool.h"
#include "relay/SplicePipe.h"

namespace relay {

class RelaySide;
struct RelayState;

// A paired session: two one-way pumps, each reading its source only after the
// previous write to its target completed, so a slow reader slows its writer
// and a session holds at most one small buffer per direction, and only while
// bytes flow. The buffer is a kernel pipe moved through with splice(); a plain
// buffer copied through only when no pipe can be had. The sockets' own
// buffers are kept to about two round trips of their paths, so what waits
// for a slow reader is tens of KiB and backpressure reaches the writer at
// once. Either end ends both: the direction that ended has nothing in
// flight, the other may finish its last write within the linger time.
// Single-threaded.
class RelayBridge : public std::enable_shared_from_this<RelayBridge> {
public:
    RelayBridge(std::shared_ptr<RelaySide> cliente, std::shared_ptr<RelaySide> tecnico);
    ~RelayBridge();

    // Each side gets "OK|CONECTADO" and then what its partner sent early.
    void Start();
    void End(const std::string& cause);

private:
    struct Pump {
        RelaySide* from = nullptr;
        RelaySide* to = nullptr;
        const char* name = "";
        std::optional<SplicePipe> pipe;
        std::size_t inPipe = 0;
        RelayBuffer buffer;
        std::uint64_t bytes = 0;
        bool writing = false;
        std::chrono::steady_clock::time_point fittedAt{};
    };

    void SendPairedReply(Pump& pump);
    void Read(Pump& pump);
    void SpliceBurst(Pump& pump);
    // Moves what the pipe holds to the target; false when that has to wait or failed.
    bool FlushPipe(Pump& pump);
    void CopyBurst(Pump& pump);
    void ReleaseBuffers(Pump& pump);
    // The source's receive and the target's send buffer sized to the paths
    // as the system measures them now (at most every 100 ms).
    void FitToPaths(Pump& pump);
    void Yield(Pump& pump);
    void AwaitReadable(Pump& pump);
    // The rest of a chunk the target did not take at once.
    void Write(Pump& pump, std::size_t offset, std::size_t n);
    // Completion of any write: go on reading, or let the closing target go.
    void OnWritten(Pump& pump, const boost::system::error_code& ec, const char* what);
    void EndOnError(const RelaySide& side, const boost::system::error_code& ec, const char* what);

    std::shared_ptr<RelayState> state_;
    std::shared_ptr<RelaySide> cliente_;
    std::shared_ptr<RelaySide> tecnico_;
    Pump toTecnico_;
    Pump toCliente_;
    bool ended_ = false;
};

}  // namespace relay
