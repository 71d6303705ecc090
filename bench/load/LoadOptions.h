#pragma once

#include "load/FloodTraffic.h"
#include "load/StreamRun.h"

#include <cstddef>
#include <optional>
#include <string>

namespace load {

struct LoadOptions {
    std::size_t devices = 1000;   // polling devices of the first run
    std::size_t sessions = 100;   // streaming sessions of the second
    bool polls = true, streams = true, floods = true, references = true;
    bool cluster = false;         // only when asked: one node, then two behind haproxy
    std::size_t setupParallel = 8;  // sign-ups and brokering steps at once
    double pollSeconds = 60;
    StreamPlan stream;            // its seconds set with the poll run's
    FloodPlan flood;              // its address and port set by the run
};

struct ParsedLoadOptions {
    std::optional<LoadOptions> options;  // empty after --help or an error
    std::string message;
};

ParsedLoadOptions ParseLoadOptions(int argc, char** argv);

}  // namespace load
