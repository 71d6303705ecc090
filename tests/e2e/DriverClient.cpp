#include "DriverClient.h"

#include "driver/LineText.h"

#include <QStringList>

#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

int ConnectOnce(const std::string& path)
{
    sockaddr_un address{};
    if (path.size() >= sizeof(address.sun_path))
        return -1;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0)
        return fd;
    if (fd >= 0)
        close(fd);
    return -1;
}

}  // namespace

DriverClient::~DriverClient() { Close(); }

void DriverClient::Close()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    pending_.clear();
}

bool DriverClient::Connect(const std::string& path, int ms)
{
    Close();
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while ((fd_ = ConnectOnce(path)) < 0) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::string DriverClient::Call(const std::string& line, int ms)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    std::string answer;
    if (fd_ < 0 || !Send(line + "\n", ms) || !ReadLine(&answer, RemainingMs(deadline)))
        return {};
    return answer;
}

bool DriverClient::Send(const std::string& text, int ms)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    std::size_t sent = 0;
    while (sent < text.size()) {
        pollfd p{fd_, POLLOUT, 0};
        if (poll(&p, 1, RemainingMs(deadline)) <= 0)
            return false;
        const ssize_t n = send(fd_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool DriverClient::ReadLine(std::string* line, int ms)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const std::size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            *line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return true;
        }
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, RemainingMs(deadline)) <= 0)
            return false;
        char buffer[4096];
        const ssize_t n = recv(fd_, buffer, sizeof(buffer), 0);
        if (n <= 0)
            return false;
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
}

Answer ParseAnswer(const std::string& line)
{
    Answer answer;
    answer.raw = line;
    answer.ok = line == "ok" || line.rfind("ok ", 0) == 0;
    if (!answer.ok || line.size() <= 3)
        return answer;
    const QStringList fields = QString::fromStdString(line.substr(3)).split('\t');
    for (const QString& field : fields)
        answer.fields.push_back(driver::UnescapeLine(field).toStdString());
    return answer;
}

std::string EscapeArgument(const std::string& text)
{
    return driver::EscapeLine(QString::fromStdString(text)).toStdString();
}

}  // namespace e2e
