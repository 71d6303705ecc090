#include "core/link/LinkReceiver.h"

#include "core/shell/frmMain.h"

namespace screenlink {

void LinkReceiver::Receive(const QByteArray&) {}
void LinkReceiver::Clear() {}
void LinkReceiver::EnvioConcluido() {}
void LinkReceiver::SoltarEntradaRemota() {}

}  // namespace screenlink
