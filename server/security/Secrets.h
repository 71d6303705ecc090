#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Secrets of the service: random values from the OpenSSL generator, their
// SHA-256 digests (what the store keeps instead of tokens and codes), and a
// comparison that takes the same time wherever two secrets differ.

namespace security {

std::string RandomBytes(std::size_t count);
std::string RandomHex(std::size_t bytes);       // 2 * bytes lower-case hex digits
std::string RandomDigits(std::size_t digits);   // uniform decimal digits
std::string Sha256(std::string_view data);      // 32 raw bytes
std::string Sha256Hex(std::string_view data);   // 64 hex digits
std::string ToHex(std::string_view bytes);
bool ConstantTimeEqual(std::string_view a, std::string_view b);

}  // namespace security
