// A balancer's PROXY header, or anyone's bytes where one is expected: the
// scan must stay within its bound, and its answer must not depend on what
// follows the header, since the reader stops taking bytes there.
#include "server/net/ProxyHeader.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using Status = net::ProxyHeaderScan::Status;
    const std::string_view received(reinterpret_cast<const char*>(data), size);
    const net::ProxyHeaderScan scan = net::ScanProxyHeader(received);
    if (scan.status == Status::NeedMore && size >= net::kMaxProxyHeaderBytes)
        __builtin_trap();
    if (scan.status != Status::Done)
        return 0;
    if (scan.length == 0 || scan.length > size || scan.length > net::kMaxProxyHeaderBytes)
        __builtin_trap();
    const net::ProxyHeaderScan alone = net::ScanProxyHeader(received.substr(0, scan.length));
    if (alone.status != Status::Done || alone.length != scan.length || alone.client != scan.client
        || net::ScanProxyHeader(received.substr(0, scan.length - 1)).status != Status::NeedMore)
        __builtin_trap();
    return 0;
}
