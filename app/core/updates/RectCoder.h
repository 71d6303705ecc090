#pragma once

#include "core/imaging/JpegCodec.h"
#include "core/link/LinkOutcome.h"
#include "core/updates/UpdateMessages.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QRect>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace imaging {
class Frame;
}

namespace updates {

// How the rectangles that go as JPEG are coded.
struct RectQuality {
    constexpr RectQuality(int jpegQuality, bool keepFullChroma = false)
        : jpeg(jpegQuality), fullChroma(keepFullChroma)
    {
    }
    int jpeg;
    bool fullChroma;  // 4:4:4 rather than 4:2:0
};

// The JPEG settings of changed rectangles by sharpness level, 1 to 4 in
// order. Only what changed travels, so each level affords more than a whole
// frame of the same level; the top one keeps colour at every pixel, for a
// picture at 1:1 within 40 dB of the screen.
inline constexpr RectQuality kUpdateSharpness[] = {{50}, {65}, {80}, {92, true}};
const RectQuality& UpdateQualityFor(int nivelNitidez);

// How many rectangles went out in each coding and their bytes, for the
// benchmark and the log.
struct CodingTally {
    qint64 jpegRects = 0;
    qint64 jpegBytes = 0;
    qint64 paletteRects = 0;
    qint64 paletteBytes = 0;
};

// Codes changed rectangles of a captured frame as Rect messages, in strips
// one tile high: a part with at most 256 colours (text, panels, flat
// areas) goes lossless as a palette and deflated indices, which is both
// smaller and sharper there; anything richer goes as a JPEG at the
// sharpness level's quality. Buffers are kept between calls. One coder per
// sending loop.
class RectEncoder {
public:
    RectEncoder();
    ~RectEncoder();
    RectEncoder(const RectEncoder&) = delete;
    RectEncoder& operator=(const RectEncoder&) = delete;

    // `rect` lies inside `frame`.
    bool Append(const imaging::Frame& frame, const QRect& rect, const RectQuality& quality, QByteArray& out, QString* error);
    const CodingTally& tally() const { return tally_; }

private:
    struct Deflater;

    bool AppendStrip(const imaging::Frame& frame, const QRect& strip, const RectQuality& quality, QByteArray& out,
                     QString* error);
    bool AppendJpeg(const imaging::Frame& frame, const QRect& area, const RectQuality& quality, QByteArray& out, QString* error);
    // Fills palette_ and indices_; false when the band has too many colours.
    bool IndexColours(const imaging::Frame& frame, const QRect& band);
    bool AppendPalette(const QRect& band, QByteArray& out, QString* error);

    imaging::JpegEncoder jpeg_;
    std::unique_ptr<Deflater> deflater_;
    std::vector<uint32_t> palette_;
    std::vector<uint8_t> indices_;
    CodingTally tally_;
};

// Draws received rectangles into the screen picture. Every byte of the
// coded data is checked; a bad rectangle is refused with the reason and
// leaves at most its own area partly drawn. One decoder per link.
class RectDecoder {
public:
    RectDecoder();
    ~RectDecoder();
    RectDecoder(const RectDecoder&) = delete;
    RectDecoder& operator=(const RectDecoder&) = delete;

    // `picture` is RGB32 and holds `rect` whole (the parser checked it
    // against the screen).
    screenlink::LinkOutcome Draw(const RectHeader& rect, QByteArrayView data, QImage* picture);

private:
    struct Inflater;

    screenlink::LinkOutcome DrawPalette(const RectHeader& rect, QByteArrayView data, QImage* picture);

    imaging::JpegDecoder jpeg_;
    std::unique_ptr<Inflater> inflater_;
    std::vector<uint8_t> indices_;
};

}  // namespace updates
