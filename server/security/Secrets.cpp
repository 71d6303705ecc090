#include "server/security/Secrets.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <stdexcept>

namespace security {

std::string RandomBytes(std::size_t count)
{
    std::string out(count, '\0');
    if (count > 0 && RAND_bytes(reinterpret_cast<unsigned char*>(out.data()), static_cast<int>(count)) != 1)
        throw std::runtime_error("the random generator failed");
    return out;
}

std::string ToHex(std::string_view bytes)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += hex[b >> 4];
        out += hex[b & 0xF];
    }
    return out;
}

std::string RandomHex(std::size_t bytes) { return ToHex(RandomBytes(bytes)); }

std::string RandomDigits(std::size_t digits)
{
    std::string out;
    out.reserve(digits);
    while (out.size() < digits) {
        // Bytes of 250 and above are dropped so every digit is equally likely.
        for (const char c : RandomBytes(digits)) {
            const auto b = static_cast<unsigned char>(c);
            if (b < 250 && out.size() < digits)
                out += static_cast<char>('0' + b % 10);
        }
    }
    return out;
}

std::string Sha256(std::string_view data)
{
    std::string out(SHA256_DIGEST_LENGTH, '\0');
    SHA256(reinterpret_cast<const unsigned char*>(data.data()), data.size(),
           reinterpret_cast<unsigned char*>(out.data()));
    return out;
}

std::string Sha256Hex(std::string_view data) { return ToHex(Sha256(data)); }

bool ConstantTimeEqual(std::string_view a, std::string_view b)
{
    // Lengths of our secrets are public; only their contents must not leak.
    if (a.size() != b.size())
        return false;
    return a.empty() || CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace security
