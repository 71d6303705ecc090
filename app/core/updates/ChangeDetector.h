#pragma once

#include "core/imaging/Frame.h"

#include <QRect>
#include <cstdint>
#include <vector>

namespace updates {

// The side of the square tiles that change detection compares and that
// rectangle coding chooses its coding by.
inline constexpr int kTileSide = 64;

// Finds what changed between captures: the new frame is compared with the
// last one in tiles of kTileSide pixels, and the changed tiles are merged
// into a few rectangles (runs along a row of tiles, stacked where runs of
// consecutive rows span the same columns). Only changed tiles are copied
// into the kept picture, so an idle screen costs one comparison. User-
// interface thread only.
class ChangeDetector {
public:
    // More rectangles than this cost more in headers and coder starts than
    // the pixels they spare: they become their bounding box.
    static constexpr size_t kMaxRects = 48;

    // The rectangles of `frame` that differ from the last frame compared,
    // everything when there was none or its size differs. With `hints`,
    // only tiles touching them are compared. Valid until the next call.
    const std::vector<QRect>& Compare(const imaging::Frame& frame, const std::vector<QRect>* hints = nullptr);
    // The next comparison reports the whole frame (a new viewer).
    void Reset();

private:
    void MarkAll(bool dirty);
    void MarkHinted(const std::vector<QRect>& hints);
    bool TileDiffers(const imaging::Frame& frame, int column, int row) const;
    void KeepTile(const imaging::Frame& frame, int column, int row);
    QRect TileRect(int column, int row) const;
    void MergeDirtyTiles();

    imaging::Frame previous_;
    int columns_ = 0;
    int rows_ = 0;
    std::vector<uint8_t> dirty_;  // one per tile, row after row
    std::vector<QRect> rects_;
};

}  // namespace updates
