// Requests the server cannot or will not read: clear refusals, bounded
// sizes, and a server that keeps answering afterwards.
#include "ServerTestSetup.h"

using namespace server_tests;

using ParsingTest = ServerTest;

TEST_F(ParsingTest, OversizedUnknownMalformedAndAmbiguousRequestsAreRefusedWithAClearAnswer)
{
    QByteArray many;
    for (int i = 0; i < 40; ++i)
        many += "f" + QByteArray::number(i) + "=v&";
    const struct {
        const char* method;
        const char* path;
        QByteArray body;
        const char* erro;
    } cases[] = {
        {"POST", "/api/cadastro.php", "email=" + QByteArray(64 * 1024, 'a'), "corpo_grande_demais"},
        {"POST", "/api/apagar_tudo.php", "x=1", "endpoint_desconhecido"},
        {"POST", "/api/status_codigo.php/mais", "", "endpoint_desconhecido"},
        {"POST", "/api/../etc/passwd", "", "metodo_nao_permitido"},  // the path is normalised
        {"GET", "/nada", "", "endpoint_desconhecido"},
        {"GET", "/api/status_codigo.php", "", "metodo_nao_permitido"},
        {"POST", "/versao.php", "x=1", "metodo_nao_permitido"},
        {"POST", "/api/validar_token.php", many, "pedido_invalido"},
        // Broken escapes, stray separators and binary bytes are just text.
        {"POST", "/api/validar_token.php", "email=%G1%&&=&token=%00%FF&dispositivo_uid=%", "token_invalido"},
        {"POST", "/api/status_codigo.php", QByteArray("\x01\x02=\xff\xfe", 6), "autenticacao_incompleta"},
    };
    for (const auto& c : cases) {
        const QString reply = Http(c.method, c.path, c.body);
        EXPECT_EQ(Erro(reply), c.erro) << c.method << " " << c.path << ": " << reply.toStdString();
    }
    RelayWire plain(server.HttpsPort());
    plain.Send("GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(plain.WaitClosed()) << "no TLS, no answer";

    // A body whose end the server cannot tell would be read as the next request.
    const struct {
        const char* coding;
        int status;
    } codings[] = {
        {"chunked", 200}, {"Chunked", 200}, {"chunked, identity", 501}, {"xchunked", 501},
        {"gzip, chunked", 501}, {"identity", 501},
    };
    for (const auto& c : codings) {
        const std::string request = std::string("POST /api/validar_token.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n")
            + "Transfer-Encoding: " + c.coding + "\r\n\r\n7\r\nemail=a\r\n0\r\n\r\n";
        EXPECT_EQ(HttpStatus(RawHttps(server.HttpsPort(), request)), c.status) << c.coding;
    }
    EXPECT_EQ(Http("GET", "/healthz"), "ok\n");
}
