#include "load/OneShotHttps.h"

#include <boost/asio/redirect_error.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include <netinet/in.h>

namespace load {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = beast::http;
using asio::ip::tcp;

namespace {

double MsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::string Failure(const char* step, const boost::system::error_code& ec)
{
    return std::string(step) + ": " + ec.message();
}

}  // namespace

void BindSource(tcp::socket& socket, asio::ip::address_v4 from, boost::system::error_code& ec)
{
    socket.open(tcp::v4(), ec);
    if (ec)
        return;
    const int on = 1;
    setsockopt(socket.native_handle(), IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
    socket.bind({from, 0}, ec);
}

asio::awaitable<HttpsAnswer> RequestOnce(asio::ssl::context& tls, asio::ip::address_v4 from, unsigned short port,
                                         const std::string& request, std::chrono::milliseconds deadline)
{
    HttpsAnswer answer;
    const auto start = std::chrono::steady_clock::now();
    beast::ssl_stream<beast::tcp_stream> stream(co_await asio::this_coro::executor, tls);
    boost::system::error_code ec;
    auto& tcp = beast::get_lowest_layer(stream);
    BindSource(tcp.socket(), from, ec);
    if (ec) {
        answer.failure = Failure("bind", ec);
        co_return answer;
    }
    tcp.expires_after(deadline);  // one limit for the whole exchange
    auto token = asio::redirect_error(asio::use_awaitable, ec);
    co_await tcp.async_connect(tcp::endpoint(asio::ip::address_v4::loopback(), port), token);
    if (ec) {
        answer.failure = Failure("connect", ec);
        co_return answer;
    }
    tcp.socket().set_option(tcp::no_delay(true), ec);
    co_await stream.async_handshake(asio::ssl::stream_base::client, token);
    if (ec) {
        answer.failure = Failure("handshake", ec);
        co_return answer;
    }
    co_await asio::async_write(stream, asio::buffer(request), token);
    if (ec) {
        answer.failure = Failure("send", ec);
        co_return answer;
    }
    beast::flat_buffer buffer;
    bhttp::response_parser<bhttp::string_body> reply;
    reply.body_limit(1 << 20);
    co_await bhttp::async_read(stream, buffer, reply, token);
    if (ec) {
        answer.failure = Failure("reply", ec);
        co_return answer;
    }
    answer.ms = MsSince(start);
    answer.status = static_cast<int>(reply.get().result_int());
    answer.body = std::move(reply.get().body());
    tcp.expires_after(std::chrono::seconds(2));
    co_await stream.async_shutdown(token);  // the reply is in: how the close goes is not the request's business
    co_return answer;
}

std::string FormPost(const std::string& endpoint, const std::string& body)
{
    return "POST /api/" + endpoint + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: Marquelin-Windows/0.1\r\n"
           "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string PlainGet(const std::string& path)
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: Marquelin-Windows/0.1\r\n\r\n";
}

asio::ssl::context ClientTls()
{
    asio::ssl::context tls(asio::ssl::context::tls_client);
    tls.set_verify_mode(asio::ssl::verify_none);  // both servers present a generated self-signed certificate
    return tls;
}

}  // namespace load
