#pragma once

#include "core/api/ApiClient.h"
#include "core/api/FormEncoding.h"
#include "core/api/HttpTransport.h"
#include "core/api/Json.h"
#include "server/relay/RelayTestClient.h"
#include "support/HangLimit.h"
#include "support/ScopedEnv.h"
#include "support/ServerFixture.h"

#include <QString>
#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

// A fresh marquelin-server per test, talked to the way the program does: its
// own transport (api::ApiPost over libcurl and HTTPS), its own form encoding
// and its own JSON field reader, pointed at the server through the
// deployment variables. Guessing limits are loose enough that tests not about
// them never meet them.

namespace server_tests {

// The relay's own test client serves here too: a blocking loopback socket
// with deadlines, for the Join line, for raw bytes and for raw HTTPS.
using RelayWire = relaytest::RelayTestClient;
using relaytest::JoinLine;
using relaytest::SendJoinV2;

using Fields = std::vector<std::pair<const char*, QString>>;

// A busy machine may be slow to answer; only a hang should fail a request.
inline constexpr api::TransportTimeouts kTimeouts{testing_support::kHangMs, testing_support::kHangMs,
                                                  testing_support::kHangMs, testing_support::kHangMs};

struct TestDevice {
    QString nome;
    QString email;
    QString uid;
    QString token;
};

// The fields form-encoded as the program encodes them, after `body` when it has some.
inline QString EncodeForm(const Fields& fields, QString body = {})
{
    for (const auto& [name, value] : fields)
        body += (body.isEmpty() ? QString() : QStringLiteral("&")) + QLatin1String(name) + '=' + api::UrlEncode(value);
    return body;
}

inline QString Field(const QString& reply, const char* key) { return api::JsonGetValue(reply, QLatin1String(key)); }
inline bool IsOk(const QString& reply) { return api::JsonIsOk(reply); }
// "(ok)", or the reason the service refused with.
inline QString Erro(const QString& reply) { return IsOk(reply) ? QString("(ok)") : Field(reply, "erro"); }

// Each expected member of a reply, by name.
inline void ExpectFields(const QString& reply, const Fields& expected)
{
    SCOPED_TRACE(reply.toStdString());
    for (const auto& [key, value] : expected)
        EXPECT_EQ(Field(reply, key), value) << key;
}

inline std::vector<std::string> LooseLimits(std::vector<std::string> more = {})
{
    std::vector<std::string> args = {"--throttle-free", "100", "--mail-interval", "0"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// The status of an HTTP reply's first line ("HTTP/1.1 501 ..." gives 501), 0 for none.
inline int HttpStatus(const std::string& line)
{
    return line.rfind("HTTP/1.", 0) == 0 && line.size() > 12 ? std::atoi(line.c_str() + 9) : 0;
}

// A request written as is over TLS from `source`; the whole reply, read until
// the server ends the connection ("" when TLS or the send fails).
inline std::string RawHttps(uint16_t port, const std::string& request, const char* source = "127.0.0.1")
{
    RelayWire wire(port, source);
    return wire.StartTls() && wire.SendSome(request) == request.size() ? wire.ReadExactly(1 << 20) : std::string();
}

class ServerTest : public ::testing::Test {
protected:
    explicit ServerTest(std::vector<std::string> args = LooseLimits())
        : server(std::move(args)),
          site_("MARQUELIN_SITE", QByteArray::fromStdString(server.SiteOrigin())),
          ca_("MARQUELIN_CA_FILE", QByteArray::fromStdString(server.CaFile()))
    {
    }

    // An endpoint under /api/ with the given fields, encoded as the program does.
    QString Post(const char* endpoint, const Fields& fields, const QString& before = {}) const
    {
        return api::ApiPost(QString::fromLatin1(endpoint), EncodeForm(fields, before), kTimeouts);
    }
    // The same, starting with the device's account part.
    QString PostAs(const TestDevice& device, const char* endpoint, const Fields& fields = {}) const
    {
        return Post(endpoint, fields, api::ApiAuthParams(device.email, device.uid, device.token));
    }

    // Signs up, reads the code from the outbox, activates; the device holds its token.
    TestDevice Activate(const QString& nome, const QString& email, const QString& uid) const
    {
        const QString signup = Post("cadastro.php", {{"nome", nome}, {"email", email}});
        const std::string code = server.LatestCode(email.trimmed().toLower().toStdString());
        const QString reply = Post("ativar.php", {{"email", email}, {"codigo", QString::fromStdString(code)},
                                                  {"dispositivo_uid", uid}, {"nome_maquina", "PC-" + uid},
                                                  {"sistema_operacional", "Windows"}, {"versao_app", "1.1.6"}});
        EXPECT_TRUE(IsOk(signup) && IsOk(reply)) << signup.toStdString() << reply.toStdString();
        return {nome, email, uid, Field(reply, "token")};
    }

    // Any method on any path with a body sent as is; the reply's body.
    QString Http(const char* method, const std::string& path, const QByteArray& body = {}) const
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

    // Ana's computer as the cliente, Beto's as the technician.
    void ActivateBoth()
    {
        cliente = Activate("Ana", "ana@example.com", "uid-a");
        tecnico = Activate("Beto", "beto@example.com", "uid-b");
    }

    QString Status(const TestDevice& device, const QString& codeId = {})
    {
        return PostAs(device, "status_codigo.php", {{"codigo_id", codeId}});
    }

    // The fields a program announces its link version with; none, as an older
    // one, for ""; "3" as a program announces it, 2 and the capability.
    static Fields WithVersion(Fields fields, const QString& versaoLink)
    {
        if (versaoLink == "3")
            fields.emplace_back("recursos_link", "atualizacoes");
        if (!versaoLink.isEmpty())
            fields.emplace_back("versao_link", versaoLink == "3" ? "2" : versaoLink);
        return fields;
    }

    // The cliente's code and the technician's request on it; returns the code id.
    QString RequestAccess(const QString& versaoTecnico = {})
    {
        const QString code = PostAs(cliente, "gerar_codigo.php");
        const QString request =
            PostAs(tecnico, "solicitar_acesso.php", WithVersion({{"codigo", Field(code, "codigo")}}, versaoTecnico));
        EXPECT_TRUE(IsOk(code) && IsOk(request)) << code.toStdString() << request.toStdString();
        return Field(code, "codigo_id");
    }

    // RequestAccess and permission, each side announcing the link version given; returns the session id.
    QString OpenSession(QString* codeId = nullptr, const QString& versaoTecnico = {}, const QString& versaoCliente = {})
    {
        const QString id = RequestAccess(versaoTecnico);
        if (codeId)
            *codeId = id;
        const QString answer = PostAs(cliente, "responder_acesso.php",
                                      WithVersion({{"acao", "permitir"}, {"codigo_id", id}}, versaoCliente));
        EXPECT_TRUE(IsOk(answer)) << answer.toStdString();
        return Field(answer, "sessao_id");
    }

    testing_support::ServerFixture server;
    // The program's transport goes to this server for the life of the test.
    testing_support::ScopedEnv site_;
    testing_support::ScopedEnv ca_;
    TestDevice cliente;
    TestDevice tecnico;
};

}  // namespace server_tests
