// The first bytes of every relay connection come from anyone: the Join line
// reader must never read past what it was given, and a Join or proof line it
// accepts must be exactly the one the program writes.
#include "relay/JoinLine.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t kMaxJoinLine = 512;

bool IsCleanIdentifier(std::string_view text)
{
    return !text.empty() && text.find_first_of("|:\r\n ") == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view received(reinterpret_cast<const char*>(data), size);
    const relay::JoinScan scan = relay::ScanJoinLine(received, kMaxJoinLine);
    if (scan.status != relay::JoinScan::Status::Found)
        return 0;
    if (scan.lineChars >= kMaxJoinLine || received[scan.lineChars] != '\n')
        __builtin_trap();

    std::string_view line = received.substr(0, scan.lineChars);
    const std::optional<std::string> proof = relay::ParseProofLine(line);
    if (proof && (proof->size() != 64 || line.substr(6, 64) != *proof))
        __builtin_trap();
    const relay::JoinParse parse = relay::ParseJoinLine(line);
    if (!parse.request)
        return 0;
    const relay::JoinRequest& join = *parse.request;
    const bool v2 = join.version == 2;
    if (!IsCleanIdentifier(join.sessaoId) || (v2 ? !join.streamKey.empty() : !IsCleanIdentifier(join.streamKey)))
        __builtin_trap();
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const std::string role(relay::RoleName(join.role));
    const std::string rebuilt = v2 ? "JOIN2|" + join.sessaoId + "|" + role + "|marquelin-relay-v2"
                                   : "JOIN|" + join.sessaoId + "|" + join.streamKey + "|" + role + "|marquelin-relay-v1";
    if (rebuilt != line)
        __builtin_trap();
    return 0;
}
