#include "support/CannedHttpServer.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>

namespace testing_support {

namespace http = boost::beast::http;
using boost::asio::ip::tcp;

// Accepts on the server's thread and answers one connection at a time.
struct CannedHttpServer::Net {
    explicit Net(CannedHttpServer& owner) : server(owner) {}

    CannedHttpServer& server;
    boost::asio::io_context io;
    tcp::acceptor acceptor{io, {boost::asio::ip::address_v4::loopback(), 0}};
    std::vector<tcp::socket> heldOpen;  // open and silent until the server ends

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
        const Reply reply = server.Record(request);
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

CannedHttpServer::CannedHttpServer() : net_(std::make_unique<Net>(*this))
{
    port_ = net_->acceptor.local_endpoint().port();
    net_->Accept();
    thread_ = std::thread([this] { net_->io.run(); });
}

CannedHttpServer::~CannedHttpServer()
{
    net_->io.stop();
    thread_.join();
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

CannedHttpServer::Reply CannedHttpServer::Record(const Request& request)
{
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    return responder_(request);
}

}  // namespace testing_support
