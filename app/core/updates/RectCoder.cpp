#include "core/updates/RectCoder.h"

#include "core/imaging/Frame.h"
#include "core/updates/ChangeDetector.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <cstring>
#include <zlib.h>

namespace updates {

using screenlink::LinkOutcome;

namespace {

constexpr int kMaxPaletteColours = 256;
constexpr int kHashBits = 10;  // four times the palette, so probes stay short
constexpr uint32_t kEmptySlot = 0xffffffffu;
// Text and flat areas deflate well at the fastest level; higher levels
// cost several times the time for a few per cent.
constexpr int kDeflateLevel = 1;

uint32_t PixelAt(const uint8_t* row, int x)
{
    uint32_t pixel;
    std::memcpy(&pixel, row + static_cast<size_t>(x) * 4, 4);
    return pixel & 0x00ffffffu;  // the fourth byte carries nothing
}

uint32_t HashSlot(uint32_t colour) { return (colour * 2654435761u) >> (32 - kHashBits); }

int NextTileEdge(int at) { return (at / kTileSide + 1) * kTileSide; }

// A strip one tile high of the widest screen is one rectangle.
static_assert(qint64{kTileSide} * imaging::kMaxPictureSide <= kMaxRectPixels);

}  // namespace

struct RectEncoder::Deflater {
    Deflater() { ready = deflateInit(&stream, kDeflateLevel) == Z_OK; }
    ~Deflater() { deflateEnd(&stream); }

    z_stream stream{};
    bool ready = false;
    std::vector<uint8_t> out;
};

struct RectDecoder::Inflater {
    Inflater() { ready = inflateInit(&stream) == Z_OK; }
    ~Inflater() { inflateEnd(&stream); }

    z_stream stream{};
    bool ready = false;
};

const RectQuality& UpdateQualityFor(int nivelNitidez)
{
    return kUpdateSharpness[std::clamp(nivelNitidez, 1, static_cast<int>(std::size(kUpdateSharpness))) - 1];
}

RectEncoder::RectEncoder() : deflater_(std::make_unique<Deflater>()) {}
RectEncoder::~RectEncoder() = default;

bool RectEncoder::Append(const imaging::Frame& frame, const QRect& rect, const RectQuality& quality, QByteArray& out,
                         QString* error)
{
    for (int top = rect.top(); top <= rect.bottom(); top = NextTileEdge(top)) {
        const QRect strip(rect.left(), top, rect.width(), std::min(NextTileEdge(top), rect.bottom() + 1) - top);
        if (!AppendStrip(frame, strip, quality, out, error))
            return false;
    }
    return true;
}

// A strip one tile high goes as one palette rectangle when it can. Else
// each of its tiles that can goes as a palette, and the runs of tiles
// between them as JPEGs: a screen's first update, mostly text and flat
// areas around a photo, stays exact where it can.
bool RectEncoder::AppendStrip(const imaging::Frame& frame, const QRect& strip, const RectQuality& quality, QByteArray& out,
                              QString* error)
{
    if (IndexColours(frame, strip))
        return AppendPalette(strip, out, error);
    const auto run = [&](int from, int to) { return QRect(from, strip.top(), to - from, strip.height()); };
    int jpegFrom = strip.left();
    for (int left = strip.left(); left <= strip.right();) {
        const int next = std::min(NextTileEdge(left), strip.right() + 1);
        if (IndexColours(frame, run(left, next))) {
            if (jpegFrom < left && !AppendJpeg(frame, run(jpegFrom, left), quality, out, error))
                return false;
            if (!AppendPalette(run(left, next), out, error))
                return false;
            jpegFrom = next;
        }
        left = next;
    }
    return jpegFrom > strip.right() || AppendJpeg(frame, run(jpegFrom, strip.right() + 1), quality, out, error);
}

bool RectEncoder::AppendJpeg(const imaging::Frame& frame, const QRect& area, const RectQuality& quality, QByteArray& out,
                             QString* error)
{
    const uint8_t* origin = frame.row(area.top()) + static_cast<size_t>(area.left()) * 4;
    if (!jpeg_.Encode(origin, area.width(), area.height(), frame.stride(), quality.jpeg, error, quality.fullChroma))
        return false;
    AppendRect(out, {area.x(), area.y(), area.width(), area.height(), RectCoding::Jpeg}, jpeg_.bytes());
    ++tally_.jpegRects;
    tally_.jpegBytes += jpeg_.bytes().size();
    return true;
}

bool RectEncoder::IndexColours(const imaging::Frame& frame, const QRect& band)
{
    std::array<uint32_t, 1u << kHashBits> keys;
    std::array<uint8_t, 1u << kHashBits> slotIndex;
    keys.fill(kEmptySlot);
    palette_.clear();
    indices_.resize(static_cast<size_t>(band.width()) * band.height());
    uint32_t last = kEmptySlot;
    uint8_t lastIndex = 0;
    size_t at = 0;
    for (int y = band.top(); y <= band.bottom(); ++y) {
        const uint8_t* row = frame.row(y);
        for (int x = band.left(); x <= band.right(); ++x) {
            const uint32_t colour = PixelAt(row, x);
            if (colour != last) {
                uint32_t slot = HashSlot(colour);
                while (keys[slot] != colour && keys[slot] != kEmptySlot)
                    slot = (slot + 1) & ((1u << kHashBits) - 1);
                if (keys[slot] == kEmptySlot) {
                    if (palette_.size() == kMaxPaletteColours)
                        return false;
                    keys[slot] = colour;
                    slotIndex[slot] = static_cast<uint8_t>(palette_.size());
                    palette_.push_back(colour);
                }
                last = colour;
                lastIndex = slotIndex[slot];
            }
            indices_[at++] = lastIndex;
        }
    }
    return true;
}

bool RectEncoder::AppendPalette(const QRect& band, QByteArray& out, QString* error)
{
    z_stream& z = deflater_->stream;
    if (!deflater_->ready || deflateReset(&z) != Z_OK) {
        if (error)
            *error = QStringLiteral("deflate could not start");
        return false;
    }
    std::vector<uint8_t>& packed = deflater_->out;
    packed.resize(deflateBound(&z, static_cast<uLong>(indices_.size())));
    z.next_in = indices_.data();
    z.avail_in = static_cast<uInt>(indices_.size());
    z.next_out = packed.data();
    z.avail_out = static_cast<uInt>(packed.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) {
        if (error)
            *error = QStringLiteral("deflate failed");
        return false;
    }
    const qsizetype dataBytes = 1 + 3 * static_cast<qsizetype>(palette_.size()) + static_cast<qsizetype>(z.total_out);
    AppendRectHeader(out, {band.x(), band.y(), band.width(), band.height(), RectCoding::Palette}, dataBytes);
    out.append(static_cast<char>(palette_.size() - 1));
    for (uint32_t colour : palette_)
        for (int shift : {0, 8, 16})
            out.append(static_cast<char>((colour >> shift) & 0xff));
    out.append(reinterpret_cast<const char*>(packed.data()), static_cast<qsizetype>(z.total_out));
    ++tally_.paletteRects;
    tally_.paletteBytes += dataBytes;
    return true;
}

RectDecoder::RectDecoder() : inflater_(std::make_unique<Inflater>()) {}
RectDecoder::~RectDecoder() = default;

LinkOutcome RectDecoder::Draw(const RectHeader& rect, QByteArrayView data, QImage* picture)
{
    if (rect.coding == RectCoding::Palette)
        return DrawPalette(rect, data, picture);
    QString error;
    uint8_t* origin = picture->bits() + rect.y * picture->bytesPerLine() + static_cast<qsizetype>(rect.x) * 4;
    if (!jpeg_.DecodeInto(data, rect.width, rect.height, origin, static_cast<int>(picture->bytesPerLine()), &error))
        return LinkOutcome::Failed(error);
    return {};
}

LinkOutcome RectDecoder::DrawPalette(const RectHeader& rect, QByteArrayView data, QImage* picture)
{
    const int colours = data.isEmpty() ? 0 : static_cast<uint8_t>(data[0]) + 1;
    const qsizetype indexStart = 1 + 3 * static_cast<qsizetype>(colours);
    if (colours == 0 || data.size() < indexStart)
        return LinkOutcome::Failed(QStringLiteral("palette rectangle cut short in its colours"));
    std::array<QRgb, kMaxPaletteColours> palette;
    for (int i = 0; i < colours; ++i) {
        const auto* bgr = reinterpret_cast<const uint8_t*>(data.data()) + 1 + 3 * i;
        palette[static_cast<size_t>(i)] = qRgb(bgr[2], bgr[1], bgr[0]);
    }

    z_stream& z = inflater_->stream;
    if (!inflater_->ready || inflateReset(&z) != Z_OK)
        return LinkOutcome::Failed(QStringLiteral("inflate could not start"));
    indices_.resize(static_cast<size_t>(rect.width) * rect.height);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + indexStart));
    z.avail_in = static_cast<uInt>(data.size() - indexStart);
    z.next_out = indices_.data();
    z.avail_out = static_cast<uInt>(indices_.size());
    const int result = inflate(&z, Z_FINISH);
    if (result != Z_STREAM_END || z.avail_out != 0 || z.avail_in != 0)
        return LinkOutcome::Failed(QStringLiteral("palette rectangle's pixels do not fill %1 x %2 exactly")
                                       .arg(rect.width)
                                       .arg(rect.height));

    const uint8_t* index = indices_.data();
    for (int y = 0; y < rect.height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture->scanLine(rect.y + y)) + rect.x;
        for (int x = 0; x < rect.width; ++x, ++index) {
            if (*index >= colours)
                return LinkOutcome::Failed(QStringLiteral("palette index %1 beyond its %2 colours").arg(*index).arg(colours));
            row[x] = palette[*index];
        }
    }
    return {};
}

}  // namespace updates
