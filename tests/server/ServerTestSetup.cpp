#include "ServerTestSetup.h"

#include "core/api/ApiClient.h"
#include "core/api/FormEncoding.h"
#include "core/api/HttpTransport.h"
#include "core/api/Json.h"
#include "support/HangLimit.h"

namespace server_tests {
namespace {

// A busy machine may be slow to answer; only a hang should fail a request.
using testing_support::kHangMs;
constexpr api::TransportTimeouts kTimeouts{kHangMs, kHangMs, kHangMs, kHangMs};

}  // namespace

QString EncodeForm(const Fields& fields, QString body)
{
    for (const auto& [name, value] : fields)
        body += (body.isEmpty() ? QString() : QStringLiteral("&")) + QLatin1String(name) + '=' + api::UrlEncode(value);
    return body;
}

ServerTest::ServerTest(std::vector<std::string> args)
    : server(std::move(args)),
      site_("MARQUELIN_SITE", QByteArray::fromStdString(server.SiteOrigin())),
      ca_("MARQUELIN_CA_FILE", QByteArray::fromStdString(server.CaFile()))
{
}

QString ServerTest::Post(const char* endpoint, const Fields& fields) const
{
    return api::ApiPost(QString::fromLatin1(endpoint), EncodeForm(fields), kTimeouts);
}

QString ServerTest::PostAs(const TestDevice& device, const char* endpoint, const Fields& fields) const
{
    const QString body = EncodeForm(fields, api::ApiAuthParams(device.email, device.uid, device.token));
    return api::ApiPost(QString::fromLatin1(endpoint), body, kTimeouts);
}

TestDevice ServerTest::Activate(const QString& nome, const QString& email, const QString& uid) const
{
    const QString signup = Post("cadastro.php", {{"nome", nome}, {"email", email}});
    const std::string code = server.LatestCode(email.trimmed().toLower().toStdString());
    const QString reply = Post("ativar.php", {{"email", email}, {"codigo", QString::fromStdString(code)},
                                              {"dispositivo_uid", uid}, {"nome_maquina", "PC-" + uid},
                                              {"sistema_operacional", "Windows"}, {"versao_app", "1.1.6"}});
    EXPECT_TRUE(IsOk(signup) && IsOk(reply)) << signup.toStdString() << reply.toStdString();
    return {nome, email, uid, Field(reply, "token")};
}

QString ServerTest::Http(const char* method, const std::string& path, const QByteArray& body) const
{
    api::HttpRequest request;
    request.method = method;
    request.url = QString::fromStdString(server.SiteOrigin() + path);
    request.body = body;
    request.contentType = "application/x-www-form-urlencoded";
    request.timeouts = kTimeouts;
    const api::HttpOutcome outcome = api::PerformHttp(request);
    return outcome.completed ? QString::fromUtf8(outcome.body) : "failed: " + outcome.failure;
}

QString Field(const QString& reply, const char* key) { return api::JsonGetValue(reply, QLatin1String(key)); }

bool IsOk(const QString& reply) { return api::JsonIsOk(reply); }

}  // namespace server_tests
