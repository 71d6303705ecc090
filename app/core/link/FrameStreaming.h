#pragma once

#include "core/imaging/TempFolder.h"
#include "core/imaging/modScreen.h"
#include "core/link/LinkOutcome.h"
#include "core/link/TecnicoStreamParser.h"

#include <QByteArray>
#include <QImage>

namespace shell { class frmMain; }

namespace screenlink {

// The screen as a stream of JPEG frames: the supported side sends one per
// `tmrFrame` tick with at most one in transit, writing off a frame that has
// not left after 5 s; each completion times the frame for the automatic
// quality. The technician's side turns each received frame into a picture
// and shows it. Buffers live from frame to frame.
class FrameStreaming {
public:
    static constexpr float kStallSeconds = 5.0f;
    // A peer that stops reading must not make written-off frames pile up in
    // the socket's buffer: no new frame while this much is still queued.
    static constexpr qint64 kMaxQueuedBytes = 4 * 1024 * 1024;

    FrameStreaming(shell::frmMain& window, imaging::ScreenSource& source);

    void EnviarFrame();
    // Every byte handed to the socket has gone to the system.
    void EnvioConcluido();
    LinkOutcome ReceberFrame(const ReceivedFrame& frame);

    modScreen& screen() { return screen_; }

private:
    bool MontarFrame(QString* error);

    shell::frmMain& w_;
    modScreen screen_;
    imaging::TempFolder temp_;
    QByteArray jpeg_;
    QByteArray message_;
    QImage picture_;
};

}  // namespace screenlink
