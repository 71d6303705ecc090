#include "relay/JoinLine.h"

#include <algorithm>
#include <array>

namespace relay {

namespace {

constexpr std::string_view kJoinWord = "JOIN";
constexpr std::string_view kProtocolTag = "marquelin-relay-v1";
constexpr std::size_t kFieldCount = 5;

struct RoleRow {
    Role role;
    std::string_view name;
};
constexpr std::array<RoleRow, 2> kRoles{{{Role::Cliente, "cliente"}, {Role::Tecnico, "tecnico"}}};

bool IsIdentifierChar(char c) { return c > ' ' && c <= '~' && c != '|' && c != ':'; }

bool IsIdentifier(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), IsIdentifierChar);
}

// Splits on "|"; more fields than `kFieldCount` leave the last one holding the rest.
std::array<std::string_view, kFieldCount> SplitFields(std::string_view line, std::size_t& count)
{
    std::array<std::string_view, kFieldCount> fields{};
    count = 0;
    while (count + 1 < kFieldCount) {
        const std::size_t bar = line.find('|');
        if (bar == std::string_view::npos)
            break;
        fields[count++] = line.substr(0, bar);
        line.remove_prefix(bar + 1);
    }
    fields[count++] = line;
    return fields;
}

JoinParse Refuse(Refusal refusal) { return {std::nullopt, refusal}; }

}  // namespace

std::string_view RoleName(Role role)
{
    for (const RoleRow& row : kRoles)
        if (row.role == role)
            return row.name;
    return {};
}

Role OtherRole(Role role) { return role == Role::Cliente ? Role::Tecnico : Role::Cliente; }

JoinParse ParseJoinLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    std::size_t count = 0;
    const auto fields = SplitFields(line, count);
    if (count != kFieldCount || fields[0] != kJoinWord)
        return Refuse(Refusal::BadJoinLine);
    if (fields[4] != kProtocolTag)
        return Refuse(Refusal::UnknownProtocol);
    const auto row = std::find_if(kRoles.begin(), kRoles.end(),
                                  [&](const RoleRow& r) { return r.name == fields[3]; });
    if (row == kRoles.end())
        return Refuse(Refusal::BadRole);
    if (!IsIdentifier(fields[1]) || !IsIdentifier(fields[2]))
        return Refuse(Refusal::BadJoinLine);
    return {JoinRequest{std::string(fields[1]), std::string(fields[2]), row->role}, {}};
}

JoinScan ScanJoinLine(std::string_view received, std::size_t maxJoinLine)
{
    const std::size_t lf = received.substr(0, maxJoinLine).find('\n');
    if (lf != std::string_view::npos)
        return {JoinScan::Status::Found, lf};
    if (received.size() >= maxJoinLine)
        return {JoinScan::Status::TooLong, 0};
    return {};
}

}  // namespace relay
