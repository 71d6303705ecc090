#include "relay/SplicePipe.h"

#include <fcntl.h>
#include <unistd.h>

namespace relay {

SplicePipe::SplicePipe(SplicePipe&& other) noexcept : readEnd_(other.readEnd_), writeEnd_(other.writeEnd_)
{
    other.readEnd_ = other.writeEnd_ = -1;
}

SplicePipe& SplicePipe::operator=(SplicePipe&& other) noexcept
{
    if (this != &other) {
        Close();
        readEnd_ = other.readEnd_;
        writeEnd_ = other.writeEnd_;
        other.readEnd_ = other.writeEnd_ = -1;
    }
    return *this;
}

SplicePipe::~SplicePipe() { Close(); }

void SplicePipe::Close()
{
    if (readEnd_ >= 0)
        close(readEnd_);
    if (writeEnd_ >= 0)
        close(writeEnd_);
    readEnd_ = writeEnd_ = -1;
}

std::optional<SplicePipe> PipePool::Acquire()
{
    if (!spare_.empty()) {
        SplicePipe pipe = std::move(spare_.back());
        spare_.pop_back();
        return pipe;
    }
    int ends[2];
    if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0)
        return std::nullopt;
    // The kernel rounds the size up to whole pages; a refusal leaves its default.
    fcntl(ends[1], F_SETPIPE_SZ, static_cast<int>(pipeBytes_));
    return SplicePipe(ends[0], ends[1]);
}

void PipePool::Release(SplicePipe pipe)
{
    if (spare_.size() < maxSpare_)
        spare_.push_back(std::move(pipe));
}

}  // namespace relay
