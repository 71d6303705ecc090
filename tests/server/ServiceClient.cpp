#include "ServiceClient.h"

#include "core/api/ApiClient.h"
#include "core/api/FormEncoding.h"
#include "core/api/HttpTransport.h"
#include "core/api/Json.h"

#include <gtest/gtest.h>

namespace server_tests {
namespace {

constexpr api::TransportTimeouts kTimeouts{2000, 2000, 5000, 5000};

}  // namespace

QString EncodeForm(Fields fields, QString body)
{
    for (const auto& [name, value] : fields)
        body += (body.isEmpty() ? QString() : QStringLiteral("&")) + QLatin1String(name) + '=' + api::UrlEncode(value);
    return body;
}

ServiceClient::ServiceClient(const testing_support::ServerFixture& server)
    : server_(server),
      site_("MARQUELIN_SITE", QByteArray::fromStdString(server.SiteOrigin())),
      ca_("MARQUELIN_CA_FILE", QByteArray::fromStdString(server.CaFile()))
{
}

QString ServiceClient::Post(const char* endpoint, Fields fields) const
{
    return api::ApiPost(QString::fromLatin1(endpoint), EncodeForm(fields), kTimeouts);
}

QString ServiceClient::PostAs(const TestDevice& device, const char* endpoint, Fields fields) const
{
    const QString body = EncodeForm(fields, api::ApiAuthParams(device.email, device.uid, device.token));
    return api::ApiPost(QString::fromLatin1(endpoint), body, kTimeouts);
}

TestDevice ServiceClient::Activate(const QString& nome, const QString& email, const QString& uid) const
{
    TestDevice device{nome, email, uid, {}};
    const QString signup = Post("cadastro.php", {{"nome", nome}, {"email", email}});
    EXPECT_TRUE(IsOk(signup)) << signup.toStdString();
    const std::string code = server_.LatestCode(email.trimmed().toLower().toStdString());
    EXPECT_FALSE(code.empty()) << "no activation mail for " << email.toStdString();
    const QString reply = Post("ativar.php", {{"email", email},
                                              {"codigo", QString::fromStdString(code)},
                                              {"dispositivo_uid", uid},
                                              {"nome_maquina", "PC-" + uid},
                                              {"sistema_operacional", "Windows"},
                                              {"versao_app", "1.1.6"}});
    EXPECT_TRUE(IsOk(reply)) << reply.toStdString();
    device.token = Field(reply, "token");
    return device;
}

QString ServiceClient::Get(const char* path) const
{
    api::HttpRequest request;
    request.method = "GET";
    request.url = QString::fromStdString(server_.SiteOrigin()) + QLatin1String(path);
    request.userAgent = "Marquelin-Windows/1.1.6";
    request.timeouts = kTimeouts;
    const api::HttpOutcome outcome = api::PerformHttp(request);
    return outcome.completed ? QString::fromUtf8(outcome.body) : "failed: " + outcome.failure;
}

QString Field(const QString& reply, const char* key) { return api::JsonGetValue(reply, QLatin1String(key)); }

bool IsOk(const QString& reply) { return api::JsonIsOk(reply); }

}  // namespace server_tests
