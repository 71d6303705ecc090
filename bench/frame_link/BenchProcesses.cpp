#include "BenchProcesses.h"

#include "ShapedLink.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace framelink {

pid_t StartXvfb(const std::string& tag, const std::string& geometry, std::string* display)
{
    for (int number = 150 + getpid() % 40; number < 250; ++number) {
        char lock[64], name[16], command[512];
        std::snprintf(lock, sizeof lock, "/tmp/.X%d-lock", number);
        if (access(lock, F_OK) == 0)
            continue;
        std::snprintf(name, sizeof name, ":%d", number);
        const std::string ready = tag + "-display";
        std::snprintf(command, sizeof command,
                      "exec Xvfb %s -displayfd 3 -screen 0 %s -nolisten tcp -noreset 3>%s 2>/dev/null", name,
                      geometry.c_str(), ready.c_str());
        const pid_t pid = Spawn({"sh", "-c", command});
        for (int i = 0; pid > 0 && i < 200; ++i) {
            std::string shown;
            std::ifstream(ready) >> shown;
            if (!shown.empty()) {
                *display = name;
                return pid;
            }
            if (waitpid(pid, nullptr, WNOHANG) == pid)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        Stop(pid);
    }
    return -1;
}

void Stop(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

std::string SelfPath()
{
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : "frame_link_bench";
}

LogLines ReadLog(const std::string& path)
{
    LogLines lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::stringstream words(line);
        std::vector<std::string> fields;
        for (std::string word; words >> word;)
            fields.push_back(word);
        if (!fields.empty())
            lines.push_back(fields);
    }
    return lines;
}

bool WaitForLine(const std::string& path, const char* word, pid_t pid)
{
    for (int i = 0; i < 300; ++i) {
        for (const auto& line : ReadLog(path))
            if (line[0].rfind(word, 0) == 0)
                return true;
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

double Quantile(std::vector<double> values, double q)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const size_t i = std::min(values.size() - 1, static_cast<size_t>(q * static_cast<double>(values.size() - 1) + 0.5));
    return values[i];
}

double Between(const std::vector<Sample>& samples, double Sample::*value, std::int64_t from, std::int64_t to)
{
    auto at = [&](std::int64_t t) -> double {
        for (size_t i = 1; i < samples.size(); ++i)
            if (samples[i].ns >= t) {
                const Sample& a = samples[i - 1];
                const Sample& b = samples[i];
                const double f = b.ns == a.ns ? 1.0 : static_cast<double>(t - a.ns) / static_cast<double>(b.ns - a.ns);
                return a.*value + f * (b.*value - a.*value);
            }
        return samples.empty() ? 0.0 : samples.back().*value;
    };
    return at(to) - at(from);
}

std::vector<std::string> Split(const std::string& text)
{
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, ',');)
        parts.push_back(part);
    return parts;
}

}  // namespace framelink
