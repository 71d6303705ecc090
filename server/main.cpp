// marquelin-server: the web service and the TCP relay on one io_context and
// one thread (the SMTP mailer, when used, has a worker of its own).
#include "server/DataFolder.h"
#include "server/DescriptorBudget.h"
#include "server/Options.h"
#include "server/ServerLog.h"
#include "server/api/Service.h"
#include "server/api/StoreSessionCheck.h"
#include "server/http/ClientAddress.h"
#include "server/http/HttpListener.h"
#include "server/http/TlsSetup.h"
#include "server/mail/OutboxMailer.h"
#include "server/mail/SmtpMailer.h"
#include "server/store/OpenStore.h"

#include "relay/RelayServer.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>

#include <cstdio>
#include <exception>
#include <memory>

namespace asio = boost::asio;

namespace {

constexpr auto kPurgeEvery = std::chrono::minutes(10);
constexpr store::Millis kKeepEndedMs = 24LL * 3600 * 1000;

std::unique_ptr<mail::Mailer> MakeMailer(const ServerOptions& o)
{
    if (!o.smtpUrl.empty())
        return std::make_unique<mail::SmtpMailer>(o.smtpUrl, o.mailFrom);
    const std::string from = o.mailFrom.empty() ? "nao-responda@" + (o.hosts.empty() ? "localhost" : o.hosts[0])
                                                : o.mailFrom;
    return std::make_unique<mail::OutboxMailer>(o.dataDir + "/outbox", from);
}

std::vector<asio::ip::address> ParseProxies(const std::vector<std::string>& names)
{
    std::vector<asio::ip::address> proxies;
    for (const std::string& name : names)
        proxies.push_back(asio::ip::make_address(name));  // throws on a bad address
    return proxies;
}

// DIR/listening tells scripts and tests the ports once both listeners are up.
void WriteListeningFile(const std::string& dataDir, unsigned short https, unsigned short relay)
{
    const std::string path = dataDir + "/listening";
    const std::string temporary = path + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "w");
    if (!file)
        throw std::runtime_error("cannot write " + temporary);
    std::fprintf(file, "https %u\nrelay %u\n", https, relay);
    std::fclose(file);
    std::rename(temporary.c_str(), path.c_str());
}

class PurgeTimer {
public:
    PurgeTimer(asio::io_context& io, store::Store& store) : timer_(io), store_(store) {}
    void Start()
    {
        timer_.expires_after(kPurgeEvery);
        timer_.async_wait([this](boost::system::error_code ec) {
            if (ec)
                return;
            try {
                const int removed = store_.Purge(api::SystemMillis() - kKeepEndedMs);
                if (removed > 0)
                    ServerLog("store: %d old rows removed", removed);
            } catch (const std::exception& e) {
                ServerLog("store: purge failed: %s", e.what());
            }
            Start();
        });
    }
    void Stop() { timer_.cancel(); }

private:
    asio::steady_timer timer_;
    store::Store& store_;
};

// The soft descriptor limit raised to the hard one, and shared out so that
// neither listener can take the descriptors the other needs.
void ShareOutDescriptors(const ServerOptions& o, http::HttpLimits& web, relay::RelayLimits& relay)
{
    const std::optional<std::size_t> limit = RaiseDescriptorLimit();
    if (!limit) {
        ServerLog("server: the descriptor limit cannot be read; the connection caps stand as given");
        return;
    }
    const DescriptorShares shares =
        ShareDescriptors(*limit, o.reservedDescriptors, o.http.maxConnections, o.relay.maxConnections);
    web.maxConnections = shares.webConnections;
    relay.maxConnections = shares.relayConnections;
    ServerLog("server: %zu descriptors, %zu kept: HTTPS up to %zu connections, relay up to %zu%s", *limit,
              o.reservedDescriptors, shares.webConnections, shares.relayConnections,
              shares.lowered ? " (lowered to fit; raise the hard limit for more)" : "");
}

int Serve(const ServerOptions& o)
{
    PrepareDataFolder(o.dataDir);
    http::HttpLimits webLimits = o.http;
    relay::RelayLimits relayLimits = o.relay;
    ShareOutDescriptors(o, webLimits, relayLimits);
    // Never logged: a PostgreSQL URL may carry a password.
    const std::unique_ptr<store::Store> opened =
        store::OpenStore(o.database.empty() ? o.dataDir + "/marquelin.db" : o.database);
    store::Store& store = *opened;
    const std::unique_ptr<mail::Mailer> mailer = MakeMailer(o);
    const http::CertificateFiles certificate = o.tlsCert.empty()
        ? http::EnsureSelfSignedCertificate(o.dataDir, o.hosts)
        : http::CertificateFiles{o.tlsCert, o.tlsKey};
    asio::ssl::context tls(asio::ssl::context::tls_server);
    http::ConfigureServerTls(tls, certificate, o.ticketKeys);
    api::Service service(store, *mailer, o.service, api::SystemMillis);
    const std::vector<asio::ip::address> proxies = ParseProxies(o.trustedProxies);
    if (o.proxyProtocol)
        relayLimits.proxyPeers = proxies;
    http::HttpShared shared(service, tls, proxies, webLimits, o.proxyProtocol);
    const asio::ip::address listen = asio::ip::make_address(o.listen);

    // Declared after everything its handlers use, so it is destroyed first.
    asio::io_context io(1);
    http::HttpListener listener(io, {listen, static_cast<unsigned short>(o.httpsPort)}, shared);
    listener.Start();
    api::StoreSessionCheck sessions(store);
    relay::RelayServer relay(io, {listen, static_cast<unsigned short>(o.relayPort)}, sessions, relayLimits,
                             [](std::string_view line) {
                                 ServerLog("relay: %.*s", static_cast<int>(line.size()), line.data());
                             });
    relay.Start();
    const unsigned short relayPort = relay.Port();
    PurgeTimer purge(io, store);
    purge.Start();

    asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](boost::system::error_code ec, int signal) {
        if (ec)
            return;
        ServerLog("server: signal %d, stopping", signal);
        listener.Stop();
        relay.Stop();
        purge.Stop();
        io.stop();
    });

    WriteListeningFile(o.dataDir, listener.Port(), relayPort);
    ServerLog("server: https://%s:%u/ relay %s:%u data %s store %s", http::AddressText(listen).c_str(),
              listener.Port(), http::AddressText(listen).c_str(), relayPort, o.dataDir.c_str(),
              o.database.empty() ? "sqlite" : "postgresql");
    io.run();
    ServerLog("server: stopped; tls: %s", http::HandshakeCounts(tls).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const ParsedOptions parsed = ParseServerOptions(argc, argv);
    if (!parsed.options) {
        const bool help = parsed.message.rfind("usage:", 0) == 0;
        std::fputs(parsed.message.c_str(), help ? stdout : stderr);
        std::fputs(parsed.message.empty() || parsed.message.back() == '\n' ? "" : "\n", help ? stdout : stderr);
        return help ? 0 : 2;
    }
    try {
        return Serve(*parsed.options);
    } catch (const std::exception& e) {
        ServerLog("server: cannot start: %s", e.what());
        return 1;
    }
}
