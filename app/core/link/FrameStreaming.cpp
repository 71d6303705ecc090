#include "core/link/FrameStreaming.h"

#include "core/imaging/Base64.h"
#include "core/link/LinkMessages.h"
#include "core/shell/frmMain.h"
#include "core/time/Clock.h"

namespace screenlink {

FrameStreaming::FrameStreaming(shell::frmMain& window, imaging::ScreenSource& source) : w_(window), screen_(source) {}

void FrameStreaming::EnviarFrame()
{
    session::SessionRecord& s = w_.s;
    if (s.EnviandoFrame)
        return;
    if (s.FrameEmTransito) {
        if (timing::SegundosDesde(w_.svc.clock, s.FrameEnviadoEm) <= kStallSeconds)
            return;
        s.FrameEmTransito = false;
        if (!w_.quality.state().NitidezManual())
            w_.quality.ReduzirNitidez();
    }
    if (!w_.link.RemoteIsConnected() || !s.TelaConectada || w_.link.QueuedBytes() > kMaxQueuedBytes)
        return;
    s.EnviandoFrame = true;
    QString error;
    bool unchanged = false;
    if (!Capturar(&unchanged, &error) || unchanged) {
        // A capture that fails is skipped quietly; the next tick tries again.
        s.EnviandoFrame = false;
        return;
    }
    if (!MontarFrame(&error)) {
        s.EnviandoFrame = false;
        s.FrameEmTransito = false;
        w_.LogEvent("Erro ao enviar tela: " + error);
        return;
    }
    // Set before the send, so a completion raised during it is counted.
    s.FrameEnviadoEm = ultimoEnvio_ = w_.Now();
    s.FrameEmTransito = true;
    w_.link.Send(message_);
    s.EnviandoFrame = false;
}

bool FrameStreaming::Capturar(bool* unchanged, QString* error)
{
    const session::SessionRecord& s = w_.s;
    const QualityState& q = w_.quality.state();
    if (!temp_.Prepare(error))
        return false;
    const int quality = q.QualidadeJpeg(s.RelayAtivo);
    const int width = q.LarguraMaxima(s.RelayAtivo);
    const int height = q.AlturaMaxima(s.RelayAtivo);
    const bool refreshDue =
        ultimoEnvio_ <= 0 || timing::SegundosDesde(w_.svc.clock, ultimoEnvio_) >= kRefreshSeconds;
    if (refreshDue)
        return screen_.CaptureScreenJpeg(temp_.FramePath(), quality, width, height, error);
    return screen_.CaptureChangedScreenJpeg(temp_.FramePath(), quality, width, height, unchanged, error);
}

bool FrameStreaming::MontarFrame(QString* error)
{
    // The bytes just written to the frame file are the file's: taking them
    // from memory spares reading it back.
    const QByteArrayView jpeg = screen_.LastJpeg();
    if (jpeg.isEmpty()) {
        *error = QStringLiteral("empty frame file");
        return false;
    }
    WriteFrameHeader(message_, screen_.ScreenLeft(), screen_.ScreenTop(), screen_.ScreenWidth(), screen_.ScreenHeight(),
                     imaging::Base64EncodedLength(jpeg.size()));
    modScreen::Base64EncodeAppend(jpeg, &message_);
    return true;
}

void FrameStreaming::EnvioConcluido()
{
    session::SessionRecord& s = w_.s;
    if (s.PapelTela != session::kCliente || !s.FrameEmTransito)
        return;
    w_.quality.AjustarQualidadeAutomatica(timing::SegundosDesde(w_.svc.clock, s.FrameEnviadoEm));
    s.FrameEmTransito = false;
}

LinkOutcome FrameStreaming::ReceberFrame(const ReceivedFrame& frame)
{
    QString error;
    if (!temp_.Prepare(&error) || !modScreen::Base64Decode(frame.payload, &jpeg_, &error)
        || !modScreen::WriteFileBytes(temp_.RemotePath(), jpeg_, &error)
        // The bytes just written are the file's: decoding them spares reading it back.
        || !screen_.DecodePicture(jpeg_, &picture_, &error))
        return LinkOutcome::Failed(error);
    session::SessionRecord& s = w_.s;
    s.RemoteWidth = frame.width;
    s.RemoteHeight = frame.height;
    s.UltimoFrameEm = w_.Now();
    w_.ShowRemoteFrame(picture_);
    return LinkOutcome::Done();
}

}  // namespace screenlink
