#pragma once

#include "support/ScopedEnv.h"

#include <QString>
#include <boost/beast/core/string.hpp>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

// A canned web service on a loopback thread of its own (the program's
// transport blocks the test thread): one reply body per endpoint, a default
// refusal, or whatever reply a test computes. It records every request, and
// the program is pointed at it for the life of the object.
class CannedService {
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
    struct HttpReply {
        int status = 200;
        std::string body;
        bool neverAnswer = false;  // hold the connection open, say nothing
    };
    using Responder = std::function<HttpReply(const Request&)>;

    CannedService();
    ~CannedService();
    CannedService(const CannedService&) = delete;
    CannedService& operator=(const CannedService&) = delete;

    void Reply(const std::string& endpoint, const QString& body);
    // Answers every later request instead of the per-endpoint bodies.
    void SetResponder(Responder responder);
    void SetReply(HttpReply reply)
    {
        SetResponder([reply](const Request&) { return reply; });
    }

    std::vector<Request> Requests() const;
    // Bodies of the requests one endpoint received, oldest first.
    std::vector<std::string> Bodies(const std::string& endpoint) const;
    size_t Count(const std::string& endpoint) const { return Bodies(endpoint).size(); }
    size_t Total() const { return Requests().size(); }

private:
    struct Net;
    HttpReply Record(const Request& request);

    std::unique_ptr<Net> net_;
    std::unique_ptr<ScopedEnv> site_;
    mutable std::mutex mutex_;
    Responder responder_;
    std::map<std::string, std::string> bodies_;
    std::vector<Request> requests_;
    std::thread thread_;
};

}  // namespace testing_support
