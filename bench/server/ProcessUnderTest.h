#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A child process for a benchmark run: started with its output in a file,
// stopped with SIGTERM (SIGKILL after a grace period) when it goes away.
class ProcessUnderTest {
public:
    ProcessUnderTest(const std::vector<std::string>& args, const std::string& logFile);
    ~ProcessUnderTest();
    ProcessUnderTest(const ProcessUnderTest&) = delete;
    ProcessUnderTest& operator=(const ProcessUnderTest&) = delete;
    bool Alive() const;
    pid_t Pid() const { return pid_; }  // for the load runs' CPU and memory readings
    // Processor time (user and system) it and its children (nginx's worker)
    // have used so far; 0 when unreadable.
    double CpuSeconds() const;
    // For a program run to its end (initdb): its exit status, or -1 when it
    // did not end within `timeoutMs` (it is then stopped as usual).
    int WaitExit(int timeoutMs);

private:
    pid_t pid_ = -1;
};

// Polls until `path` exists and holds text, or the time runs out.
std::string WaitForFile(const std::string& path, int timeoutMs);
// Waits until something accepts TCP connections on 127.0.0.1:port.
bool WaitForPort(unsigned short port, int timeoutMs);
unsigned short FreePort();
