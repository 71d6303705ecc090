#include "support/CannedHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace testing_support {

namespace {

bool ReadMore(int fd, std::string& data)
{
    char chunk[4096];
    const long n = ::read(fd, chunk, sizeof chunk);
    if (n <= 0)
        return false;
    data.append(chunk, static_cast<size_t>(n));
    return true;
}

bool ReadRequest(int fd, CannedHttpServer::Request& request)
{
    std::string data;
    size_t headerEnd = std::string::npos;
    while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos)
        if (!ReadMore(fd, data))
            return false;
    request.raw = data.substr(0, headerEnd + 4);
    const size_t space1 = request.raw.find(' ');
    const size_t space2 = request.raw.find(' ', space1 + 1);
    request.method = request.raw.substr(0, space1);
    request.target = request.raw.substr(space1 + 1, space2 - space1 - 1);
    const size_t length = std::strtoul(request.Header("Content-Length").c_str(), nullptr, 10);
    request.body = data.substr(headerEnd + 4);
    while (request.body.size() < length)
        if (!ReadMore(fd, request.body))
            return false;
    return true;
}

}  // namespace

std::string CannedHttpServer::Request::Header(const std::string& name) const
{
    std::string lowerRaw = raw;
    std::string key = "\r\n" + name + ":";
    std::transform(lowerRaw.begin(), lowerRaw.end(), lowerRaw.begin(), ::tolower);
    std::transform(key.begin(), key.end(), key.begin(), ::tolower);
    const size_t at = lowerRaw.find(key);
    if (at == std::string::npos)
        return {};
    size_t begin = at + key.size();
    while (begin < raw.size() && raw[begin] == ' ')
        ++begin;
    return raw.substr(begin, raw.find("\r\n", begin) - begin);
}

CannedHttpServer::CannedHttpServer()
{
    responder_ = [](const Request&) { return Reply{}; };
    listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(listenFd_, 16) != 0)
        throw std::runtime_error("canned server: cannot listen");
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    if (::pipe(wakePipe_) != 0)
        throw std::runtime_error("canned server: no pipe");
    thread_ = std::thread([this] { Serve(); });
}

CannedHttpServer::~CannedHttpServer()
{
    [[maybe_unused]] const ssize_t woken = ::write(wakePipe_[1], "x", 1);
    thread_.join();
    for (int fd : heldOpen_)
        ::close(fd);
    ::close(listenFd_);
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
}

void CannedHttpServer::SetResponder(Responder responder)
{
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

void CannedHttpServer::SetReply(Reply reply)
{
    SetResponder([reply](const Request&) { return reply; });
}

std::string CannedHttpServer::Origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::vector<CannedHttpServer::Request> CannedHttpServer::Requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

void CannedHttpServer::Serve()
{
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
    while (::poll(fds, 2, -1) > 0) {
        if (fds[1].revents)
            return;
        const int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd >= 0)
            Handle(fd);
    }
}

void CannedHttpServer::Handle(int fd)
{
    Request request;
    if (!ReadRequest(fd, request)) {
        ::close(fd);
        return;
    }
    std::unique_lock lock(mutex_);
    requests_.push_back(request);
    const Reply reply = responder_(request);
    lock.unlock();
    if (reply.neverAnswer) {
        heldOpen_.push_back(fd);  // open and silent until the server ends
        return;
    }
    const std::string bytes = "HTTP/1.1 " + std::to_string(reply.status) + " Canned\r\nContent-Type: application/json\r\n"
                              "Content-Length: " + std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n"
                              + reply.body;
    [[maybe_unused]] const ssize_t written = ::write(fd, bytes.data(), bytes.size());  // a client gone is its own test
    ::close(fd);
}

}  // namespace testing_support
