#pragma once

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testing_support {

// A child process of the test, with its own environment and its output in a
// file. The destructor ends it (SIGTERM, then SIGKILL) if it still runs, so
// a failing test leaves nothing behind.
class ChildProcess {
public:
    using Environment = std::map<std::string, std::string>;

    // The test's own environment with `changes` applied (an empty value unsets).
    static Environment Inherited(const Environment& changes);

    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `argv` with `env`; standard output and error go to `logPath`.
    // `keepFd`, when not -1, is passed to the child as descriptor 3.
    bool Start(const std::vector<std::string>& argv, const Environment& env, const std::string& logPath,
               int keepFd = -1);

    bool Running();
    // Waits up to `ms` for the exit; true when it ended (see ExitCode()).
    bool WaitExit(int ms);
    // SIGTERM, `graceMs` to end, then SIGKILL.
    void Stop(int graceMs = 3000);

    pid_t pid() const { return pid_; }
    int ExitCode() const { return exitCode_; }  // -1 while running or when killed by a signal
    std::string Output() const;

private:
    pid_t pid_ = -1;
    int exitCode_ = -1;
    std::string logPath_;
};

}  // namespace testing_support
