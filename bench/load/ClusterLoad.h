#pragma once

#include "load/LoadOptions.h"

#include <boost/asio/ssl/context.hpp>

namespace load {

// The same devices polling one node on SQLite, then two nodes on one
// PostgreSQL behind haproxy, each way with a full TLS handshake per poll, a
// resumed session per poll and a kept connection, each printed with the CPU
// per poll of the nodes, PostgreSQL and haproxy; false on any error.
bool ClusterLoad(const LoadOptions& options, boost::asio::ssl::context& tls);

}  // namespace load
