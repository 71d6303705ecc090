#include "core/api/ApiClient.h"
#include "core/api/HttpTransport.h"
#include "core/api/Json.h"
#include "support/CannedHttpServer.h"
#include "support/ClosedPort.h"
#include "support/ServerFixture.h"
#include "support/ScopedEnv.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTimer>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <regex>
#include <vector>

using testing_support::CannedHttpServer;
using testing_support::ScopedEnv;

namespace {

constexpr api::TransportTimeouts kShort{500, 500, 1000, 1000};

QByteArray Origin(const CannedHttpServer& server) { return QByteArray::fromStdString(server.Origin()); }

// A loopback listener whose accept queue is full: the system drops further
// connection attempts unanswered, as a firewall that drops packets would.
class SilentListener {
public:
    SilentListener()
    {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
        listen(listener_, 0);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        for (int i = 0; i < 4; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            connect(fd, reinterpret_cast<sockaddr*>(&address), size);
            queued_.push_back(fd);
        }
    }
    ~SilentListener()
    {
        for (int fd : queued_)
            close(fd);
        close(listener_);
    }
    int Port() const { return port_; }

private:
    int listener_ = -1;
    int port_ = 0;
    std::vector<int> queued_;
};

// Every name is this address.
api::NameLookup AlwaysAt(const QString& address)
{
    return [address](const QString&) { return api::ResolvedHost{{address}, {}}; };
}

}  // namespace

TEST(ApiPost, SendsExactlyTheRequestAndHandsOverAnyBodyWhateverTheStatusRunningPendingEventsOnce)
{
    CannedHttpServer server;
    ScopedEnv site("MARQUELIN_SITE", Origin(server));
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

TEST(ApiPost, TurnsARefusedOrSilentServerIntoTheSyntheticReplyAtItsLimit)
{
    const testing_support::ClosedPort closed;
    CannedHttpServer silent;
    CannedHttpServer::Reply never;
    never.neverAnswer = true;
    silent.SetReply(never);
    for (const auto& [origin, detail] : {std::pair("http://127.0.0.1:" + QByteArray::number(closed.port()), ""),
                                         std::pair(Origin(silent), "receiving")}) {
        ScopedEnv site("MARQUELIN_SITE", origin);
        QElapsedTimer clock;
        clock.start();
        const QString reply = api::ApiPost("x.php", "a=1", kShort);
        EXPECT_EQ(api::JsonGetValue(reply, "erro"), "falha_http");
        const QString said = api::JsonGetValue(reply, "detalhe");
        EXPECT_TRUE(!said.isEmpty() && said.contains(detail)) << said.toStdString();
        if (*detail)
            EXPECT_GE(clock.elapsed(), kShort.receiveMs);
    }
}

// Against the real server and its generated certificate, which nothing else trusts.
TEST(ApiPost, TrustsTheExtraCertificateAndRefusesWithoutIt)
{
    testing_support::ServerFixture server;
    ScopedEnv site("MARQUELIN_SITE", QByteArray::fromStdString(server.SiteOrigin()));
    {
        ScopedEnv ca("MARQUELIN_CA_FILE", QByteArray::fromStdString(server.CaFile()));
        EXPECT_NE(api::JsonGetValue(api::ApiPost("validar_token.php", ""), "erro"), "falha_http");
    }
    const QString refused = api::ApiPost("validar_token.php", "");
    EXPECT_EQ(api::JsonGetValue(refused, "erro"), "falha_http");
    EXPECT_FALSE(QJsonDocument::fromJson(refused.toUtf8()).isNull());
}

TEST(HttpTransport, LooksANameUpFirstAndConnectsToWhatItFound)
{
    CannedHttpServer server;
    api::HttpRequest request;
    request.url = QStringLiteral("http://marquelin.test:%1/api/x.php").arg(server.Port());
    request.lookup = AlwaysAt("127.0.0.1");
    const api::HttpOutcome outcome = api::PerformHttp(request);
    EXPECT_TRUE(outcome.completed) << outcome.failure.toStdString();
    EXPECT_EQ(outcome.body, "{\"ok\":true}");
}

TEST(HttpTransport, ALookUpThatNeverAnswersEndsAtItsOwnLimit)
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
    const api::HttpOutcome outcome = api::PerformHttp(request);
    release->set_value();
    EXPECT_FALSE(outcome.completed);
    EXPECT_TRUE(outcome.failure.contains("resolving")) << outcome.failure.toStdString();
}

TEST(HttpTransport, AHostThatNeverAnswersFailsAfterTheConnectionLimitAlone)
{
    SilentListener silent;
    api::HttpRequest request;
    request.url = QStringLiteral("http://marquelin.test:%1/api/x.php").arg(silent.Port());
    request.timeouts = {600000, 300, 1000, 1000};
    request.lookup = AlwaysAt("127.0.0.1");
    const api::HttpOutcome outcome = api::PerformHttp(request);
    EXPECT_FALSE(outcome.completed);
    // The system's own account of the wait: the look-up's limit is not in it.
    std::smatch after;
    const std::string failure = outcome.failure.toStdString();
    ASSERT_TRUE(std::regex_search(failure, after, std::regex("after ([0-9]+) m"))) << failure;
    EXPECT_LT(std::stoi(after[1]), 600000) << failure;
}
