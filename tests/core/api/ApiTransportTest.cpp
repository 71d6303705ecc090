#include "core/api/ApiClient.h"
#include "core/api/HttpTransport.h"
#include "core/api/Json.h"
#include "support/CannedService.h"
#include "support/ServerFixture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTimer>
#include <boost/asio/ip/tcp.hpp>
#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <optional>
#include <vector>

using testing_support::CannedService;
using testing_support::ScopedEnv;
using boost::asio::ip::tcp;

namespace {

constexpr api::TransportTimeouts kShort{500, 500, 1000, 1000};

// A loopback listener whose accept queue is full: the system drops further
// connection attempts unanswered, as a firewall that drops packets would.
class SilentListener {
public:
    SilentListener()
    {
        listener_.open(tcp::v4());
        listener_.bind({boost::asio::ip::address_v4::loopback(), 0});
        listener_.listen(0);
        for (int i = 0; i < 4; ++i) {
            // Started and never run: the attempt stays queued, nobody waits on it.
            queued_.emplace_back(io_).async_connect(listener_.local_endpoint(), [](boost::system::error_code) {});
        }
    }
    int Port() const { return listener_.local_endpoint().port(); }

private:
    boost::asio::io_context io_;
    tcp::acceptor listener_{io_};
    std::vector<tcp::socket> queued_;
};

}  // namespace

TEST(ApiPost, SendsExactlyTheRequestAndHandsOverAnyBodyWhateverTheStatusRunningPendingEventsOnce)
{
    CannedService server;
    server.Reply("gerar_codigo.php", R"({"ok":true})");
    const QString body = "email=a%40b.c&dispositivo_uid=d&token=t&codigo=+12+";
    int ran = 0;
    QTimer::singleShot(0, [&] { ++ran; });
    EXPECT_EQ(api::ApiPost("gerar_codigo.php", body), "{\"ok\":true}");
    EXPECT_EQ(ran, 1);
    ASSERT_EQ(server.Requests().size(), 1u);
    const auto request = server.Requests().front();
    EXPECT_EQ(request.method + " " + request.target, "POST /api/gerar_codigo.php");
    EXPECT_EQ(request.Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(request.Header("User-Agent"), "Marquelin-Windows/0.1");
    EXPECT_EQ(request.Header("Expect"), "");
    EXPECT_EQ(request.body, body.toStdString());

    server.SetReply({500, R"({"ok":true,"codigo":"123"})"});
    EXPECT_TRUE(api::JsonIsOk(api::ApiPost("x.php", "")));
    server.SetReply({404, "<html>not here</html>"});
    EXPECT_EQ(api::ApiPost("x.php", ""), "<html>not here</html>");
}

// A refused connection is the version check's; both go through one transport.
TEST(ApiPost, TurnsASilentServerIntoTheSyntheticReplyAtItsLimit)
{
    CannedService silent;
    silent.SetReply({200, "", true});
    QElapsedTimer clock;
    clock.start();
    const QString reply = api::ApiPost("x.php", "a=1", kShort);
    EXPECT_EQ(api::JsonGetValue(reply, "erro"), "falha_http");
    EXPECT_TRUE(api::JsonGetValue(reply, "detalhe").contains("receiving")) << reply.toStdString();
    EXPECT_GE(clock.elapsed(), kShort.receiveMs);
}

// The server counts its TLS handshakes in its last log line. A restart on the
// same key file stands for another node: the old connection is gone, and the
// new one resumes the session the first process sealed. The server's generated
// certificate is trusted only as the extra one.
TEST(ApiPost, TrustsTheExtraCertificateReusesTheKeptConnectionAndResumesOnAnotherServerProcess)
{
    testing_support::TempDir folder("ticket-keys");
    std::ofstream(folder.File("keys")) << "# newest first\n" << std::string(128, 'a') << "\n" << std::string(128, 'b');
    testing_support::ServerFixture server({"--ticket-keys", folder.File("keys")});
    ScopedEnv site("MARQUELIN_SITE", QByteArray::fromStdString(server.SiteOrigin()));
    std::optional<ScopedEnv> ca(std::in_place, "MARQUELIN_CA_FILE", QByteArray::fromStdString(server.CaFile()));
    const auto handshakesAfter = [&](int requests) {
        for (int i = 0; i < requests; ++i)
            EXPECT_NE(api::JsonGetValue(api::ApiPost("validar_token.php", "token=t"), "erro"), "falha_http");
        server.Stop();
        const std::string log = server.Log();
        return log.substr(log.rfind("tls: "));
    };
    EXPECT_EQ(handshakesAfter(3), "tls: 1 handshakes, 0 resumed\n");
    server.Start();
    EXPECT_EQ(handshakesAfter(2), "tls: 1 handshakes, 1 resumed\n");
    server.Start();
    ca.reset();
    EXPECT_EQ(api::JsonGetValue(api::ApiPost("validar_token.php", "token=t"), "erro"), "falha_http") << "untrusted";
}

// Each limit ends its own step: a look-up that never answers, then a host
// that never answers at the address a look-up gave (the name itself resolves
// nowhere), whose wait the look-up's limit is not in.
TEST(HttpTransport, ALookUpOrAHostThatNeverAnswersEndsAtItsOwnLimit)
{
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    api::HttpRequest request;
    request.url = "http://marquelin.test:1/api/x.php";
    request.timeouts = {300, 600000, 1000, 1000};
    request.lookup = [released](const QString&) {
        released.wait();
        return api::ResolvedHost{};
    };
    api::HttpOutcome outcome = api::PerformHttp(request);
    release->set_value();
    EXPECT_FALSE(outcome.completed);
    EXPECT_TRUE(outcome.failure.contains("resolving")) << outcome.failure.toStdString();

    SilentListener silent;
    request.url = QStringLiteral("http://marquelin.test:%1/api/x.php").arg(silent.Port());
    request.timeouts = {600000, 300, 1000, 1000};
    request.lookup = [](const QString&) { return api::ResolvedHost{{"127.0.0.1"}, {}}; };
    outcome = api::PerformHttp(request);
    EXPECT_FALSE(outcome.completed);
    const auto after = QRegularExpression("after ([0-9]+) m").match(outcome.failure);
    ASSERT_TRUE(after.hasMatch()) << outcome.failure.toStdString();
    EXPECT_LT(after.captured(1).toInt(), 600000) << outcome.failure.toStdString();
}
