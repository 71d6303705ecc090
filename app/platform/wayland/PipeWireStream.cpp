#include "platform/wayland/PipeWireStream.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <spa/utils/result.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int kMaxSide = 16384;
constexpr int kMaxCursorSide = 256;

constexpr std::uint32_t CursorMetaSize(std::uint32_t side)
{
    return sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap) + side * side * 4;
}

}  // namespace

struct PipeWireStream::Impl {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    pw_registry* registry = nullptr;
    spa_hook coreListener{};
    spa_hook streamListener{};
    spa_hook registryListener{};
    std::uint32_t node = 0;

    // Written on PipeWire's thread, read under the loop's lock.
    spa_video_info_raw format{};
    pw_buffer* held = nullptr;
    QString failure;
    imaging::CursorImage cursor;

    ~Impl()
    {
        if (loop)
            pw_thread_loop_stop(loop);
        if (stream)
            pw_stream_destroy(stream);
        if (registry)
            pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry));
        if (core)
            pw_core_disconnect(core);
        if (context)
            pw_context_destroy(context);
        if (loop)
            pw_thread_loop_destroy(loop);
    }

    void Fail(const QString& why)
    {
        if (failure.isEmpty())
            failure = why;
        pw_thread_loop_signal(loop, false);
    }

    bool Usable(const pw_buffer* buffer, QString* problem) const;
    void TakeCursor(const spa_buffer* buffer);
    void Negotiated(const spa_pod* param);
    bool Connect(int fd, std::uint32_t node, QString* error);
};

bool PipeWireStream::Impl::Usable(const pw_buffer* buffer, QString* problem) const
{
    const spa_buffer* b = buffer->buffer;
    if (b->n_datas < 1 || !b->datas[0].data || !b->datas[0].chunk || b->datas[0].chunk->size == 0)
        return false;  // a pointer-only update
    const auto* header = static_cast<const spa_meta_header*>(spa_buffer_find_meta_data(b, SPA_META_Header, sizeof(spa_meta_header)));
    if (header && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED))
        return false;
    const spa_data& d = b->datas[0];
    const std::uint64_t width = format.size.width, height = format.size.height;
    const std::uint64_t stride = d.chunk->stride > 0 ? static_cast<std::uint64_t>(d.chunk->stride) : width * 4;
    if (stride < width * 4 || d.chunk->offset + stride * (height - 1) + width * 4 > d.maxsize) {
        *problem = QStringLiteral("the screen stream sent a picture of %1 bytes for %2 × %3 pixels")
                       .arg(d.maxsize).arg(width).arg(height);
        return false;
    }
    return true;
}

void PipeWireStream::Impl::TakeCursor(const spa_buffer* b)
{
    const spa_meta* meta = spa_buffer_find_meta(b, SPA_META_Cursor);
    if (!meta || meta->size < sizeof(spa_meta_cursor))
        return;
    const auto* c = static_cast<const spa_meta_cursor*>(meta->data);
    if (!spa_meta_cursor_is_valid(c)) {
        cursor.argb.clear();
        return;
    }
    cursor.x = c->position.x;
    cursor.y = c->position.y;
    if (c->bitmap_offset == 0 || c->bitmap_offset + sizeof(spa_meta_bitmap) > meta->size)
        return;  // the same image as before, moved
    const auto* bitmap = SPA_PTROFF(c, c->bitmap_offset, const spa_meta_bitmap);
    const std::uint32_t w = bitmap->size.width, h = bitmap->size.height;
    const bool rgba = bitmap->format == SPA_VIDEO_FORMAT_RGBA, bgra = bitmap->format == SPA_VIDEO_FORMAT_BGRA;
    const std::uint64_t end = c->bitmap_offset + std::uint64_t(bitmap->offset) + std::uint64_t(bitmap->stride) * h;
    if ((!rgba && !bgra) || w > kMaxCursorSide || h > kMaxCursorSide || bitmap->stride < int32_t(w * 4) || end > meta->size) {
        cursor.argb.clear();
        return;
    }
    cursor.hotX = c->hotspot.x;
    cursor.hotY = c->hotspot.y;
    cursor.width = int(w);
    cursor.height = int(h);
    cursor.argb.resize(std::size_t(w) * h);
    const auto* pixels = SPA_PTROFF(bitmap, bitmap->offset, const std::uint8_t);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint8_t* p = pixels + std::size_t(y) * bitmap->stride + x * 4;
            const std::uint32_t r = rgba ? p[0] : p[2], b2 = rgba ? p[2] : p[0];
            cursor.argb[y * w + x] = std::uint32_t(p[3]) << 24 | r << 16 | std::uint32_t(p[1]) << 8 | b2;
        }
}

void PipeWireStream::Impl::Negotiated(const spa_pod* param)
{
    spa_video_info_raw raw{};
    if (spa_format_video_raw_parse(param, &raw) < 0
        || (raw.format != SPA_VIDEO_FORMAT_BGRx && raw.format != SPA_VIDEO_FORMAT_BGRA) || raw.size.width == 0
        || raw.size.height == 0 || raw.size.width > kMaxSide || raw.size.height > kMaxSide) {
        Fail(QStringLiteral("the screen stream offered no picture format that can be read"));
        return;
    }
    format = raw;
    std::uint8_t storage[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof(storage));
    const spa_pod* params[3];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(4, 2, 16), SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
        SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
    params[2] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
        SPA_PARAM_META_size,
        SPA_POD_CHOICE_RANGE_Int(CursorMetaSize(64), CursorMetaSize(1), CursorMetaSize(kMaxCursorSide))));
    pw_stream_update_params(stream, params, 3);
}

namespace {

PipeWireStream::Impl* Of(void* data) { return static_cast<PipeWireStream::Impl*>(data); }

void OnCoreError(void* data, std::uint32_t id, int, int res, const char* message)
{
    if (id == PW_ID_CORE)
        Of(data)->Fail(QStringLiteral("the PipeWire connection failed: %1 (%2)")
                           .arg(QString::fromUtf8(message), QString::fromLocal8Bit(spa_strerror(res))));
}

void OnStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error)
{
    if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED)
        Of(data)->Fail(QStringLiteral("the screen stream ended: %1")
                           .arg(error ? QString::fromUtf8(error) : QStringLiteral("disconnected")));
}

// The stream alone may just pause when its source goes, with the last
// picture still held: the source's own removal ends it.
void OnGlobalRemoved(void* data, std::uint32_t id)
{
    if (id == Of(data)->node)
        Of(data)->Fail(QStringLiteral("the screen stream ended: the shared monitor is gone"));
}

void OnParamChanged(void* data, std::uint32_t id, const spa_pod* param)
{
    if (id == SPA_PARAM_Format && param)
        Of(data)->Negotiated(param);
}

void OnRemoveBuffer(void* data, pw_buffer* buffer)
{
    if (Of(data)->held == buffer)
        Of(data)->held = nullptr;
}

void OnProcess(void* data)
{
    PipeWireStream::Impl* s = Of(data);
    while (pw_buffer* buffer = pw_stream_dequeue_buffer(s->stream)) {
        s->TakeCursor(buffer->buffer);
        QString problem;
        if (!s->Usable(buffer, &problem)) {
            if (!problem.isEmpty() && !s->held)
                s->Fail(problem);
            pw_stream_queue_buffer(s->stream, buffer);
            continue;
        }
        if (s->held)
            pw_stream_queue_buffer(s->stream, s->held);
        s->held = buffer;
    }
    pw_thread_loop_signal(s->loop, false);
}

const pw_core_events kCoreEvents = [] {
    pw_core_events events{};
    events.version = PW_VERSION_CORE_EVENTS;
    events.error = OnCoreError;
    return events;
}();

const pw_registry_events kRegistryEvents = [] {
    pw_registry_events events{};
    events.version = PW_VERSION_REGISTRY_EVENTS;
    events.global_remove = OnGlobalRemoved;
    return events;
}();

const pw_stream_events kStreamEvents = [] {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = OnStateChanged;
    events.param_changed = OnParamChanged;
    events.remove_buffer = OnRemoveBuffer;
    events.process = OnProcess;
    return events;
}();

}  // namespace

bool PipeWireStream::Impl::Connect(int fd, std::uint32_t node, QString* error)
{
    core = pw_context_connect_fd(context, fd, nullptr, 0);
    if (!core) {
        *error = QStringLiteral("cannot connect to PipeWire through the portal");
        return false;
    }
    pw_core_add_listener(core, &coreListener, &kCoreEvents, this);
    this->node = node;
    registry = pw_core_get_registry(core, PW_VERSION_REGISTRY, 0);
    if (registry)
        pw_registry_add_listener(registry, &registryListener, &kRegistryEvents, this);
    stream = pw_stream_new(core, "marquelin-screen",
                           pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                             PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    if (!stream) {
        *error = QStringLiteral("cannot make a PipeWire stream");
        return false;
    }
    pw_stream_add_listener(stream, &streamListener, &kStreamEvents, this);
    std::uint8_t storage[512];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof(storage));
    spa_rectangle size{1280, 720}, smallest{1, 1}, largest{kMaxSide, kMaxSide};
    spa_fraction rate{30, 1}, slowest{0, 1}, fastest{240, 1};
    const spa_pod* params[1] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(3, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &smallest, &largest), SPA_FORMAT_VIDEO_framerate,
        SPA_POD_CHOICE_RANGE_Fraction(&rate, &slowest, &fastest)))};
    // Once the shared monitor's node is gone, the session manager would link
    // the stream to whatever other video source there is (a camera): it must end.
    const auto flags = static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS
                                                    | PW_STREAM_FLAG_DONT_RECONNECT);
    const int result = pw_stream_connect(stream, PW_DIRECTION_INPUT, node, flags, params, 1);
    if (result < 0) {
        *error = QStringLiteral("cannot connect the screen stream: %1").arg(QString::fromLocal8Bit(spa_strerror(result)));
        return false;
    }
    return true;
}

std::unique_ptr<PipeWireStream> PipeWireStream::Open(int fd, std::uint32_t node, int ms, QString* error)
{
    pw_init(nullptr, nullptr);
    auto impl = std::make_unique<Impl>();
    impl->loop = pw_thread_loop_new("marquelin-screen", nullptr);
    impl->context = impl->loop ? pw_context_new(pw_thread_loop_get_loop(impl->loop), nullptr, 0) : nullptr;
    if (!impl->context || pw_thread_loop_start(impl->loop) < 0) {
        close(fd);
        *error = QStringLiteral("cannot start PipeWire");
        return nullptr;
    }
    pw_thread_loop_lock(impl->loop);
    bool ok = impl->Connect(fd, node, error);
    timespec deadline{};
    pw_thread_loop_get_time(impl->loop, &deadline, std::int64_t(ms) * SPA_NSEC_PER_MSEC);
    while (ok && !impl->held && impl->failure.isEmpty())
        if (pw_thread_loop_timed_wait_full(impl->loop, &deadline) == -ETIMEDOUT) {
            *error = QStringLiteral("the screen stream gave no picture within %1 s").arg(ms / 1000.0);
            ok = false;
        }
    if (ok && !impl->failure.isEmpty()) {
        *error = impl->failure;
        ok = false;
    }
    pw_thread_loop_unlock(impl->loop);
    if (!ok)
        return nullptr;
    return std::unique_ptr<PipeWireStream>(new PipeWireStream(std::move(impl)));
}

PipeWireStream::PipeWireStream(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

PipeWireStream::~PipeWireStream() = default;

bool PipeWireStream::Read(const std::function<void(const StreamPicture&)>& read, QString* error)
{
    pw_thread_loop_lock(impl_->loop);
    const bool ok = impl_->failure.isEmpty() && impl_->held;
    if (ok) {
        const spa_data& d = impl_->held->buffer->datas[0];
        const int width = int(impl_->format.size.width);
        const int stride = d.chunk->stride > 0 ? d.chunk->stride : width * 4;
        read({static_cast<const std::uint8_t*>(d.data) + d.chunk->offset, width, int(impl_->format.size.height), stride});
    } else if (error) {
        *error = impl_->failure.isEmpty() ? QStringLiteral("the screen stream has no picture") : impl_->failure;
    }
    pw_thread_loop_unlock(impl_->loop);
    return ok;
}

void PipeWireStream::Cursor(imaging::CursorImage* into)
{
    pw_thread_loop_lock(impl_->loop);
    *into = impl_->cursor;
    pw_thread_loop_unlock(impl_->loop);
}

}  // namespace platform
