#pragma once

#include <string>
#include <vector>

namespace e2e {

// Three computers and the Internet between them, on one machine. The test
// process becomes the router (a network namespace of its own); the server,
// the supported computer and the technician's computer each live in a
// namespace with one network card (a veth pair to the router):
//
//   server    198.51.100.10  ─┐
//   tecnico   192.0.2.20     ─┼─ router (forwards; firewall faults; NAT)
//   cliente   192.168.50.10  ─┘  behind its office's address 203.0.113.5
//
// The cliente's office NAT gives it a public address that differs from its
// local one, and forwards the direct port to it, so the technician's first
// target (the public address), its alternative (the local address, routed
// as over a VPN) and the relay on the server are three real routes.
//
// The namespaces hang off a private mount namespace of the test process, so
// they vanish with it whatever way it ends. Must run before any thread starts.
bool EnterLab();
bool InLab();
const std::string& LabProblem();  // why there is no lab

enum class Host { Server, Cliente, Tecnico };
constexpr const char* kServerAddress = "198.51.100.10";
constexpr const char* kClienteLocalAddress = "192.168.50.10";
constexpr const char* kClientePublicAddress = "203.0.113.5";
constexpr const char* kTecnicoAddress = "192.0.2.20";

// The command prefix that runs a program on `host` (empty outside the lab).
std::vector<std::string> RunOn(Host host);

// A fault on the router while the object lives: an nftables rule of the
// forward path, one of those below.
class NetworkFault {
public:
    explicit NetworkFault(const std::string& rule);
    ~NetworkFault();
    NetworkFault(const NetworkFault&) = delete;
    NetworkFault& operator=(const NetworkFault&) = delete;
    bool Active() const { return active_; }
    void Lift();

private:
    bool active_ = false;
};

// Faults, around the cliente's direct port 50555 (txtTelaPorta's default,
// forwarded by its NAT). Dropped packets make connections go nowhere (no refusal, no reset),
// as behind a firewall or a pulled cable.
extern const char* const kDirectPortBlocked;   // every direct connection to the cliente dropped
extern const char* const kPortForwardMissing;  // the office refuses the direct port on its public address
extern const char* const kClienteTecnicoCut;   // every packet between the two computers dropped

// Caps the TCP receive buffer of new connections on `host` (a small window),
// so a peer that stops reading fills the path within a second or two.
bool CapReceiveBuffer(Host host, int bytes);

}  // namespace e2e
