#include "support/CannedService.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>

namespace testing_support {

namespace http = boost::beast::http;
using boost::asio::ip::tcp;

namespace {

std::string Endpoint(const CannedService::Request& request)
{
    const std::string prefix = "/api/";
    const std::string& target = request.target;
    return target.rfind(prefix, 0) == 0 ? target.substr(prefix.size()) : target;
}

}  // namespace

// Accepts on the service's thread and answers one connection at a time.
struct CannedService::Net {
    explicit Net(CannedService& owner) : service(owner) {}

    CannedService& service;
    boost::asio::io_context io;
    tcp::acceptor acceptor{io, {boost::asio::ip::address_v4::loopback(), 0}};
    std::vector<tcp::socket> heldOpen;  // open and silent until the service ends

    void Accept()
    {
        acceptor.async_accept([this](boost::system::error_code error, tcp::socket socket) {
            if (error)
                return;
            Answer(std::move(socket));
            Accept();
        });
    }

    void Answer(tcp::socket socket)
    {
        boost::beast::flat_buffer buffer;
        http::request<http::string_body> in;
        boost::system::error_code error;
        http::read(socket, buffer, in, error);
        if (error)
            return;
        Request request{std::string(in.method_string()), std::string(in.target()), in.body(), {}};
        for (const auto& field : in)
            request.headers[std::string(field.name_string())] = std::string(field.value());
        const HttpReply reply = service.Record(request);
        if (reply.neverAnswer) {
            heldOpen.push_back(std::move(socket));
            return;
        }
        http::response<http::string_body> out{static_cast<http::status>(reply.status), in.version(), reply.body};
        out.set(http::field::content_type, "application/json");
        out.keep_alive(false);
        out.prepare_payload();
        http::write(socket, out, error);  // a client gone is its own test
    }
};

CannedService::CannedService() : net_(std::make_unique<Net>(*this))
{
    const auto port = net_->acceptor.local_endpoint().port();
    site_ = std::make_unique<ScopedEnv>("MARQUELIN_SITE", "http://127.0.0.1:" + QByteArray::number(port));
    net_->Accept();
    thread_ = std::thread([this] { net_->io.run(); });
}

CannedService::~CannedService()
{
    net_->io.stop();
    thread_.join();
}

void CannedService::Reply(const std::string& endpoint, const QString& body)
{
    std::lock_guard lock(mutex_);
    bodies_[endpoint] = body.toStdString();
}

void CannedService::SetResponder(Responder responder)
{
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

std::vector<CannedService::Request> CannedService::Requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::string> CannedService::Bodies(const std::string& endpoint) const
{
    std::vector<std::string> bodies;
    for (const Request& request : Requests())
        if (Endpoint(request) == endpoint)
            bodies.push_back(request.body);
    return bodies;
}

CannedService::HttpReply CannedService::Record(const Request& request)
{
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    if (responder_)
        return responder_(request);
    const auto found = bodies_.find(Endpoint(request));
    return {200, found == bodies_.end() ? std::string(R"({"ok":false,"erro":"nao_previsto"})") : found->second};
}

}  // namespace testing_support
