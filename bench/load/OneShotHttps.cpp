#include "load/OneShotHttps.h"

#include "load/DeviceConnection.h"

#include <netinet/in.h>

namespace load {

namespace asio = boost::asio;
using asio::ip::tcp;

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
    DeviceConnection connection(tls, from, port, ConnectionStyle::FullHandshake);
    co_return co_await connection.Request(request, deadline);
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
