#pragma once

#include "ServiceClient.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

// A fresh server per test, with guessing limits loose enough that tests not
// about them never meet them, and a client pointed at it.

namespace server_tests {

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

class ServerTest : public ::testing::Test {
protected:
    explicit ServerTest(std::vector<std::string> args = LooseLimits())
        : server(std::move(args)), client(std::make_unique<ServiceClient>(server))
    {
    }

    // The cliente's code and the technician's request on it; returns the code
    // id. `versaoLink` is the link version the technician announces ("" as
    // an older program, which sends none).
    QString RequestAccess(const TestDevice& cliente, const TestDevice& tecnico, const QString& versaoLink = {})
    {
        const QString code = client->PostAs(cliente, "gerar_codigo.php");
        EXPECT_TRUE(IsOk(code)) << code.toStdString();
        const QString request = client->PostAs(tecnico, "solicitar_acesso.php",
                                               {{"codigo", Field(code, "codigo")}, {"versao_link", versaoLink}});
        EXPECT_TRUE(IsOk(request)) << request.toStdString();
        return Field(code, "codigo_id");
    }

    // RequestAccess and permission, each side announcing the link version
    // given; returns the session id.
    QString OpenSession(const TestDevice& cliente, const TestDevice& tecnico, QString* codeId = nullptr,
                        const QString& versaoTecnico = {}, const QString& versaoCliente = {})
    {
        const QString id = RequestAccess(cliente, tecnico, versaoTecnico);
        if (codeId)
            *codeId = id;
        const QString answer = client->PostAs(cliente, "responder_acesso.php",
                                              {{"acao", "permitir"}, {"codigo_id", id}, {"versao_link", versaoCliente}});
        EXPECT_TRUE(IsOk(answer)) << answer.toStdString();
        return Field(answer, "sessao_id");
    }

    testing_support::ServerFixture server;
    std::unique_ptr<ServiceClient> client;
};

}  // namespace server_tests
