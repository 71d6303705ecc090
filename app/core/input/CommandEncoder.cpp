#include "core/input/CommandEncoder.h"

#include "core/input/PointMapping.h"
#include "core/link/LinkMessages.h"

#include <algorithm>
#include <cstdlib>

namespace input {
namespace {

constexpr float kMoveInterval = 0.04f;  // at most 25 moves a second leave
constexpr int kDragDistance = 4;        // remote pixels a press may wander and stay a click
constexpr int kModifierKeys[] = {16, 17, 18};  // Shift, Ctrl, Alt

RemoteGeometry GeometryOf(const session::SessionRecord& s)
{
    return {s.RemoteLeft, s.RemoteTop, s.RemoteWidth, s.RemoteHeight};
}

// Lower bound first, then upper, so an empty range still gives one answer.
int ClampInto(int value, int origin, int size)
{
    const qint64 last = static_cast<qint64>(origin) + size - 1;
    qint64 v = std::max<qint64>(value, origin);
    v = std::min(v, last);
    return static_cast<int>(v);
}

}  // namespace

bool CommandEncoder::ViaRelay() const
{
    const session::SessionRecord& s = link_.Session();
    return s.RotaAutomatica && s.RelayAtivo;
}

bool CommandEncoder::LinkOpen() const
{
    const session::SessionRecord& s = link_.Session();
    if (s.PapelTela != session::kTecnico || !s.TelaConectada)
        return false;
    return ViaRelay() || link_.SocketConnected();
}

void CommandEncoder::RemoteMouseFromView(const QString& action, int x, int y, int button, int viewWidth,
                                         int viewHeight)
{
    if (!LinkOpen())
        return;
    const RemoteGeometry remote = GeometryOf(link_.Session());
    std::optional<RemotePoint> p = MapearPontoRemoto(x, y, viewWidth, viewHeight, remote);
    // A drag released over a band still ends on the remote machine, at the
    // picture's nearest edge; otherwise its button would stay held there.
    if (!p && mouse_.Dragging && action == u"MU")
        p = NearestRemotePoint(x, y, viewWidth, viewHeight, remote);
    if (!p)
        return;

    if (action == u"MD") {
        mouse_.PressX = p->x;
        mouse_.PressY = p->y;
        mouse_.PressButton = button;
        mouse_.Dragging = false;
    } else if (action == u"MM") {
        MouseMoved(p->x, p->y, button);
    } else if (action == u"MU") {
        SendMouseCommand(mouse_.Dragging ? QStringLiteral("MU") : QStringLiteral("CK"), p->x, p->y, button);
        mouse_.Dragging = false;
    }
}

void CommandEncoder::MouseMoved(int rx, int ry, int button)
{
    if (timing::SegundosDesde(clock_, mouse_.LastMoveAt) < kMoveInterval)
        return;
    mouse_.LastMoveAt = clock_.Timer();
    if (button != 0 && !mouse_.Dragging) {
        const bool wandered = std::abs(static_cast<qint64>(rx) - mouse_.PressX) > kDragDistance
            || std::abs(static_cast<qint64>(ry) - mouse_.PressY) > kDragDistance;
        if (!wandered)
            return;
        mouse_.Dragging = true;
        SendMouseCommand(QStringLiteral("MD"), mouse_.PressX, mouse_.PressY, mouse_.PressButton);
    }
    SendMouseCommand(QStringLiteral("MM"), rx, ry, button);
}

void CommandEncoder::RemoteKeyFromView(const QString& action, int keyCode)
{
    if (keyCode < 1 || keyCode > 255 || !LinkOpen())
        return;
    SendKeyCommand(action, keyCode);
}

void CommandEncoder::CtrlEsc()
{
    for (const int modifier : kModifierKeys)
        RemoteKeyFromView(QStringLiteral("KU"), modifier);
    link_.SolicitarEncerrarTelaRemota();
}

void CommandEncoder::SendMouseCommand(const QString& action, int x, int y, int button)
{
    const session::SessionRecord& s = link_.Session();
    x = ClampInto(x, s.RemoteLeft, s.RemoteWidth);
    y = ClampInto(y, s.RemoteTop, s.RemoteHeight);
    if (ViaRelay())
        SendCommandTcp(action, x, y, button);
    else
        link_.Send(screenlink::MouseCommand(action, x, y, button));
}

void CommandEncoder::SendKeyCommand(const QString& action, int keyCode)
{
    if (ViaRelay())
        SendCommandTcp(action, keyCode, 0, 1);
    else
        link_.Send(screenlink::KeyCommand(action, keyCode));
}

void CommandEncoder::SendCommandTcp(const QString& action, int x, int y, int button)
{
    const session::SessionRecord& s = link_.Session();
    if (s.PapelRelay != session::kTecnico || !s.TelaConectada || !link_.SocketConnected())
        return;
    link_.Send(screenlink::MouseCommand(action.toUpper(), x, y, button));
}

}  // namespace input
