#include "server/api/StoreSessionCheck.h"

#include "server/ServerLog.h"
#include "server/api/Authentication.h"
#include "server/security/Secrets.h"

#include <exception>

namespace api {

bool StoreSessionCheck::IsAcceptedSession(const std::string& sessaoId, const std::string& streamKey)
{
    const store::Id id = ParseId(sessaoId);
    if (!id || streamKey.empty())
        return false;
    try {
        const std::optional<std::string> key = store_.AcceptedStreamKey(id);
        return key && security::ConstantTimeEqual(*key, streamKey);
    } catch (const std::exception& e) {
        ServerLog("relay: session check failed: %s", e.what());
        return false;
    }
}

}  // namespace api
