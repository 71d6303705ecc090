#pragma once

#include "load/LoadOptions.h"
#include "load/PollRun.h"
#include "load/RunSupport.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ssl/context.hpp>

#include <optional>
#include <string>
#include <vector>

namespace load {

class ServerRig;

// The server options a poll run needs: codes that outlive the setup and the runs.
std::vector<std::string> PollServerOptions(const LoadOptions& options);

// Signs up the devices on `rig` and brokers them into their standings (in
// every ten: an accepted session, a request not yet answered, four live
// codes, two devices without one); their pollers, or nothing when a step failed.
std::optional<std::vector<Poller>> BrokeredPollers(boost::asio::io_context& io, boost::asio::ssl::context& tls,
                                                   const ServerRig& rig, const LoadOptions& options);

void PrintPolls(const char* who, const char* process, const PollResult& result, const Usage& usage,
                std::size_t devices);

// The poll run and its nginx reference, each printed; false on any error.
bool PollLoad(const LoadOptions& options, boost::asio::ssl::context& tls);

}  // namespace load
