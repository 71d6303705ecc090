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
    int changesPerSecond = 20;
    int idleSeconds = 60;
    int versao = 1;          // the link version the service agreed
    // The cliente paints its own changing desktop and ends after it; else it
    // streams whatever the screen shows until it is ended.
    bool paint = true;
    // Levels the cliente holds from the start, as a technician's choice holds
    // them; 0: the automatic sharpness while the screen changes, then "alta"
    // and "rapida" on the idle screen.
    int nitidez = 0;
    int atualizacao = 0;
    std::string picturePath;  // the tecnico keeps its last picture there (PNG) when the link ends
};

// Each runs one side as its own process (in its namespace) and returns the
// exit status. The cliente paints and streams its screen through the real
// main window's link code; the tecnico shows the frames and logs each
// frame's stamp and the moment it was shown; the relay is the server's.
//
// Log lines: cliente "ready", "phase <change|idle|end> <ns>", "sent <stamp>
// <grab ns> <JPEG bytes> <sharpness>"; tecnico "connect <ns>", "shown <stamp>
// <ns>", "saved <path>"; relay "ready". Times are CLOCK_MONOTONIC, shared by
// all namespaces.
// Both sides also log "cpu <ns>", the process's CPU time, when the link is
// validated and when it ends.
int RunCliente(const SideOptions& options);
int RunTecnico(const SideOptions& options);
int RunRelay(const SideOptions& options);

// The supported computer's screen for programs other than ours to capture
// too: its region changes (ChangingDesktop::Motion::Region) at
// changesPerSecond, from SIGUSR1 on, then it stays idle but for its clock.
// Log lines: "ready", "phase <change|idle|end> <ns>", "painted <stamp> <ns>"
// (the change is on the X server by then), "done"; it then shows the idle
// screen until it is ended.
int RunDesktop(const SideOptions& options);

}  // namespace framelink
