#include "server/api/Authentication.h"

#include "server/security/Secrets.h"

#include <charconv>

namespace api {

std::string Trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

std::string NormalEmail(std::string_view email)
{
    std::string out = Trimmed(email);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

store::Id ParseId(std::string_view text)
{
    const std::string trimmed = Trimmed(text);
    store::Id id = 0;
    const auto [end, ec] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), id);
    if (ec != std::errc() || end != trimmed.data() + trimmed.size() || id <= 0)
        return 0;
    return id;
}

bool IsPlainText(std::string_view text, std::size_t maxBytes)
{
    if (text.size() > maxBytes)
        return false;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            return false;
    }
    return true;
}

Authenticated Authenticate(EndpointContext& ctx)
{
    const std::string& email = ctx.form.Get("email");
    const std::string& uid = ctx.form.Get("dispositivo_uid");
    const std::string& token = ctx.form.Get("token");
    if (Trimmed(email).empty() || uid.empty() || token.empty())
        return {std::nullopt, erro::AutenticacaoIncompleta};
    // Tokens are 256 random bits, so looking one up by its digest leaks
    // nothing worth a constant-time search.
    std::optional<store::Device> device = ctx.store.FindDeviceByToken(security::Sha256(token));
    if (!device || device->uid != uid || device->email != NormalEmail(email))
        return {std::nullopt, erro::TokenInvalido};
    return {std::move(device), {}};
}

}  // namespace api
