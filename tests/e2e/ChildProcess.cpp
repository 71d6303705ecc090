#include "ChildProcess.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace e2e {

ChildProcess::Environment ChildProcess::Inherited(const Environment& changes)
{
    Environment env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string line = *entry;
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos)
            env[line.substr(0, equals)] = line.substr(equals + 1);
    }
    for (const auto& [name, value] : changes) {
        if (value.empty())
            env.erase(name);
        else
            env[name] = value;
    }
    return env;
}

ChildProcess::~ChildProcess() { Stop(); }

bool ChildProcess::Start(const std::vector<std::string>& argv, const Environment& env, const std::string& logPath,
                         int keepFd)
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

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    // A descriptor already numbered 3 would keep its close-on-exec flag.
    const int passed = keepFd == 3 ? fcntl(keepFd, F_DUPFD_CLOEXEC, 10) : keepFd;
    if (passed >= 0)
        posix_spawn_file_actions_adddup2(&actions, passed, 3);
    const int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (passed != keepFd)
        close(passed);
    if (rc != 0)
        pid_ = -1;
    exitCode_ = -1;
    return rc == 0;
}

bool ChildProcess::Running()
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

bool ChildProcess::WaitExit(int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (Running()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void ChildProcess::Stop(int graceMs)
{
    if (!Running())
        return;
    kill(pid_, SIGTERM);
    if (WaitExit(graceMs))
        return;
    kill(pid_, SIGKILL);
    WaitExit(5000);
}

std::string ChildProcess::Output() const
{
    std::ifstream in(logPath_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace e2e
