#pragma once

#include "core/input/CommandLink.h"

namespace shell { class frmMain; }

namespace screenlink {

// The technician's command encoder's view of the main window: the session
// record, the link socket, and the end of the remote screen.
class CommandChannel final : public input::CommandLink {
public:
    explicit CommandChannel(shell::frmMain& window) : w_(window) {}

    const session::SessionRecord& Session() const override;
    bool SocketConnected() const override;
    void Send(const QByteArray& line) override;
    void SolicitarEncerrarTelaRemota() override;

private:
    shell::frmMain& w_;
};

}  // namespace screenlink
