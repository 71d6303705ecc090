// Requests the server cannot or will not read: clear refusals, bounded
// sizes, and a server that keeps answering afterwards.
#include "RelayWire.h"
#include "ServerTestSetup.h"

#include "core/api/HttpTransport.h"

using namespace server_tests;

namespace {

class ParsingTest : public ServerTest {
protected:
    QString RawPost(const std::string& path, const QByteArray& body, const char* method = "POST")
    {
        api::HttpRequest request;
        request.method = method;
        request.url = QString::fromStdString(server.SiteOrigin() + path);
        request.body = body;
        request.contentType = "application/x-www-form-urlencoded";
        request.userAgent = "abuse";
        request.timeouts = {2000, 2000, 5000, 5000};
        const api::HttpOutcome outcome = api::PerformHttp(request);
        return outcome.completed ? QString::fromUtf8(outcome.body) : "failed: " + outcome.failure;
    }
};

}  // namespace

TEST_F(ParsingTest, AnOversizedBodyIsRefusedWithAClearAnswer)
{
    const QByteArray huge = "email=" + QByteArray(64 * 1024, 'a');
    const QString reply = RawPost("/api/cadastro.php", huge);
    EXPECT_FALSE(IsOk(reply));
    EXPECT_EQ(Field(reply, "erro"), "corpo_grande_demais") << reply.toStdString();
    EXPECT_EQ(client->Get("/healthz"), "ok\n");
}

TEST_F(ParsingTest, UnknownEndpointsAndMethodsAnswerOkFalse)
{
    EXPECT_EQ(Field(RawPost("/api/apagar_tudo.php", "x=1"), "erro"), "endpoint_desconhecido");
    EXPECT_EQ(Field(RawPost("/api/status_codigo.php/mais", ""), "erro"), "endpoint_desconhecido");
    EXPECT_EQ(Field(RawPost("/api/../etc/passwd", ""), "erro"), "metodo_nao_permitido") << "the path is normalised";
    EXPECT_EQ(Field(RawPost("/nada", "", "GET"), "erro"), "endpoint_desconhecido");
    EXPECT_EQ(Field(RawPost("/api/status_codigo.php", "", "GET"), "erro"), "metodo_nao_permitido");
    EXPECT_EQ(Field(RawPost("/versao.php", "x=1"), "erro"), "metodo_nao_permitido");
}

TEST_F(ParsingTest, MalformedFormsAreReadOrRefusedWithoutHarm)
{
    QByteArray many;
    for (int i = 0; i < 40; ++i)
        many += "f" + QByteArray::number(i) + "=v&";
    EXPECT_EQ(Field(RawPost("/api/validar_token.php", many), "erro"), "pedido_invalido");
    // Broken escapes, stray separators and binary bytes are just text.
    EXPECT_EQ(Field(RawPost("/api/validar_token.php", "email=%G1%&&=&token=%00%FF&dispositivo_uid=%"), "erro"),
              "token_invalido");
    EXPECT_EQ(Field(RawPost("/api/status_codigo.php", QByteArray("\x01\x02=\xff\xfe", 6)), "erro"),
              "autenticacao_incompleta");
}

TEST_F(ParsingTest, PlainTextAndGarbageOnTheTlsPortAreDropped)
{
    {
        RelayWire plain(server.HttpsPort());
        plain.Send("GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n");
        EXPECT_EQ(plain.ReadLine(std::chrono::milliseconds(3000)), "") << "no TLS, no answer";
    }
    {
        RelayWire garbage(server.HttpsPort());
        garbage.Send(std::string(4096, '\x16'));
        garbage.ReadLine(std::chrono::milliseconds(1000));
    }
    EXPECT_EQ(client->Get("/healthz"), "ok\n");
    EXPECT_TRUE(server.Running());
}

// A body whose end the server cannot tell would be read as the next request.
TEST_F(ParsingTest, TransferCodingsOtherThanPlainChunkedAreRefused)
{
    const struct {
        const char* coding;
        int status;
    } cases[] = {
        {"chunked", 200}, {"Chunked", 200}, {"chunked, identity", 501}, {"xchunked", 501},
        {"gzip, chunked", 501}, {"identity", 501},
    };
    for (const auto& c : cases) {
        RelayWire wire(server.HttpsPort());
        ASSERT_TRUE(wire.StartTls());
        wire.Send(std::string("POST /api/validar_token.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n")
                  + "Transfer-Encoding: " + c.coding + "\r\n\r\n7\r\nemail=a\r\n0\r\n\r\n");
        EXPECT_EQ(HttpStatus(wire.ReadLine()), c.status) << c.coding;
    }
    EXPECT_EQ(client->Get("/healthz"), "ok\n");
}
