#pragma once

#include <string>

namespace framelink {

// What one side of a measured session is told by the coordinator.
struct SideOptions {
    std::string role;        // "cliente", "tecnico" or "relay"
    bool relay = false;      // the session goes through the relay
    std::string peer;        // the cliente's address (direct) or the relay's
    int port = 0;            // the cliente's listening port or the relay's
    std::string logPath;     // one event per line: "<word> <values...>"
    int changeSeconds = 60;  // the screen changes this long, then stays idle
    int idleSeconds = 60;
    int versao = 1;          // the link version the service agreed
};

// Each runs one side as its own process (in its namespace) and returns the
// exit status. The cliente paints and streams its screen through the real
// main window's link code; the tecnico shows the frames and logs each
// frame's stamp and the moment it was shown; the relay is the server's.
//
// Log lines: cliente "ready", "phase <change|idle|end> <ns>", "sent <stamp>
// <grab ns> <JPEG bytes> <sharpness>"; tecnico "connect <ns>", "shown <stamp>
// <ns>"; relay "ready". Times are CLOCK_MONOTONIC, shared by all namespaces.
// Both sides also log "cpu <ns>", the process's CPU time, when the link is
// validated and when it ends.
int RunCliente(const SideOptions& options);
int RunTecnico(const SideOptions& options);
int RunRelay(const SideOptions& options);

}  // namespace framelink
