#pragma once

#include "core/session/SessionRecord.h"

#include <QByteArray>

// What command encoding needs from the main window: the session record (role
// on the link, validation, route flags, remote geometry), the state of the
// link socket, a way to write one line, and the end of the remote screen.

namespace input {

class CommandLink {
public:
    virtual ~CommandLink() = default;
    virtual const session::SessionRecord& Session() const = 0;
    virtual bool SocketConnected() const = 0;
    // Hands the whole line to the socket in one send call.
    virtual void Send(const QByteArray& line) = 0;
    virtual void SolicitarEncerrarTelaRemota() = 0;
};

}  // namespace input
