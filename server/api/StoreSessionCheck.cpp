#include "server/api/StoreSessionCheck.h"

#include "server/ServerLog.h"
#include "server/api/Authentication.h"
#include "server/security/Secrets.h"

#include <exception>

namespace api {

std::optional<store::AcceptedKey> StoreSessionCheck::Find(const std::string& sessaoId)
{
    const store::Id id = ParseId(sessaoId);
    if (!id)
        return std::nullopt;
    try {
        return store_.AcceptedStreamKey(id);
    } catch (const std::exception& e) {
        ServerLog("relay: session check failed: %s", e.what());
        return std::nullopt;
    }
}

bool StoreSessionCheck::IsAcceptedSession(const std::string& sessaoId, const std::string& streamKey)
{
    if (streamKey.empty())
        return false;
    const std::optional<store::AcceptedKey> key = Find(sessaoId);
    return key && key->versaoLink == 1 && security::ConstantTimeEqual(key->streamKey, streamKey);
}

std::optional<std::string> StoreSessionCheck::ProvableSessionKey(const std::string& sessaoId)
{
    std::optional<store::AcceptedKey> key = Find(sessaoId);
    // Version 3 differs from 2 only in what travels after the Accept.
    if (!key || key->versaoLink < 2 || key->streamKey.empty())
        return std::nullopt;
    return std::move(key->streamKey);
}

}  // namespace api
