#pragma once

#include "server/ProcessUnderTest.h"

#include <memory>
#include <string>

namespace load {

// nginx (one worker, as the service has one thread) serving one static
// status reply over TLS with the service's own certificate: what a poll
// costs when nothing but the connection and the file is done.
class NginxReference {
public:
    NginxReference(const std::string& certificate, const std::string& key, const std::string& reply);
    ~NginxReference();
    bool Started() const { return port_ != 0; }
    unsigned short Port() const { return port_; }
    pid_t Pid() const { return process_ ? process_->Pid() : -1; }
    static const char* Path() { return "/status.json"; }

private:
    std::string folder_;
    std::unique_ptr<ProcessUnderTest> process_;
    unsigned short port_ = 0;
};

}  // namespace load
