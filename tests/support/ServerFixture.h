#pragma once

#include "support/ChildProcess.h"
#include "support/HangLimit.h"
#include "support/TempDir.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// The real marquelin-server binary, started on free ports with a fresh data
// folder (removed at the end), for tests that talk to the service as the
// program does. Point the program at it with
//   ScopedEnv site("MARQUELIN_SITE", server.SiteOrigin().c_str());
//   ScopedEnv ca("MARQUELIN_CA_FILE", server.CaFile().c_str());
//   ScopedEnv relay("MARQUELIN_RELAY", server.RelayEndpoint().c_str());
// Mail goes to the outbox; OutboxCodes() reads the activation codes sent to
// an address; Log() is what the server wrote. The destructor stops it with
// SIGTERM. A test target using it adds add_dependencies(<test> marquelin-server).
// Construction fails the test (ADD_FAILURE) when the server does not
// come up; Running() then says false.
// Where the server runs: the address it listens on and is reached at, and a
// command prefix that starts it there (e.g. in another network namespace).
struct ServerPlacement {
    std::string address = "127.0.0.1";
    std::vector<std::string> launcher;
};

// What the programs and the tests that run them need of the service, be it
// one server or several behind a balancer.
class Service {
public:
    virtual ~Service() = default;
    virtual std::string SiteOrigin() const = 0;
    virtual std::string RelayEndpoint() const = 0;
    virtual std::string CaFile() const = 0;
    virtual std::string Log() const = 0;
    virtual std::string LatestCode(const std::string& email) const = 0;  // "" when none
    virtual bool Running() const = 0;
    virtual void Stop() = 0;
    virtual void Start() = 0;
    virtual void Kill9() = 0;
};

class ServerFixture : public Service {
public:
    // extraArgs go after --data and the ports, e.g. {"--throttle-free", "2"}.
    explicit ServerFixture(std::vector<std::string> extraArgs = {}, ServerPlacement where = {});
    ~ServerFixture() override;
    ServerFixture(const ServerFixture&) = delete;
    ServerFixture& operator=(const ServerFixture&) = delete;

    std::string SiteOrigin() const override;     // "https://<address>:<port>"
    std::string RelayEndpoint() const override;  // "<address>:<port>"
    uint16_t HttpsPort() const { return httpsPort_; }
    uint16_t RelayPort() const { return relayPort_; }
    std::string CaFile() const override;  // the generated self-signed certificate
    std::string DataDir() const { return dataDir_; }
    std::string Log() const override;     // what the server wrote so far

    // Activation codes mailed to `email`, oldest first.
    std::vector<std::string> OutboxCodes(const std::string& email) const;
    std::string LatestCode(const std::string& email) const override
    {
        const std::vector<std::string> codes = OutboxCodes(email);
        return codes.empty() ? std::string() : codes.back();
    }

    bool Running() const override { return process_.Running(); }
    void Stop() override { process_.Stop(kHangMs); }  // SIGTERM and wait; the exit code is then in ExitCode()
    void Start() override;                            // again, on the same ports and data folder
    void Kill9() override;  // SIGKILL, wait, then Start(): nothing acknowledged may be lost
    int ExitCode() const { return process_.ExitCode(); }  // -1 when killed by a signal

private:
    bool WaitUntilUp();

    std::vector<std::string> extraArgs_;
    ServerPlacement where_;
    TempDir folder_{"marquelin-server"};
    std::string dataDir_;
    uint16_t httpsPort_ = 0;
    uint16_t relayPort_ = 0;
    mutable ChildProcess process_;
};

}  // namespace testing_support
