#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "relay/RelayReplies.h"

namespace relay {

enum class Role { Cliente, Tecnico };

// "cliente" or "tecnico", as they appear on the Join line.
std::string_view RoleName(Role role);
Role OtherRole(Role role);

// Version 1: "JOIN|<sessao_id>|<stream_key>|<cliente|tecnico>|marquelin-relay-v1".
// Version 2: "JOIN2|<sessao_id>|<cliente|tecnico>|marquelin-relay-v2", then a
// challenge from the relay and the side's proof, so the key never travels.
// The session id is the second field in both, for whoever balances on it.
struct JoinRequest {
    std::string sessaoId;
    std::string streamKey;  // version 2: the store's, once the proof holds
    Role role = Role::Cliente;
    int version = 1;
};

struct JoinParse {
    std::optional<JoinRequest> request;
    Refusal refusal = Refusal::BadJoinLine;  // when there is no request
};

// `line` is the text before the LF; one CR before the LF is tolerated. Both
// identifiers must be printable ASCII without "|" or ":" (the Hello line that
// follows the pairing separates them with ":"), which also keeps them safe to log.
JoinParse ParseJoinLine(std::string_view line);

// "PROVA|<64 lowercase hex>": the proof, or nullopt for any other line.
std::optional<std::string> ParseProofLine(std::string_view line);

// 32 bytes from the system's generator as 64 lowercase hex; nullopt if it fails.
std::optional<std::string> NewChallenge();

// Where the Join line ends in what a connection has sent so far.
struct JoinScan {
    enum class Status { NeedMore, Found, TooLong };
    Status status = Status::NeedMore;
    std::size_t lineChars = 0;  // Found: the line without its LF
};

// The LF must come within the first `maxJoinLine` bytes.
JoinScan ScanJoinLine(std::string_view received, std::size_t maxJoinLine);

}  // namespace relay
