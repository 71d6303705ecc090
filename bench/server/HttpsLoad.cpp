#include "HttpsLoad.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>

#include <optional>

namespace asio = boost::asio;
namespace bhttp = boost::beast::http;

struct HttpsLoad::Connection : std::enable_shared_from_this<Connection> {
    Connection(HttpsLoad& load, const std::string& request) : load(load), stream(load.io_, load.tls_), request(request) {}

    void Start(bool& ok)
    {
        boost::system::error_code ec;
        stream.next_layer().connect({asio::ip::make_address("127.0.0.1"), load.port_}, ec);
        if (!ec)
            stream.next_layer().set_option(asio::ip::tcp::no_delay(true), ec);
        if (!ec)
            stream.handshake(asio::ssl::stream_base::client, ec);
        ok = ok && !ec;
        broken = static_cast<bool>(ec);
    }

    void Send()
    {
        if (broken || load.done_ + load.inFlight_ >= load.wanted_)
            return;
        busy = true;
        ++load.inFlight_;
        asio::async_write(stream, asio::buffer(request), [self = shared_from_this()](boost::system::error_code ec, std::size_t) {
            if (ec)
                return self->Fail();
            self->Read();
        });
    }

    void Read()
    {
        reply.emplace();
        bhttp::async_read(stream, buffer, *reply, [self = shared_from_this()](boost::system::error_code ec, std::size_t) {
            if (ec)
                return self->Fail();
            self->busy = false;
            --self->load.inFlight_;
            ++self->load.done_;
            if (self->reply->get().body().find(self->load.okText_) == std::string::npos)
                ++self->load.failures_;
            self->Send();
        });
    }

    void Fail()
    {
        if (busy)
            --load.inFlight_;
        busy = false;
        broken = true;
        ++load.failures_;
    }

    HttpsLoad& load;
    asio::ssl::stream<asio::ip::tcp::socket> stream;
    const std::string& request;
    boost::beast::flat_buffer buffer;
    std::optional<bhttp::response_parser<bhttp::string_body>> reply;
    bool busy = false;
    bool broken = false;
};

HttpsLoad::HttpsLoad(unsigned short port, std::vector<std::string> requests)
    : tls_(asio::ssl::context::tls_client), port_(port), requests_(std::move(requests))
{
    tls_.set_verify_mode(asio::ssl::verify_none);  // both servers present the same certificate
}

HttpsLoad::~HttpsLoad() = default;

bool HttpsLoad::Connect()
{
    bool ok = true;
    for (const std::string& request : requests_) {
        connections_.push_back(std::make_shared<Connection>(*this, request));
        connections_.back()->Start(ok);
    }
    return ok;
}

void HttpsLoad::Run(std::size_t replies)
{
    wanted_ = replies;
    done_ = 0;
    io_.restart();
    for (const auto& connection : connections_) {
        connection->Send();
    }
    io_.run();
}
