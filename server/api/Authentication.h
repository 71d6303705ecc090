#pragma once

#include "server/api/Endpoints.h"

#include <optional>

// The account part every session request starts with: e-mail, device id and
// token checked together against the device the token was issued to.

namespace api {

struct Authenticated {
    std::optional<store::Device> device;
    std::string_view erro;  // set when device is empty
};

Authenticated Authenticate(EndpointContext& ctx);

// E-mail as the store keys it: spaces trimmed, ASCII letters lower-cased.
std::string NormalEmail(std::string_view email);
std::string Trimmed(std::string_view text);
// Id fields ("17"): a positive decimal number, or 0 when the text is not one.
store::Id ParseId(std::string_view text);
// No control characters and at most `maxBytes` bytes.
bool IsPlainText(std::string_view text, std::size_t maxBytes);

}  // namespace api
