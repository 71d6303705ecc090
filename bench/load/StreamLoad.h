#pragma once

#include "load/LoadOptions.h"

#include <boost/asio/ssl/context.hpp>

namespace load {

// The relayed streaming run and its direct reference, each printed; false on any error.
bool StreamLoad(const LoadOptions& options, boost::asio::ssl::context& tls);

}  // namespace load
