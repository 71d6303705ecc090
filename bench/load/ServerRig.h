#pragma once

#include "server/ProcessUnderTest.h"

#include <memory>
#include <string>
#include <vector>

namespace load {

// The release marquelin-server started for one load run: a fresh data folder
// under /tmp, both listeners on free ports, its log in the folder. The
// folder goes with the rig unless the run failed (then it stays for reading).
class ServerRig {
public:
    explicit ServerRig(const std::vector<std::string>& extraOptions);
    ~ServerRig();
    bool Started() const { return httpsPort_ != 0 && relayPort_ != 0; }
    // Started(); when not, says so and keeps the folder for reading.
    bool StartedOrKept();
    const std::string& Folder() const { return folder_; }
    std::string DataFolder() const { return folder_ + "/data"; }
    std::string LogFile() const { return folder_ + "/server.log"; }
    unsigned short HttpsPort() const { return httpsPort_; }
    unsigned short RelayPort() const { return relayPort_; }
    pid_t Pid() const { return process_ ? process_->Pid() : -1; }
    void KeepFolder() { keep_ = true; }
    // Stops the server now (its last log line gives its handshake counts).
    void Stop() { process_.reset(); }

private:
    std::string folder_;
    std::unique_ptr<ProcessUnderTest> process_;
    unsigned short httpsPort_ = 0;
    unsigned short relayPort_ = 0;
    bool keep_ = false;
};

// A fresh folder under /tmp named after `what`; empty when none could be made.
std::string MakeRunFolder(const std::string& what);

}  // namespace load
