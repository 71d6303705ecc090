#include "core/link/LinkKeys.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/kdf.h>

#include <memory>
#include <stdexcept>

namespace linkkeys {

namespace {

constexpr std::size_t kKeyBytes = 32;

const unsigned char* Bytes(std::string_view text) { return reinterpret_cast<const unsigned char*>(text.data()); }

std::string Hex(const unsigned char* bytes, std::size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0xF];
    }
    return out;
}

}  // namespace

std::string Derive(std::string_view streamKey, std::string_view sessaoId, std::string_view label)
{
    const std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
        EVP_PKEY_CTX_new_id(EVP_PKEY_HKDF, nullptr), EVP_PKEY_CTX_free);
    std::string out(kKeyBytes, '\0');
    std::size_t length = out.size();
    if (!ctx || EVP_PKEY_derive_init(ctx.get()) <= 0 || EVP_PKEY_CTX_set_hkdf_md(ctx.get(), EVP_sha256()) <= 0
        || EVP_PKEY_CTX_set1_hkdf_salt(ctx.get(), Bytes(sessaoId), static_cast<int>(sessaoId.size())) <= 0
        || EVP_PKEY_CTX_set1_hkdf_key(ctx.get(), Bytes(streamKey), static_cast<int>(streamKey.size())) <= 0
        || EVP_PKEY_CTX_add1_hkdf_info(ctx.get(), Bytes(label), static_cast<int>(label.size())) <= 0
        || EVP_PKEY_derive(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &length) <= 0
        || length != kKeyBytes)
        throw std::runtime_error("HKDF failed");
    return out;
}

std::string LinkPsk(std::string_view streamKey, std::string_view sessaoId)
{
    return Derive(streamKey, sessaoId, "marquelin link v2 psk");
}

std::string RelayJoinProof(std::string_view streamKey, std::string_view sessaoId, std::string_view papel,
                           std::string_view challengeHex)
{
    const std::string key = Derive(streamKey, sessaoId, "marquelin relay join v2");
    std::string message;
    message.append(kRelayProtocolV2).append("|").append(sessaoId).append("|").append(papel).append("|").append(
        challengeHex);
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int macLength = 0;
    if (!HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), Bytes(message), message.size(), mac,
              &macLength))
        throw std::runtime_error("HMAC failed");
    return Hex(mac, macLength);
}

bool SameText(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace linkkeys
