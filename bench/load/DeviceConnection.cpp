#include "load/DeviceConnection.h"

#include <boost/asio/redirect_error.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>

namespace load {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = beast::http;
using asio::ip::tcp;

namespace {

std::string Failure(const char* step, const boost::system::error_code& ec)
{
    return std::string(step) + ": " + ec.message();
}

}  // namespace

DeviceConnection::DeviceConnection(asio::ssl::context& tls, asio::ip::address_v4 from, unsigned short port,
                                   ConnectionStyle style)
    : tls_(tls), from_(from), port_(port), style_(style)
{
}

DeviceConnection::~DeviceConnection() { SSL_SESSION_free(session_); }

asio::awaitable<HttpsAnswer> DeviceConnection::Request(const std::string& request, std::chrono::milliseconds deadline)
{
    const auto start = std::chrono::steady_clock::now();
    const bool opening = !stream_;
    if (opening)
        stream_.emplace(co_await asio::this_coro::executor, tls_);
    beast::get_lowest_layer(*stream_).expires_after(deadline);  // one limit for the whole exchange
    HttpsAnswer answer;
    if (opening)
        answer.failure = co_await Open();
    if (answer.failure.empty())
        answer = co_await Exchange(request);
    if (!answer.failure.empty()) {
        stream_.reset();
        co_return answer;
    }
    answer.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (style_ == ConnectionStyle::Resumed) {
        // TLS 1.3 tickets come after the handshake: the session is worth keeping once the reply is read.
        SSL_SESSION_free(session_);
        session_ = SSL_get1_session(stream_->native_handle());
    }
    if (style_ != ConnectionStyle::KeptAlive)
        co_await Close();
    co_return answer;
}

asio::awaitable<std::string> DeviceConnection::Open()
{
    boost::system::error_code ec;
    auto& tcp = beast::get_lowest_layer(*stream_);
    BindSource(tcp.socket(), from_, ec);
    if (ec)
        co_return Failure("bind", ec);
    auto token = asio::redirect_error(asio::use_awaitable, ec);
    co_await tcp.async_connect(tcp::endpoint(asio::ip::address_v4::loopback(), port_), token);
    if (ec)
        co_return Failure("connect", ec);
    tcp.socket().set_option(tcp::no_delay(true), ec);
    if (style_ == ConnectionStyle::Resumed && session_)
        SSL_set_session(stream_->native_handle(), session_);
    co_await stream_->async_handshake(asio::ssl::stream_base::client, token);
    co_return ec ? Failure("handshake", ec) : std::string();
}

asio::awaitable<HttpsAnswer> DeviceConnection::Exchange(const std::string& request)
{
    HttpsAnswer answer;
    boost::system::error_code ec;
    auto token = asio::redirect_error(asio::use_awaitable, ec);
    co_await asio::async_write(*stream_, asio::buffer(request), token);
    if (ec) {
        answer.failure = Failure("send", ec);
        co_return answer;
    }
    beast::flat_buffer buffer;
    bhttp::response_parser<bhttp::string_body> reply;
    reply.body_limit(1 << 20);
    co_await bhttp::async_read(*stream_, buffer, reply, token);
    if (ec) {
        answer.failure = Failure("reply", ec);
        co_return answer;
    }
    answer.status = static_cast<int>(reply.get().result_int());
    answer.body = std::move(reply.get().body());
    co_return answer;
}

asio::awaitable<void> DeviceConnection::Close()
{
    beast::get_lowest_layer(*stream_).expires_after(std::chrono::seconds(2));
    boost::system::error_code ec;
    // The reply is in: how the close goes is not the request's business.
    co_await stream_->async_shutdown(asio::redirect_error(asio::use_awaitable, ec));
    stream_.reset();
}

}  // namespace load
