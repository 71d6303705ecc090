#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace relay {

// A kernel pipe that a pump moves bytes through with splice(): from the
// source socket into the pipe and from the pipe into the target socket, with
// no copy through the relay's memory. Its size is the direction's one buffer.
class SplicePipe {
public:
    SplicePipe(int readEnd, int writeEnd) : readEnd_(readEnd), writeEnd_(writeEnd) {}
    SplicePipe(SplicePipe&& other) noexcept;
    SplicePipe& operator=(SplicePipe&& other) noexcept;
    SplicePipe(const SplicePipe&) = delete;
    ~SplicePipe();

    int ReadEnd() const { return readEnd_; }
    int WriteEnd() const { return writeEnd_; }

private:
    void Close();

    int readEnd_ = -1;
    int writeEnd_ = -1;
};

// Empty pipes kept for reuse, so a pump that goes idle and wakes again does
// not pay for two descriptors each time. Single-threaded.
class PipePool {
public:
    PipePool(std::size_t pipeBytes, std::size_t maxSpare) : pipeBytes_(pipeBytes), maxSpare_(maxSpare) {}

    // Nothing when the process is out of descriptors; the pump then copies.
    std::optional<SplicePipe> Acquire();
    // Only an empty pipe may come back.
    void Release(SplicePipe pipe);

    std::size_t PipeBytes() const { return pipeBytes_; }

private:
    std::size_t pipeBytes_;
    std::size_t maxSpare_;
    std::vector<SplicePipe> spare_;
};

}  // namespace relay
