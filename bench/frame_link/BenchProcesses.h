#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace framelink {

// The coordinator's side of the benchmarks that run the program's sides as
// processes of their own: their screens, their logs, their ending.

// A private Xvfb of `geometry` ("1920x1080x24"), on a display number of its
// own well away from :0, which other tools use and end; its name (":152")
// in `display`. `tag` names the file it reports its number in.
pid_t StartXvfb(const std::string& tag, const std::string& geometry, std::string* display);
// SIGTERM, then SIGKILL after 5 s.
void Stop(pid_t pid);
std::string SelfPath();

// A side's log: one event per line, its words.
using LogLines = std::vector<std::vector<std::string>>;
LogLines ReadLog(const std::string& path);
// Until the log at `path` holds a line whose first word starts with `word`, false when `pid` ends first or after 15 s.
bool WaitForLine(const std::string& path, const char* word, pid_t pid);
inline bool WaitForReady(const std::string& path, pid_t pid) { return WaitForLine(path, "ready", pid); }

// Counters read every so often while a case runs.
struct Sample {
    std::int64_t ns;
    double bytes;
    double cpuSeconds = 0;
};
// How much `value` grew from `from` to `to`, read between the samples.
double Between(const std::vector<Sample>& samples, double Sample::*value, std::int64_t from, std::int64_t to);

double Quantile(std::vector<double> values, double q);
std::vector<std::string> Split(const std::string& text);

}  // namespace framelink
