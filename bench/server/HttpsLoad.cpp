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
using boost::system::error_code;

struct HttpsLoad::Connection : std::enable_shared_from_this<Connection> {
    using Stream = asio::ssl::stream<asio::ip::tcp::socket>;

    Connection(HttpsLoad& load, const std::string& request) : load(load), request(request) {}
    ~Connection() { SSL_SESSION_free(session); }

    asio::ip::tcp::endpoint Server() const { return {asio::ip::make_address("127.0.0.1"), load.port_}; }

    void Start(bool& ok)
    {
        if (load.newConnectionPerRequest_)
            return;  // each request connects on its own
        stream.emplace(load.io_, load.tls_);
        error_code ec;
        stream->next_layer().connect(Server(), ec);
        if (!ec)
            stream->next_layer().set_option(asio::ip::tcp::no_delay(true), ec);
        if (!ec)
            stream->handshake(asio::ssl::stream_base::client, ec);
        ok = ok && !ec;
        broken = static_cast<bool>(ec);
    }

    bool Idle() const { return !busy && !broken; }

    void Send()
    {
        if (!Idle() || load.done_ + load.inFlight_ >= load.wanted_ || load.inFlight_ >= load.maxInFlight_)
            return;
        busy = true;
        ++load.inFlight_;
        if (load.newConnectionPerRequest_)
            return ConnectAndWrite();
        Write();
    }

    // A fresh TCP connection and a handshake, full unless a session is resumed.
    void ConnectAndWrite()
    {
        stream.emplace(load.io_, load.tls_);
        if (load.resumeSessions_ && session)
            SSL_set_session(stream->native_handle(), session);
        stream->next_layer().async_connect(Server(), [self = shared_from_this()](error_code ec) {
            if (!ec)
                self->stream->next_layer().set_option(asio::ip::tcp::no_delay(true), ec);
            if (ec)
                return self->Fail();
            self->stream->async_handshake(asio::ssl::stream_base::client, [self](error_code shaken) {
                if (shaken)
                    return self->Fail();
                self->Write();
            });
        });
    }

    void Write()
    {
        asio::async_write(*stream, asio::buffer(request), [self = shared_from_this()](error_code ec, std::size_t) {
            if (ec)
                return self->Fail();
            self->Read();
        });
    }

    void Read()
    {
        reply.emplace();
        bhttp::async_read(*stream, buffer, *reply, [self = shared_from_this()](error_code ec, std::size_t) {
            if (ec)
                return self->Fail();
            if (self->reply->get().body().find(self->load.okText_) == std::string::npos)
                ++self->load.failures_;
            if (self->load.resumeSessions_) {
                SSL_SESSION_free(self->session);
                self->session = SSL_get1_session(self->stream->native_handle());
            }
            if (self->load.newConnectionPerRequest_)
                return self->Close();
            self->Done();
        });
    }

    // close_notify, the server's answer to it (or its FIN), then the socket.
    void Close()
    {
        stream->async_shutdown([self = shared_from_this()](error_code) {
            error_code ignored;
            self->stream->next_layer().close(ignored);
            self->buffer.clear();
            self->Done();
        });
    }

    void Done()
    {
        busy = false;
        --load.inFlight_;
        ++load.done_;
        if (load.maxInFlight_ >= load.connections_.size())
            return Send();
        load.SendNext();
    }

    void Fail()
    {
        if (busy)
            --load.inFlight_;
        busy = false;
        broken = true;
        ++load.failures_;
        if (load.maxInFlight_ < load.connections_.size())
            load.SendNext();  // another device takes the turn
    }

    HttpsLoad& load;
    std::optional<Stream> stream;
    const std::string& request;
    boost::beast::flat_buffer buffer;
    std::optional<bhttp::response_parser<bhttp::string_body>> reply;
    SSL_SESSION* session = nullptr;
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
    if (maxInFlight_ >= connections_.size()) {
        for (const auto& connection : connections_)
            connection->Send();
    } else {
        SendNext();
    }
    io_.run();
}

void HttpsLoad::SendNext()
{
    for (std::size_t tried = 0; tried < connections_.size() && inFlight_ < maxInFlight_ && done_ + inFlight_ < wanted_;
         ++tried) {
        connections_[next_++ % connections_.size()]->Send();
    }
}
