#include "load/ProcessMeter.h"

#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace load {
namespace {

std::vector<pid_t> Children(pid_t pid)
{
    std::vector<pid_t> children;
    std::ifstream list("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    for (pid_t child = 0; list >> child;)
        children.push_back(child);
    return children;
}

// utime and stime, fields 14 and 15 of /proc/PID/stat; the command name in
// parentheses may hold spaces, so fields are counted from its end.
double CpuOf(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t end = text.rfind(')');
    if (end == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(end + 2));
    std::string skip;
    for (int field = 3; field < 14; ++field)
        fields >> skip;
    double user = 0, system = 0;
    fields >> user >> system;
    return (user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// A "Vm...:" line of /proc/PID/status, in MiB.
double StatusMiB(pid_t pid, const std::string& field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0)
            return std::stod(line.substr(field.size())) / 1024.0;
    return 0;
}

}  // namespace

ProcessUse ReadProcessUse(pid_t pid)
{
    ProcessUse use{CpuOf(pid), StatusMiB(pid, "VmHWM:")};
    for (pid_t child : Children(pid)) {
        const ProcessUse more = ReadProcessUse(child);
        use.cpuSeconds += more.cpuSeconds;
        use.peakRssMiB += more.peakRssMiB;
    }
    return use;
}

ProcessUse ReadProcessUse(const std::vector<pid_t>& pids)
{
    ProcessUse sum;
    for (pid_t pid : pids) {
        const ProcessUse one = pid > 0 ? ReadProcessUse(pid) : ProcessUse{};
        sum.cpuSeconds += one.cpuSeconds;
        sum.peakRssMiB += one.peakRssMiB;
    }
    return sum;
}

double CurrentRssMiB(pid_t pid) { return StatusMiB(pid, "VmRSS:"); }

unsigned long long ListenOverflows()
{
    // Pairs of lines: the field names, then their values.
    std::ifstream in("/proc/net/netstat");
    for (std::string names, values; std::getline(in, names) && std::getline(in, values);) {
        std::istringstream n(names), v(values);
        for (std::string name, value; n >> name && v >> value;)
            if (name == "ListenOverflows")
                return std::stoull(value);
    }
    return 0;
}

double OwnCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

}  // namespace load
