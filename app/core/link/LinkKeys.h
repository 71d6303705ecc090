#pragma once

#include <string>
#include <string_view>

// Keys of a version-2 screen link, all derived from the session's secret
// (`stream_key`) and id (`sessao_id`) with HKDF-SHA256, so the secret itself
// never travels: each use gets its own key, and knowing one tells nothing of
// the secret or of the others. Plain C++ on OpenSSL, shared by the program
// and the relay. Throws std::runtime_error only if OpenSSL fails.
namespace linkkeys {

inline constexpr std::string_view kRelayProtocolV2 = "marquelin-relay-v2";
inline constexpr std::string_view kPskIdentity = "marquelin-link-v2";

// 32 bytes of HKDF-SHA256(ikm = streamKey, salt = sessaoId, info = label).
std::string Derive(std::string_view streamKey, std::string_view sessaoId, std::string_view label);

// The TLS 1.3 external pre-shared key of the link (32 bytes).
std::string LinkPsk(std::string_view streamKey, std::string_view sessaoId);

// What a side writes on the relay in answer to its challenge: lowercase hex of
// HMAC-SHA256 over "marquelin-relay-v2|<sessaoId>|<papel>|<challengeHex>",
// keyed with the relay-join key.
std::string RelayJoinProof(std::string_view streamKey, std::string_view sessaoId, std::string_view papel,
                           std::string_view challengeHex);

// Constant-time comparison of two texts of any length.
bool SameText(std::string_view a, std::string_view b);

}  // namespace linkkeys
