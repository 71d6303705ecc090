#pragma once

#include "load/LoadOptions.h"

#include <boost/asio/ssl/context.hpp>

namespace load {

// The poll run and its nginx reference, each printed; false on any error.
bool PollLoad(const LoadOptions& options, boost::asio::ssl::context& tls);

}  // namespace load
