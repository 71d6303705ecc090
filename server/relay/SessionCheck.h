#pragma once

#include <optional>
#include <string>

namespace relay {

// The relay's questions to the store. Called on the relay's thread, once per
// Join, before the side may wait or pair; they should answer quickly.
class SessionCheck {
public:
    virtual ~SessionCheck() = default;

    // A version-1 Join: whether the store knows this session as accepted (not
    // ended), on link version 1, with this stream key.
    virtual bool IsAcceptedSession(const std::string& sessaoId, const std::string& streamKey) = 0;

    // A version-2 Join: the stream key of a session the store knows as
    // accepted (not ended) on link version 2, so the relay can check the
    // side's proof; nullopt for any other session.
    virtual std::optional<std::string> ProvableSessionKey(const std::string& sessaoId) = 0;
};

}  // namespace relay
