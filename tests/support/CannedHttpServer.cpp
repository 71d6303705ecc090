#include "support/CannedHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace testing_support {

struct CannedHttpServer::Tls {
    SSL_CTX* ctx = nullptr;
    ~Tls() { SSL_CTX_free(ctx); }
};

namespace {

// One connection's byte stream, plain or TLS.
class Stream {
public:
    Stream(int fd, SSL_CTX* ctx) : fd_(fd)
    {
        if (!ctx)
            return;
        ssl_ = SSL_new(ctx);
        SSL_set_fd(ssl_, fd);
        if (SSL_accept(ssl_) != 1) {
            SSL_free(ssl_);
            ssl_ = nullptr;
            failed_ = true;
        }
    }
    ~Stream()
    {
        if (ssl_) {
            SSL_shutdown(ssl_);
            SSL_free(ssl_);
        }
    }
    bool failed() const { return failed_; }
    // The connection is to go silent: no close_notify when this object ends.
    void KeepSilent()
    {
        if (ssl_)
            SSL_set_quiet_shutdown(ssl_, 1);
    }
    long Read(char* data, int size) { return ssl_ ? SSL_read(ssl_, data, size) : ::read(fd_, data, size); }
    void Write(const std::string& data)
    {
        if (ssl_)
            SSL_write(ssl_, data.data(), static_cast<int>(data.size()));
        else if (::write(fd_, data.data(), data.size()) < 0)
            failed_ = true;
    }

private:
    int fd_;
    SSL* ssl_ = nullptr;
    bool failed_ = false;
};

bool ReadRequest(Stream& stream, CannedHttpServer::Request& request)
{
    std::string data;
    char chunk[4096];
    size_t headerEnd = std::string::npos;
    while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
        const long n = stream.Read(chunk, sizeof chunk);
        if (n <= 0)
            return false;
        data.append(chunk, static_cast<size_t>(n));
    }
    request.raw = data.substr(0, headerEnd + 4);
    const size_t space1 = request.raw.find(' ');
    const size_t space2 = request.raw.find(' ', space1 + 1);
    request.method = request.raw.substr(0, space1);
    request.target = request.raw.substr(space1 + 1, space2 - space1 - 1);
    const size_t length = std::strtoul(request.Header("Content-Length").c_str(), nullptr, 10);
    request.body = data.substr(headerEnd + 4);
    while (request.body.size() < length) {
        const long n = stream.Read(chunk, sizeof chunk);
        if (n <= 0)
            return false;
        request.body.append(chunk, static_cast<size_t>(n));
    }
    return true;
}

std::string MakeCertificate(const std::string& dir)
{
    const std::string command = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2"
                                " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1,DNS:localhost"
                                " -keyout " + dir + "/key.pem -out " + dir + "/cert.pem 2>/dev/null";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("openssl could not make a test certificate");
    return dir + "/cert.pem";
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

CannedHttpServer::CannedHttpServer(Transport transport) : transport_(transport)
{
    responder_ = [](const Request&) { return Reply{}; };
    if (transport_ == Transport::Https) {
        char pattern[] = "/tmp/marquelin-canned-XXXXXX";
        certDir_ = mkdtemp(pattern);
        MakeCertificate(certDir_);
        tls_ = std::make_unique<Tls>();
        tls_->ctx = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate_chain_file(tls_->ctx, (certDir_ + "/cert.pem").c_str());
        SSL_CTX_use_PrivateKey_file(tls_->ctx, (certDir_ + "/key.pem").c_str(), SSL_FILETYPE_PEM);
    }
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
    if (::write(wakePipe_[1], "x", 1) < 0) {
    }
    thread_.join();
    for (int fd : heldOpen_)
        ::close(fd);
    ::close(listenFd_);
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
    if (!certDir_.empty())
        std::system(("rm -rf " + certDir_).c_str());
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

std::string CannedHttpServer::Origin() const
{
    return std::string(transport_ == Transport::Https ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

std::string CannedHttpServer::CaFile() const { return certDir_.empty() ? std::string() : certDir_ + "/cert.pem"; }

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
    Reply reply;
    {
        Stream stream(fd, tls_ ? tls_->ctx : nullptr);
        Request request;
        if (stream.failed() || !ReadRequest(stream, request)) {
            ::close(fd);
            return;
        }
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            reply = responder_(request);
        }
        if (reply.neverAnswer) {
            stream.KeepSilent();
            heldOpen_.push_back(fd);
            return;  // the TLS state is dropped, the socket stays open and silent
        }
        pollfd wake{wakePipe_[0], POLLIN, 0};
        if (reply.delayMs > 0 && ::poll(&wake, 1, reply.delayMs) > 0) {
            ::close(fd);
            return;
        }
        stream.Write("HTTP/1.1 " + std::to_string(reply.status) + " Canned\r\nContent-Type: application/json\r\n"
                     "Content-Length: " + std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n"
                     + reply.body);
    }
    ::close(fd);
}

}  // namespace testing_support
