#pragma once

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace testing_support {

// A whole file's bytes, "" when it cannot be read.
inline std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A child process of the test, with its own environment and its output in a
// file. The destructor ends it (SIGTERM, then SIGKILL) if it still runs, so
// a failing test leaves nothing behind.
class ChildProcess {
public:
    using Environment = std::map<std::string, std::string>;

    // The test's own environment with `changes` applied (an empty value unsets).
    static Environment Inherited(const Environment& changes)
    {
        Environment env;
        for (char** entry = environ; *entry; ++entry) {
            const std::string line = *entry;
            env[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
        }
        for (const auto& [name, value] : changes)
            if (value.empty())
                env.erase(name);
            else
                env[name] = value;
        return env;
    }

    ChildProcess() = default;
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `argv` with `env`; standard output and error go to `logPath`.
    // `keepFd`, when not -1, is passed to the child as descriptor 3.
    bool Start(const std::vector<std::string>& argv, const Environment& env, const std::string& logPath,
               int keepFd = -1)
    {
        logPath_ = logPath;
        std::vector<std::string> envLines;
        for (const auto& [name, value] : env)
            envLines.push_back(name + "=" + value);
        std::vector<char*> args, envp;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        for (std::string& line : envLines)
            envp.push_back(line.data());
        envp.push_back(nullptr);

        // A descriptor already numbered 3 would keep its close-on-exec flag.
        const int passed = keepFd == 3 ? fcntl(keepFd, F_DUPFD_CLOEXEC, 10) : keepFd;
        pid_ = fork();
        if (pid_ == 0)
            ExecChild(args.data(), envp.data(), logPath.c_str(), passed);
        if (passed != keepFd)
            close(passed);
        exitCode_ = -1;
        return pid_ > 0;  // fork() gave -1 otherwise
    }

    bool Running()
    {
        if (pid_ <= 0)
            return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) != pid_)
            return true;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -1;
        return false;
    }

    // Waits up to `ms` for the exit; true when it ended (see ExitCode()).
    bool WaitExit(int ms)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (Running()) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    // SIGTERM, `graceMs` to end, then SIGKILL.
    void Stop(int graceMs = 3000)
    {
        if (!Running())
            return;
        kill(pid_, SIGTERM);
        if (WaitExit(graceMs))
            return;
        kill(pid_, SIGKILL);
        WaitExit(5000);
    }

    pid_t pid() const { return pid_; }
    int ExitCode() const { return exitCode_; }  // -1 while running or when killed by a signal
    std::string Output() const { return ReadWholeFile(logPath_); }

private:
    // Between fork and exec only async-signal-safe calls. The child dies with
    // the test (PR_SET_PDEATHSIG), so even a killed test leaves no program running.
    [[noreturn]] static void ExecChild(char* const* argv, char* const* envp, const char* logPath, int keepFd)
    {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
        const int out = open(logPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (in < 0 || out < 0 || dup2(in, STDIN_FILENO) < 0 || dup2(out, STDOUT_FILENO) < 0
            || dup2(out, STDERR_FILENO) < 0 || (keepFd >= 0 && dup2(keepFd, 3) < 0))
            _exit(126);
        execve(argv[0], argv, envp);
        _exit(127);
    }

    pid_t pid_ = -1;
    int exitCode_ = -1;
    std::string logPath_;
};

}  // namespace testing_support
