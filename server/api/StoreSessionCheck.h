#pragma once

#include "relay/SessionCheck.h"
#include "server/store/Store.h"

// The relay's questions answered by the store: the session exists, was
// accepted, has not ended and runs the link version of the Join; a version-1
// key is compared here, in constant time.

namespace api {

class StoreSessionCheck final : public relay::SessionCheck {
public:
    explicit StoreSessionCheck(store::Store& store) : store_(store) {}
    bool IsAcceptedSession(const std::string& sessaoId, const std::string& streamKey) override;
    std::optional<std::string> ProvableSessionKey(const std::string& sessaoId) override;

private:
    std::optional<store::AcceptedKey> Find(const std::string& sessaoId);

    store::Store& store_;
};

}  // namespace api
