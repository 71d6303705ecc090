#pragma once

#include <boost/beast/core/string.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

// A loopback HTTP server on its own thread that answers with canned
// bodies and status codes, or accepts and never answers. It records
// every request. The program's transport blocks the test thread, so the
// server cannot live on the test's event loop.
class CannedHttpServer {
public:
    struct Request {
        std::string method;
        std::string target;  // "/api/gerar_codigo.php"
        std::string body;
        std::map<std::string, std::string, boost::beast::iless> headers;
        std::string Header(const std::string& name) const  // "" when absent
        {
            const auto found = headers.find(name);
            return found == headers.end() ? std::string() : found->second;
        }
    };
    struct Reply {
        int status = 200;
        std::string body = "{\"ok\":true}";
        bool neverAnswer = false;  // hold the connection open, say nothing
    };
    using Responder = std::function<Reply(const Request&)>;

    CannedHttpServer();
    ~CannedHttpServer();
    CannedHttpServer(const CannedHttpServer&) = delete;
    CannedHttpServer& operator=(const CannedHttpServer&) = delete;

    void SetResponder(Responder responder);
    void SetReply(Reply reply);  // the same reply to every request

    uint16_t Port() const { return port_; }
    std::string Origin() const;   // "http://127.0.0.1:<port>"
    std::vector<Request> Requests() const;

private:
    struct Net;
    Reply Record(const Request& request);

    std::unique_ptr<Net> net_;
    uint16_t port_ = 0;
    mutable std::mutex mutex_;
    Responder responder_ = [](const Request&) { return Reply{}; };
    std::vector<Request> requests_;
    std::thread thread_;
};

}  // namespace testing_support
