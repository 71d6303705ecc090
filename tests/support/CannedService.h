#pragma once

#include "support/CannedHttpServer.h"
#include "support/ScopedEnv.h"

#include <QString>
#include <map>
#include <mutex>
#include <string>

namespace testing_support {

// A canned web service for window tests: one reply body per endpoint (or a
// default refusal), and the requests each endpoint received. The program is
// pointed at it for the life of the object.
class CannedService {
public:
    CannedService()
        : site_("MARQUELIN_SITE", QByteArray::fromStdString(server_.Origin()))
    {
        server_.SetResponder([this](const CannedHttpServer::Request& request) {
            std::lock_guard lock(mutex_);
            CannedHttpServer::Reply reply;
            const auto found = bodies_.find(Endpoint(request));
            reply.body = found == bodies_.end() ? std::string(R"({"ok":false,"erro":"nao_previsto"})") : found->second;
            return reply;
        });
    }

    void Reply(const std::string& endpoint, const QString& body)
    {
        std::lock_guard lock(mutex_);
        bodies_[endpoint] = body.toStdString();
    }

    // Bodies of the requests one endpoint received, oldest first.
    std::vector<std::string> Bodies(const std::string& endpoint) const
    {
        std::vector<std::string> bodies;
        for (const auto& request : server_.Requests())
            if (Endpoint(request) == endpoint)
                bodies.push_back(request.body);
        return bodies;
    }
    size_t Count(const std::string& endpoint) const { return Bodies(endpoint).size(); }
    size_t Total() const { return server_.Requests().size(); }
    CannedHttpServer& server() { return server_; }

private:
    static std::string Endpoint(const CannedHttpServer::Request& request)
    {
        const std::string prefix = "/api/";
        const std::string& target = request.target;
        return target.rfind(prefix, 0) == 0 ? target.substr(prefix.size()) : target;
    }

    CannedHttpServer server_;
    ScopedEnv site_;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> bodies_;
};

}  // namespace testing_support
