#include "load/LoadOptions.h"

#include <charconv>
#include <functional>
#include <string_view>
#include <vector>

namespace load {

namespace {

struct OptionRow {
    const char* name;
    const char* value;  // nullptr for a flag
    const char* help;
    std::function<bool(LoadOptions&, std::string_view)> set;
};

bool Count(std::string_view text, std::size_t low, std::size_t high, std::size_t& out)
{
    std::size_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < low || v > high)
        return false;
    out = v;
    return true;
}

bool Real(std::string_view text, double low, double high, double& out)
{
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !(v >= low && v <= high))
        return false;
    out = v;
    return true;
}

void Short(LoadOptions& o)
{
    o.devices = 50;
    o.sessions = 10;
    o.pollSeconds = o.stream.seconds = 5;
    o.flood.silent = 1000;
    o.flood.slow = 20;
    o.flood.trickle = 5;
}

const std::vector<OptionRow>& Rows()
{
    static const std::vector<OptionRow> rows = {
        {"--devices", "N", "polling devices (1000)",
         [](LoadOptions& o, std::string_view t) { return Count(t, 1, 60000, o.devices); }},
        {"--sessions", "N", "relayed streaming sessions (100)",
         [](LoadOptions& o, std::string_view t) { return Count(t, 1, 5000, o.sessions); }},
        {"--seconds", "S", "length of each run and of each reference (60)",
         [](LoadOptions& o, std::string_view t) {
             return Real(t, 1, 86400, o.pollSeconds) && (o.stream.seconds = o.pollSeconds, true);
         }},
        {"--frame-rate", "N", "frames per second from each cliente (4)",
         [](LoadOptions& o, std::string_view t) { return Real(t, 0.1, 100, o.stream.framesPerSecond); }},
        {"--command-rate", "N", "command lines per second from each tecnico (10)",
         [](LoadOptions& o, std::string_view t) { return Real(t, 0.1, 1000, o.stream.commandsPerSecond); }},
        {"--min-frame", "BYTES", "smallest frame payload (60000)",
         [](LoadOptions& o, std::string_view t) { return Count(t, 64, 16 << 20, o.stream.sizes.minBytes); }},
        {"--max-frame", "BYTES", "largest frame payload (120000)",
         [](LoadOptions& o, std::string_view t) { return Count(t, 64, 16 << 20, o.stream.sizes.maxBytes); }},
        {"--flood-silent", "N", "the flood's connections that never speak (10000)",
         [](LoadOptions& o, std::string_view t) { return Count(t, 0, 60000, o.flood.silent); }},
        {"--flood-slow", "N", "the flood's slowloris connections (200)",
         [](LoadOptions& o, std::string_view t) { return Count(t, 0, 60000, o.flood.slow); }},
        {"--flood-trickle", "N", "the flood's connections trickling after a 413 (50)",
         [](LoadOptions& o, std::string_view t) { return Count(t, 0, 60000, o.flood.trickle); }},
        {"--only", "polls|streams|flood|cluster", "one run: the first three run by default",
         [](LoadOptions& o, std::string_view t) {
             o.polls = t == "polls";
             o.streams = t == "streams";
             o.floods = t == "flood";
             o.cluster = t == "cluster";
             return o.polls || o.streams || o.floods || o.cluster;
         }},
        {"--short", nullptr, "smoke check: 50 devices, 10 sessions, a flood of 1,025 connections, 5 s",
         [](LoadOptions& o, std::string_view) { return Short(o), true; }},
        {"--no-reference", nullptr, "skip the same-run references (nginx, direct links)",
         [](LoadOptions& o, std::string_view) { return !(o.references = false); }},
        {"--help", nullptr, "this text", nullptr},
    };
    return rows;
}

std::string Help()
{
    std::string text = "usage: load_run [options]   (exit status 1 when any request, frame or command failed)\n";
    for (const OptionRow& row : Rows()) {
        std::string left = std::string("  ") + row.name + (row.value ? std::string(" ") + row.value : "");
        left.resize(std::max<std::size_t>(left.size() + 1, 24), ' ');
        text += left + row.help + "\n";
    }
    return text;
}

}  // namespace

ParsedLoadOptions ParseLoadOptions(int argc, char** argv)
{
    LoadOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = argv[i];
        const OptionRow* row = nullptr;
        for (const OptionRow& candidate : Rows())
            if (name == candidate.name)
                row = &candidate;
        if (!row || !row->set)
            return {std::nullopt, (row ? "" : "unknown option " + std::string(name) + "\n") + Help()};
        std::string_view value;
        if (row->value) {
            if (i + 1 >= argc)
                return {std::nullopt, std::string(name) + " needs a value\n"};
            value = argv[++i];
        }
        if (!row->set(options, value))
            return {std::nullopt, "bad value for " + std::string(name) + ": " + std::string(value) + "\n"};
    }
    if (options.stream.sizes.maxBytes < options.stream.sizes.minBytes)
        return {std::nullopt, "--max-frame is below --min-frame\n"};
    return {std::move(options), {}};
}

}  // namespace load
