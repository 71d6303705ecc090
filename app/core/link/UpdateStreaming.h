#pragma once

#include "core/imaging/Frame.h"
#include "core/imaging/ScreenSource.h"
#include "core/updates/ComposedScreen.h"
#include "core/updates/UpdateEncoder.h"
#include "core/updates/UpdatePacer.h"
#include "core/updates/UpdateParser.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>
#include <vector>

namespace shell { class frmMain; }
namespace updates { class DamageSource; }

namespace screenlink {

// The screen as changed-region updates, on a link whose version carries
// them, after the Accept. The supported side, at each `tmrFrame` tick: the
// pointer when it moved or changed shape; then, when the pacer allows (the
// last update acknowledged, the update-speed level's rate kept), the
// changed rectangles of a full-size capture, or after 2 s without one an
// empty update, so the technician knows the link lives. The technician's
// side composes the updates into one picture, repaints what changed and
// acknowledges each update. User-interface thread only.
class UpdateStreaming final : private updates::ScreenUpdateSink, private updates::UpdateHandler {
public:
    static constexpr qint64 kHeartbeatMs = 2000;
    // The pointer moves at this pace at least, whatever the update rate.
    static constexpr int kPointerTickMs = 33;

    UpdateStreaming(shell::frmMain& window, imaging::ScreenSource& source, updates::DamageSource* damage);

    // `tmrFrame`'s interval for an update-speed level.
    static int IntervaloTick(int nivelAtualizacao);

    // A newly validated link: nothing in flight, the next update whole.
    void NovaTransmissao();
    void EnviarAtualizacao();
    // Bytes of the link after the Accept; Clear before a new link.
    void Receive(QByteArrayView bytes);
    void Clear();

    const updates::ComposedScreen& screen() const { return screen_; }

private:
    bool Capturar();
    // False when nothing need be captured: the damage hints say nothing changed.
    bool Dano(const std::vector<QRect>** hints);
    void EnviarPonteiro();
    qint64 AgoraMs() const { return clock_.elapsed(); }

    // The technician's side of the stream.
    void Repaint(const QRegion& changed) override;
    void Acknowledge(quint32 sequence) override;
    // Both sides.
    screenlink::LinkOutcome OnCommand(const QByteArray& line) override;
    void OnStreamError(const QString& description) override;
    // The supported side's.
    void OnAck(quint32 sequence) override;

    shell::frmMain& w_;
    imaging::ScreenSource& source_;
    updates::DamageSource* damage_;
    QElapsedTimer clock_;
    QTimer tmrRitmo_;  // the next update once the rate allows it
    updates::UpdateEncoder encoder_;
    updates::UpdatePacer pacer_;
    updates::ComposedScreen screen_{*this};
    updates::UpdateParser paraTecnico_{updates::Direction::ToTecnico, screen_};
    updates::UpdateParser paraCliente_{updates::Direction::ToCliente, *this};
    imaging::Frame frame_;
    imaging::ScreenRect tela_;
    imaging::CursorImage ponteiro_;
    std::vector<QRect> dano_;
    QByteArray message_;
    bool inteiroPendente_ = true;  // the next update must be whole: no hint may spare it
    qint64 ultimoEnvioMs_ = 0;
};

}  // namespace screenlink
