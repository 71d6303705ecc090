#include "core/updates/ChangeDetector.h"

#include <algorithm>
#include <cstring>

namespace updates {

const std::vector<QRect>& ChangeDetector::Compare(const imaging::Frame& frame, const std::vector<QRect>* hints)
{
    const bool sameSize = !previous_.empty() && previous_.width() == frame.width()
                          && previous_.height() == frame.height();
    columns_ = (frame.width() + kTileSide - 1) / kTileSide;
    rows_ = (frame.height() + kTileSide - 1) / kTileSide;
    if (!sameSize) {
        previous_.Resize(frame.width(), frame.height());
        MarkAll(true);
    } else if (hints) {
        MarkHinted(*hints);
    } else {
        MarkAll(true);
    }
    for (int row = 0; row < rows_; ++row)
        for (int column = 0; column < columns_; ++column) {
            uint8_t& tile = dirty_[static_cast<size_t>(row) * columns_ + column];
            if (tile && (!sameSize || TileDiffers(frame, column, row)))
                KeepTile(frame, column, row);
            else
                tile = 0;
        }
    MergeDirtyTiles();
    return rects_;
}

void ChangeDetector::Reset() { previous_.Resize(0, 0); }

void ChangeDetector::MarkAll(bool dirty) { dirty_.assign(static_cast<size_t>(columns_) * rows_, dirty ? 1 : 0); }

void ChangeDetector::MarkHinted(const std::vector<QRect>& hints)
{
    MarkAll(false);
    const QRect screen(0, 0, previous_.width(), previous_.height());
    for (const QRect& hint : hints) {
        const QRect area = hint.intersected(screen);
        if (area.isEmpty())
            continue;
        for (int row = area.top() / kTileSide; row <= area.bottom() / kTileSide; ++row)
            for (int column = area.left() / kTileSide; column <= area.right() / kTileSide; ++column)
                dirty_[static_cast<size_t>(row) * columns_ + column] = 1;
    }
}

QRect ChangeDetector::TileRect(int column, int row) const
{
    const int left = column * kTileSide;
    const int top = row * kTileSide;
    return QRect(left, top, std::min(kTileSide, previous_.width() - left), std::min(kTileSide, previous_.height() - top));
}

bool ChangeDetector::TileDiffers(const imaging::Frame& frame, int column, int row) const
{
    const QRect tile = TileRect(column, row);
    const size_t offset = static_cast<size_t>(tile.left()) * 4;
    const size_t bytes = static_cast<size_t>(tile.width()) * 4;
    for (int y = tile.top(); y <= tile.bottom(); ++y)
        if (std::memcmp(frame.row(y) + offset, previous_.row(y) + offset, bytes) != 0)
            return true;
    return false;
}

void ChangeDetector::KeepTile(const imaging::Frame& frame, int column, int row)
{
    const QRect tile = TileRect(column, row);
    const size_t offset = static_cast<size_t>(tile.left()) * 4;
    const size_t bytes = static_cast<size_t>(tile.width()) * 4;
    for (int y = tile.top(); y <= tile.bottom(); ++y)
        std::memcpy(previous_.row(y) + offset, frame.row(y) + offset, bytes);
}

void ChangeDetector::MergeDirtyTiles()
{
    rects_.clear();
    // rects_[openFrom, openTo) reach down to the row above: a run of this row
    // with the same columns extends one of them instead of starting anew.
    // Whatever this row touches is moved behind them.
    size_t openFrom = 0;
    for (int row = 0; row < rows_; ++row) {
        size_t openTo = rects_.size();
        size_t runs = 0;
        for (int column = 0; column < columns_;) {
            if (!dirty_[static_cast<size_t>(row) * columns_ + column]) {
                ++column;
                continue;
            }
            const int first = column;
            while (column < columns_ && dirty_[static_cast<size_t>(row) * columns_ + column])
                ++column;
            const QRect run = TileRect(first, row).united(TileRect(column - 1, row));
            const auto begin = rects_.begin() + static_cast<std::ptrdiff_t>(openFrom);
            const auto end = rects_.begin() + static_cast<std::ptrdiff_t>(openTo);
            const auto above = std::find_if(begin, end, [&](const QRect& r) {
                return r.left() == run.left() && r.right() == run.right();
            });
            ++runs;
            if (above == end) {
                rects_.push_back(run);
                continue;
            }
            above->setBottom(run.bottom());
            std::rotate(above, above + 1, rects_.end());
            --openTo;
        }
        openFrom = rects_.size() - runs;
    }
    if (rects_.size() > kMaxRects) {
        QRect bounds;
        for (const QRect& r : rects_)
            bounds = bounds.united(r);
        rects_.assign(1, bounds);
    }
}

}  // namespace updates
