#include "relay/RelayLog.h"

#include "server/net/SourceAddress.h"

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
    const boost::asio::ip::address plain = net::Unmapped(remote.address());
    std::string text = plain.to_string();
    if (plain.is_v6())
        text.insert(0, 1, '[').append(1, ']');
    return text.append(1, ':').append(std::to_string(remote.port()));
}

RelayLog::RelayLog(RelayLogSink sink) : sink_(sink ? std::move(sink) : RelayLogSink(WriteToStderr)) {}

void RelayLog::Write(std::string_view line) const { sink_(line); }

}  // namespace relay
