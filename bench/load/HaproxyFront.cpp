#include "load/HaproxyFront.h"

#include "load/ServerRig.h"

#include <filesystem>
#include <fstream>

namespace load {

namespace {

// Timeouts far above the 2 s between a device's polls, so a kept connection
// is the nodes' to end (their keep-alive idle time), not haproxy's.
constexpr const char* kHead = R"(global
  maxconn 8000
defaults
  mode tcp
  timeout connect 5s
  timeout client 60s
  timeout server 60s
frontend https
  bind 127.0.0.1:)";
constexpr const char* kBackend = R"(
  default_backend nodes
backend nodes
  balance roundrobin
)";

void WriteConfiguration(const std::string& file, unsigned short port, const std::vector<unsigned short>& nodes)
{
    std::ofstream conf(file);
    conf << kHead << port << kBackend;
    for (std::size_t i = 0; i < nodes.size(); ++i)
        conf << "  server node" << i + 1 << " 127.0.0.1:" << nodes[i] << " send-proxy-v2\n";
}

}  // namespace

HaproxyFront::HaproxyFront(const std::vector<unsigned short>& nodePorts) : folder_(MakeRunFolder("haproxy"))
{
    if (folder_.empty())
        return;
    const unsigned short port = FreePort();
    WriteConfiguration(folder_ + "/haproxy.cfg", port, nodePorts);
    // -db: in the foreground, so its pid is the one to measure and stop.
    process_ = std::make_unique<ProcessUnderTest>(
        std::vector<std::string>{"haproxy", "-db", "-f", folder_ + "/haproxy.cfg"}, folder_ + "/haproxy.log");
    if (WaitForPort(port, 10000))
        port_ = port;
}

HaproxyFront::~HaproxyFront()
{
    process_.reset();
    std::error_code ec;
    if (!folder_.empty() && port_ != 0)
        std::filesystem::remove_all(folder_, ec);
}

}  // namespace load
