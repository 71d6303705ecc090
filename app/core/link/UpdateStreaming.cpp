#include "core/link/UpdateStreaming.h"

#include "core/link/FrameStreaming.h"
#include "core/link/LinkReceiver.h"
#include "core/shell/frmMain.h"
#include "core/updates/DamageSource.h"

#include <algorithm>

namespace screenlink {

UpdateStreaming::UpdateStreaming(shell::frmMain& window, imaging::ScreenSource& source,
                                 updates::DamageSource* damage)
    : w_(window), source_(source), damage_(damage)
{
    clock_.start();
    tmrRitmo_.setSingleShot(true);
    tmrRitmo_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tmrRitmo_, &QTimer::timeout, [this] { EnviarAtualizacao(); });
}

int UpdateStreaming::IntervaloTick(int nivelAtualizacao)
{
    return std::min(updates::MinUpdateIntervalMs(nivelAtualizacao), kPointerTickMs);
}

void UpdateStreaming::NovaTransmissao()
{
    encoder_.Reset();
    pacer_.Reset();
    inteiroPendente_ = true;
    ultimoEnvioMs_ = 0;
    tela_ = {};
}

void UpdateStreaming::Clear()
{
    paraTecnico_.Clear();
    paraCliente_.Clear();
    tmrRitmo_.stop();
}

void UpdateStreaming::Receive(QByteArrayView bytes)
{
    (w_.s.PapelTela == session::kCliente ? paraCliente_ : paraTecnico_).Feed(bytes);
}

void UpdateStreaming::EnviarAtualizacao()
{
    session::SessionRecord& s = w_.s;
    if (!w_.link.RemoteIsConnected() || !s.TelaConectada || w_.link.QueuedBytes() > FrameStreaming::kMaxQueuedBytes)
        return;
    EnviarPonteiro();
    const QualityState& q = w_.quality.state();
    const updates::UpdatePacer::Decision next = pacer_.Next(AgoraMs(), q.NivelAtualizacao());
    if (next.stalled && !q.NitidezManual())
        w_.quality.ReduzirNitidez();
    if (next.step == updates::UpdatePacer::Step::WaitRate && !tmrRitmo_.isActive())
        tmrRitmo_.start(static_cast<int>(next.waitMs));
    if (next.step != updates::UpdatePacer::Step::Send)
        return;
    message_.clear();
    QString error;
    const std::vector<QRect>* hints = nullptr;
    const bool changed = Dano(&hints) && Capturar()
                         && encoder_.AppendUpdate(frame_, tela_, updates::UpdateQualityFor(q.NivelNitidez()),
                                                  pacer_.NextSequence(), message_, &error, hints);
    if (!error.isEmpty()) {
        // The encoder starts over whole; no hint may spare that.
        w_.LogEvent("Erro ao enviar tela: " + error);
        inteiroPendente_ = true;
    }
    if (changed)
        inteiroPendente_ = false;
    else if (AgoraMs() - ultimoEnvioMs_ < kHeartbeatMs || tela_.width == 0)
        return;
    else
        updates::AppendUpdateEnd(message_, pacer_.NextSequence());
    ultimoEnvioMs_ = AgoraMs();
    pacer_.Sent(ultimoEnvioMs_);
    w_.link.Send(message_);
}

bool UpdateStreaming::Dano(const std::vector<QRect>** hints)
{
    dano_.clear();
    if (!damage_ || !damage_->TakeDamage(&dano_))
        return true;
    *hints = &dano_;
    return inteiroPendente_ || !dano_.empty();
}

// A capture that fails is skipped quietly, as a frame's is; the next tick tries again.
bool UpdateStreaming::Capturar()
{
    QString quiet;
    if (source_.Geometry(&tela_, &quiet) && tela_.width > 0 && tela_.height > 0
        && source_.Grab(QSize(tela_.width, tela_.height), &frame_, &quiet))
        return true;
    tela_ = {};
    return false;
}

void UpdateStreaming::EnviarPonteiro()
{
    QString error;
    if (tela_.width == 0 || !source_.ReadCursor(&ponteiro_, &error))
        return;
    QByteArray pointer;
    encoder_.AppendPointer(ponteiro_, tela_, pointer);
    if (!pointer.isEmpty())
        w_.link.Send(pointer);
}

void UpdateStreaming::OnAck(quint32 sequence)
{
    const float seconds = pacer_.Acknowledged(sequence, AgoraMs());
    if (seconds <= 0)
        return;
    w_.quality.AjustarQualidadeAutomatica(seconds);
    EnviarAtualizacao();
}

void UpdateStreaming::Repaint(const QRegion& changed)
{
    session::SessionRecord& s = w_.s;
    const updates::ScreenGeometry& screen = screen_.geometry();
    s.RemoteLeft = screen.left;
    s.RemoteTop = screen.top;
    s.RemoteWidth = screen.width;
    s.RemoteHeight = screen.height;
    w_.ShowComposedScreen(changed);
}

void UpdateStreaming::Acknowledge(quint32 sequence)
{
    w_.s.UltimoFrameEm = w_.Now();
    QByteArray ack;
    updates::AppendAck(ack, sequence);
    w_.link.Send(ack);
}

LinkOutcome UpdateStreaming::OnCommand(const QByteArray& line) { return w_.link.receiver().ComandoRecebido(line); }

void UpdateStreaming::OnStreamError(const QString& description)
{
    w_.link.Abandonar("Erro ao processar tela: " + description);
}

}  // namespace screenlink
