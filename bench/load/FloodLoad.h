#pragma once

#include "load/LoadOptions.h"

#include <boost/asio/ssl/context.hpp>

namespace load {

// The devices' polls, first quiet, then while one host floods the web
// service; both printed with the server's memory before and after the
// flood; false on any error of a device.
bool FloodLoad(const LoadOptions& options, boost::asio::ssl::context& tls);

}  // namespace load
