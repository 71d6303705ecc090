#include "relay/RelayLog.h"

#include <cstdio>

namespace relay {

namespace {

// One write call per line, so lines from other threads of the process do not interleave.
void WriteToStderr(std::string_view line)
{
    std::string text = "relay: ";
    text += line;
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace

RelayLog::RelayLog(RelayLogSink sink) : sink_(sink ? std::move(sink) : RelayLogSink(WriteToStderr)) {}

void RelayLog::Write(std::string_view line) const { sink_(line); }

}  // namespace relay
