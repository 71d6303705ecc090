#pragma once

#include "core/imaging/ScreenSource.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

// The latest picture of a stream, BGRX rows, as PipeWire shared it.
struct StreamPicture {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

// One video stream of a PipeWire connection, received on PipeWire's own
// thread: the latest good buffer is held (not copied) until a newer one
// comes, and the pointer is taken from the buffers' metadata. Shared-memory
// buffers in BGRx or BGRA only. The methods may be called from any one
// thread; they take the stream thread's lock.
class PipeWireStream {
public:
    // Connects through `fd` (taken) to `node` and waits up to `ms` for the
    // first picture. Without one: nothing, and `error` says why.
    static std::unique_ptr<PipeWireStream> Open(int fd, std::uint32_t node, int ms, QString* error);
    ~PipeWireStream();
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    // Hands the latest picture to `read` while it is held still. False, with
    // `error`, once the stream has ended or broken.
    bool Read(const std::function<void(const StreamPicture&)>& read, QString* error);
    // The pointer on the stream's picture; no pixels when hidden.
    void Cursor(imaging::CursorImage* into);

    struct Impl;

private:
    explicit PipeWireStream(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
