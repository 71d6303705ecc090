#include "relay/JoinLine.h"

#include <openssl/rand.h>

#include <algorithm>
#include <array>

#include "core/link/LinkKeys.h"

namespace relay {

namespace {

constexpr std::size_t kFieldCount = 5;
constexpr std::size_t kChallengeBytes = 32;
constexpr std::string_view kProofWord = "PROVA|";
constexpr std::size_t kProofChars = 64;

// The two forms of the Join line: where each keeps its fields.
struct JoinForm {
    std::string_view word;
    std::size_t fieldCount;
    std::string_view protocolTag;
    std::size_t keyField;  // 0: none
    std::size_t roleField;
    int version;
};
constexpr std::array<JoinForm, 2> kForms{{
    {"JOIN", 5, "marquelin-relay-v1", 2, 3, 1},
    {"JOIN2", 4, linkkeys::kRelayProtocolV2, 0, 2, 2},
}};

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

bool IsLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

std::string_view WithoutCr(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
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
    line = WithoutCr(line);
    std::size_t count = 0;
    const auto fields = SplitFields(line, count);
    const auto form = std::find_if(kForms.begin(), kForms.end(), [&](const JoinForm& f) { return f.word == fields[0]; });
    if (form == kForms.end() || count != form->fieldCount)
        return Refuse(Refusal::BadJoinLine);
    if (fields[count - 1] != form->protocolTag)
        return Refuse(Refusal::UnknownProtocol);
    const std::string_view roleName = fields[form->roleField];
    const auto row = std::find_if(kRoles.begin(), kRoles.end(), [&](const RoleRow& r) { return r.name == roleName; });
    if (row == kRoles.end())
        return Refuse(Refusal::BadRole);
    const std::string_view key = form->keyField ? fields[form->keyField] : std::string_view();
    if (!IsIdentifier(fields[1]) || (form->keyField && !IsIdentifier(key)))
        return Refuse(Refusal::BadJoinLine);
    return {JoinRequest{std::string(fields[1]), std::string(key), row->role, form->version}, {}};
}

std::optional<std::string> ParseProofLine(std::string_view line)
{
    line = WithoutCr(line);
    if (line.size() != kProofWord.size() + kProofChars || line.substr(0, kProofWord.size()) != kProofWord)
        return std::nullopt;
    line.remove_prefix(kProofWord.size());
    if (!std::all_of(line.begin(), line.end(), IsLowerHex))
        return std::nullopt;
    return std::string(line);
}

std::optional<std::string> NewChallenge()
{
    std::array<unsigned char, kChallengeBytes> bytes{};
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1)
        return std::nullopt;
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * bytes.size());
    for (const unsigned char b : bytes) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
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
