#include "core/link/CommandChannel.h"

#include "core/shell/frmMain.h"

namespace screenlink {

const session::SessionRecord& CommandChannel::Session() const { return w_.s; }
bool CommandChannel::SocketConnected() const { return w_.link.RemoteIsConnected(); }
void CommandChannel::Send(const QByteArray& line) { w_.link.SendCommand(line); }
void CommandChannel::SolicitarEncerrarTelaRemota() { w_.end.SolicitarEncerrarTelaRemota(); }

}  // namespace screenlink
