#include "relay/RelayLog.h"

#include <cstdio>

namespace relay {

namespace {

// One write call per line, so lines from other threads of the process do not interleave.
void WriteToStderr(std::string_view line)
{
    std::string text = "relay: ";
    text += line;
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace

std::string PeerText(const boost::asio::ip::tcp::endpoint& remote)
{
    const std::string address = remote.address().to_string();
    const std::string port = std::to_string(remote.port());
    return remote.address().is_v6() ? "[" + address + "]:" + port : address + ":" + port;
}

RelayLog::RelayLog(RelayLogSink sink) : sink_(sink ? std::move(sink) : RelayLogSink(WriteToStderr)) {}

void RelayLog::Write(std::string_view line) const { sink_(line); }

}  // namespace relay
