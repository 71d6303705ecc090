#pragma once

#include <string>

namespace relay {

// The relay's one question to the store. Called on the relay's thread, once
// per Join line, before the side may wait or pair; it should answer quickly.
class SessionCheck {
public:
    virtual ~SessionCheck() = default;

    // Answers whether the store knows this session as accepted (not ended)
    // with this stream key.
    virtual bool IsAcceptedSession(const std::string& sessaoId, const std::string& streamKey) = 0;
};

}  // namespace relay
