#pragma once

#include "core/imaging/ScreenSource.h"
#include "core/updates/RectCoder.h"
#include "core/updates/UpdateParser.h"

#include <QImage>
#include <QRegion>

namespace updates {

// Where the technician's side of the update stream goes besides the
// picture: repaints, acknowledgements, commands and a broken stream.
class ScreenUpdateSink {
public:
    virtual ~ScreenUpdateSink() = default;

    // `changed`: the picture's area (screen pixels) that differs from what
    // was last painted, the pointer's old and new places included.
    virtual void Repaint(const QRegion& changed) = 0;
    // An update is drawn and repainted: the sender may send the next one.
    virtual void Acknowledge(quint32 sequence) = 0;
    virtual screenlink::LinkOutcome OnCommand(const QByteArray& line) = 0;
    virtual void OnStreamError(const QString& description) = 0;
};

// The technician's picture of the remote screen, composed from updates:
// rectangles are drawn into it as they arrive and the area they cover is
// repainted once per update, so widgets paint only what changed. The
// pointer is kept beside the picture, for widgets to paint over it. The
// same picture serves the preview and the viewer; they paint from it
// without keeping a copy, which would make every rectangle copy the whole
// picture. User-interface thread only.
class ComposedScreen final : public UpdateHandler {
public:
    explicit ComposedScreen(ScreenUpdateSink& sink) : sink_(sink) {}

    const QImage& picture() const { return picture_; }
    const ScreenGeometry& geometry() const { return screen_; }
    // Position is in picture pixels; no pixels: hidden.
    const imaging::CursorImage& cursor() const { return cursor_; }

    void OnGeometry(const ScreenGeometry& screen) override;
    screenlink::LinkOutcome OnRect(const RectHeader& rect, QByteArrayView data) override;
    void OnUpdateEnd(quint32 sequence) override;
    void OnCursorShape(const CursorShapeHeader& shape, const uint32_t* argb) override;
    void OnCursorPosition(qint32 x, qint32 y) override;
    screenlink::LinkOutcome OnCommand(const QByteArray& line) override { return sink_.OnCommand(line); }
    void OnStreamError(const QString& description) override { sink_.OnStreamError(description); }

private:
    QRect CursorArea() const;
    // Repaints the pointer's area before and after `change`.
    template <typename Change>
    void MovePointer(Change change);

    ScreenUpdateSink& sink_;
    ScreenGeometry screen_;
    QImage picture_;
    imaging::CursorImage cursor_;
    RectDecoder decoder_;
    QRegion changed_;
};

}  // namespace updates
