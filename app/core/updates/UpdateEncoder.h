#pragma once

#include "core/imaging/ScreenSource.h"
#include "core/updates/ChangeDetector.h"
#include "core/updates/RectCoder.h"
#include "core/updates/UpdateMessages.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace updates {

// The supported side's half of the update stream: from each captured
// frame the changed rectangles, coded, closed by an update end; the screen
// geometry ahead of them when it changed; the pointer on its own, its shape
// when that changed and its position when it moved, so a moving pointer
// costs no pixels. User-interface thread only.
class UpdateEncoder {
public:
    // Appends the update of `frame` (the whole `screen`, at full size) to
    // `out` and answers true; answers false and appends nothing when the
    // screen did not change, or on failure with `error` set (the next
    // update is then whole). `hints` as
    // for ChangeDetector::Compare.
    bool AppendUpdate(const imaging::Frame& frame, const imaging::ScreenRect& screen, const RectQuality& quality,
                      quint32 sequence, QByteArray& out, QString* error,
                      const std::vector<QRect>* hints = nullptr);
    // Appends the pointer's messages that differ from the last ones sent;
    // its position is relative to the screen's origin. Nothing before the
    // first update, which tells the viewer the screen it lies on.
    void AppendPointer(const imaging::CursorImage& cursor, const imaging::ScreenRect& screen, QByteArray& out);
    // A new viewer: the next update is whole and carries the geometry, the
    // pointer is sent again.
    void Reset();

    const CodingTally& tally() const { return coder_.tally(); }

private:
    ChangeDetector detector_;
    RectEncoder coder_;
    ScreenGeometry sentScreen_;  // width 0: none sent yet
    imaging::CursorImage sentCursor_;
    bool cursorSent_ = false;
};

}  // namespace updates
