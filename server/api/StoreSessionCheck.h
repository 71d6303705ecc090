#pragma once

#include "relay/SessionCheck.h"
#include "server/store/Store.h"

// The relay's question answered by the store: the session exists, was
// accepted and has not ended, and the key matches (compared in constant time).

namespace api {

class StoreSessionCheck final : public relay::SessionCheck {
public:
    explicit StoreSessionCheck(store::Store& store) : store_(store) {}
    bool IsAcceptedSession(const std::string& sessaoId, const std::string& streamKey) override;

private:
    store::Store& store_;
};

}  // namespace api
