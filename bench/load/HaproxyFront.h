#pragma once

#include "server/ProcessUnderTest.h"

#include <memory>
#include <string>
#include <vector>

namespace load {

// haproxy before the web nodes, in TCP mode: TLS passes through to the
// nodes untouched, each new connection to the next node in turn, opened
// with a PROXY header naming the client. Its threads are haproxy's default
// (one per core).
class HaproxyFront {
public:
    explicit HaproxyFront(const std::vector<unsigned short>& nodePorts);
    ~HaproxyFront();
    bool Started() const { return port_ != 0; }
    unsigned short Port() const { return port_; }
    pid_t Pid() const { return process_ ? process_->Pid() : -1; }
    const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
    std::unique_ptr<ProcessUnderTest> process_;
    unsigned short port_ = 0;
};

}  // namespace load
