#pragma once

#include "server/api/Service.h"

#include <optional>
#include <string_view>

// The site's pages outside /api/: the version numbers the program checks at
// start-up, the download and help pages it opens, the home page and a health
// check for scripts. nullopt when `path` is none of them.

namespace api {

std::optional<HttpReply> Page(std::string_view path, const ServiceConfig& config);

}  // namespace api
