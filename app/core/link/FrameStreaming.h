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
// quality. A picture equal to the last one sent on this link is not sent
// again until 2 s have passed, so an idle screen costs one frame every 2 s
// and the technician's 8-second stale-screen watchdog never fires; a change
// goes out on the next tick. The technician's side turns each received
// frame into a picture and shows it. Buffers live from frame to frame.
class FrameStreaming {
public:
    static constexpr float kStallSeconds = 5.0f;
    static constexpr float kRefreshSeconds = 2.0f;
    // A peer that stops reading must not make written-off frames pile up in
    // the socket's buffer: no new frame while this much is still queued.
    static constexpr qint64 kMaxQueuedBytes = 4 * 1024 * 1024;

    FrameStreaming(shell::frmMain& window, imaging::ScreenSource& source);

    void EnviarFrame();
    // A newly validated link: its first frame goes out whatever the screen.
    void NovaTransmissao() { ultimoEnvio_ = 0; }
    // Every byte handed to the socket has gone to the system.
    void EnvioConcluido();
    LinkOutcome ReceberFrame(const ReceivedFrame& frame);

    modScreen& screen() { return screen_; }

private:
    // False on failure; `unchanged` when the picture need not go out.
    bool Capturar(bool* unchanged, QString* error);
    bool MontarFrame(QString* error);

    shell::frmMain& w_;
    modScreen screen_;
    imaging::TempFolder temp_;
    QByteArray jpeg_;
    QByteArray message_;
    QImage picture_;
    float ultimoEnvio_ = 0;  // when the last frame was handed over on this link; 0: none yet
};

}  // namespace screenlink
