#include "server/http/HttpSession.h"

#include "server/ServerLog.h"
#include "server/api/JsonReply.h"
#include "server/http/ClientAddress.h"

namespace http {
namespace beast = boost::beast;
namespace bhttp = boost::beast::http;

namespace {

// Targets reach the log only as printable ASCII and not too long.
std::string Printable(std::string_view text)
{
    std::string out;
    for (const char c : text.substr(0, 160))
        out += (c > 0x20 && c < 0x7F) ? c : '?';
    return out;
}

api::HttpReply Refusal(int status, std::string_view erro)
{
    api::HttpReply reply;
    reply.status = status;
    reply.erro = erro;
    reply.body = api::JsonReply::Refusal(erro);
    return reply;
}

// Only plain "chunked" is read as a coding. Anything else ("chunked, identity",
// "xchunked", "gzip") would leave the body's end unknown, so its bytes could
// be taken for a next request.
bool HasUnsupportedTransferEncoding(const bhttp::request<bhttp::string_body>& request)
{
    if (request.count(bhttp::field::transfer_encoding) > 1)
        return true;
    const std::string_view coding = request[bhttp::field::transfer_encoding];
    return !coding.empty() && !beast::iequals(coding, "chunked");
}

api::HttpReply RefusalFor(const beast::error_code& ec)
{
    if (ec == bhttp::error::body_limit)
        return Refusal(413, "corpo_grande_demais");
    return Refusal(ec == bhttp::error::header_limit ? 431 : 400, "pedido_invalido");
}

bool IsQuietEnd(const beast::error_code& ec)
{
    return ec == bhttp::error::end_of_stream || ec == beast::error::timeout || ec == boost::asio::error::eof
        || ec == boost::asio::error::connection_reset || ec == boost::asio::ssl::error::stream_truncated
        || ec == boost::asio::error::operation_aborted;
}

}  // namespace

HttpSession::HttpSession(boost::asio::ip::tcp::socket&& socket, const boost::asio::ip::address& client,
                         net::SourceTicket ticket, HttpShared& shared,
                         std::chrono::steady_clock::time_point handshakeDeadline)
    : shared_(shared),
      ticket_(std::move(ticket)),
      handshakeDeadline_(handshakeDeadline),
      stream_(std::move(socket), shared.tls),
      peer_(client),
      peerText_(AddressText(client))
{
}

void HttpSession::Run()
{
    beast::get_lowest_layer(stream_).expires_at(handshakeDeadline_);
    stream_.async_handshake(boost::asio::ssl::stream_base::server,
                            beast::bind_front_handler(&HttpSession::OnHandshake, shared_from_this()));
}

void HttpSession::OnHandshake(beast::error_code ec)
{
    if (ec)
        return;  // scanners and clients that gave up: nothing worth a log line
    DoRead();
}

void HttpSession::DoRead()
{
    parser_.emplace();
    parser_->body_limit(shared_.limits.bodyBytes);
    parser_->header_limit(static_cast<std::uint32_t>(shared_.limits.headerBytes));
    beast::get_lowest_layer(stream_).expires_after(shared_.limits.requestTimeout);
    bhttp::async_read(stream_, buffer_, *parser_, beast::bind_front_handler(&HttpSession::OnRead, shared_from_this()));
}

void HttpSession::OnRead(beast::error_code ec, std::size_t)
{
    if (ec && IsQuietEnd(ec))
        return DoClose();
    if (ec)
        return RefuseAndClose(RefusalFor(ec));
    started_ = std::chrono::steady_clock::now();
    const auto& request = parser_->get();
    if (HasUnsupportedTransferEncoding(request))
        return RefuseAndClose(Refusal(501, "pedido_invalido"));
    const auto forwarded = request["X-Forwarded-For"];
    api::HttpRequestView view{request.method_string(), request.target(), request.body(),
                              ClientAddress(peer_, peerText_, shared_.trustedProxies, forwarded)};
    api::HttpReply reply = shared_.service.Handle(view);
    LogRequest(view.method, view.target, reply);
    const bool keepAlive = request.keep_alive();
    parser_.reset();
    if (buffer_.size() == 0)
        buffer_.shrink_to_fit();
    Answer(std::move(reply), keepAlive);
}

void HttpSession::RefuseAndClose(api::HttpReply refusal)
{
    LogRequest("-", "-", refusal);
    parser_.reset();
    // The client may still be sending what was refused: closing at once
    // would reset the connection and lose the answer it is owed.
    drainAfterAnswer_ = true;
    Answer(std::move(refusal), false);
}

void HttpSession::Answer(api::HttpReply reply, bool keepAlive)
{
    response_ = {};
    response_.version(11);
    response_.result(static_cast<unsigned>(reply.status));
    response_.set(bhttp::field::content_type, reply.contentType);
    response_.set(bhttp::field::cache_control, "no-store");
    response_.keep_alive(keepAlive);
    response_.body() = std::move(reply.body);
    response_.prepare_payload();
    bhttp::async_write(stream_, response_,
                       beast::bind_front_handler(&HttpSession::OnWrite, shared_from_this(), keepAlive));
}

void HttpSession::OnWrite(bool keepAlive, beast::error_code ec, std::size_t)
{
    if (ec)
        return;
    response_ = {};
    if (!keepAlive)
        return drainAfterAnswer_ ? DrainThenClose() : DoClose();
    DoRead();
}

void HttpSession::DrainThenClose()
{
    if (drained_ >= kMaxDrainBytes)
        return DoClose();
    if (!drain_) {
        drain_ = std::make_unique_for_overwrite<char[]>(kDrainChunk);
        drainDeadline_ = std::chrono::steady_clock::now() + shared_.limits.drainTimeout;
    }
    beast::get_lowest_layer(stream_).expires_at(drainDeadline_);
    stream_.async_read_some(boost::asio::buffer(drain_.get(), kDrainChunk),
                            [self = shared_from_this()](beast::error_code ec, std::size_t bytes) {
                                self->drained_ += bytes;
                                if (ec)
                                    return self->DoClose();
                                self->DrainThenClose();
                            });
}

void HttpSession::DoClose()
{
    beast::get_lowest_layer(stream_).expires_after(std::chrono::seconds(2));
    stream_.async_shutdown([self = shared_from_this()](beast::error_code) {
        beast::get_lowest_layer(self->stream_).close();
    });
}

void HttpSession::LogRequest(std::string_view method, std::string_view target, const api::HttpReply& reply) const
{
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started_).count();
    const std::string where = Printable(target.substr(0, target.find('?')));
    ServerLog("http: %s %.*s %s %d %.2fms%s%.*s", peerText_.c_str(), static_cast<int>(method.size()),
              method.data(), where.c_str(), reply.status, method == "-" ? 0.0 : ms, reply.erro.empty() ? "" : " erro=",
              static_cast<int>(reply.erro.size()), reply.erro.data());
}

}  // namespace http
