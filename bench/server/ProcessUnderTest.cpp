#include "ProcessUnderTest.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

ProcessUnderTest::ProcessUnderTest(const std::vector<std::string>& args, const std::string& logFile)
{
    pid_ = fork();
    if (pid_ == 0) {
        const int fd = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        dup2(fd, STDERR_FILENO);
        dup2(fd, STDOUT_FILENO);
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
}

ProcessUnderTest::~ProcessUnderTest()
{
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

int ProcessUnderTest::WaitExit(int timeoutMs)
{
    for (int waited = 0; pid_ > 0 && waited <= timeoutMs; waited += 50) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

bool ProcessUnderTest::Alive() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

namespace {

// utime and stime of one process, in seconds; 0 when unreadable.
double CpuSecondsOf(const std::string& pid)
{
    std::ifstream stat("/proc/" + pid + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The command name may hold spaces; the fields after it do not. utime and
    // stime are the 12th and 13th after the closing parenthesis.
    std::istringstream fields(text.substr(text.rfind(')') + 1));
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 13 && fields >> field; ++i) {
        if (i >= 12)
            ticks += std::stod(field);
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace

double ProcessUnderTest::CpuSeconds() const
{
    const std::string pid = std::to_string(pid_);
    double seconds = CpuSecondsOf(pid);
    std::ifstream children("/proc/" + pid + "/task/" + pid + "/children");
    for (std::string child; children >> child;)
        seconds += CpuSecondsOf(child);
    return seconds;
}

std::string WaitForFile(const std::string& path, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        std::ifstream in(path);
        std::ostringstream text;
        text << in.rdbuf();
        if (!text.str().empty())
            return text.str();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {};
}

bool WaitForPort(unsigned short port, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool up = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        close(fd);
        if (up)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

unsigned short FreePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    close(fd);
    return ntohs(a.sin_port);
}
