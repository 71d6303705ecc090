// Guessing against the real server: the guesser is held back, its
// neighbours behind the same address are not, and an outsider cannot spend
// a mailed code alone. Waits are a minute long, so every "held back" below
// is certain; ThrottleTest has the arithmetic of time.
#include "ServerTestSetup.h"

using namespace server_tests;

namespace {

class ThrottleLimitsTest : public ServerTest {
protected:
    ThrottleLimitsTest()
        : ServerTest({"--throttle-free", "2", "--throttle-delay-ms", "60000", "--throttle-hard", "4",
                      "--throttle-lockout", "600", "--mail-interval", "0", "--activation-tries", "5",
                      "--activation-tries-per-source", "2", "--trusted-proxy", "127.0.0.1"})
    {
    }

    QString Ask(const TestDevice& tecnico, const QString& code)
    {
        return Erro(PostAs(tecnico, "solicitar_acesso.php", {{"codigo", code}}));
    }

    // A request as a trusted proxy at 127.0.0.1 passes it on for `source`.
    QString PostFrom(const char* source, const char* endpoint, Fields fields)
    {
        const std::string body = EncodeForm(fields).toStdString();
        const std::string reply =
            RawHttps(server.HttpsPort(), std::string("POST /api/") + endpoint + " HTTP/1.1\r\nHost: x\r\n"
                     + "Connection: close\r\nX-Forwarded-For: " + source + "\r\nContent-Length: "
                     + std::to_string(body.size()) + "\r\n\r\n" + body);
        return QString::fromStdString(reply.substr(std::min(reply.size(), reply.find("\r\n\r\n") + 4)));
    }

    QString ActivateFrom(const char* source, const QString& email, const QString& codigo)
    {
        return PostFrom(source, "ativar.php",
                        {{"email", email}, {"codigo", codigo}, {"dispositivo_uid", "uid-" + email}});
    }

    // Each from a source of its own, so sign-ups do not meet their ration.
    TestDevice SignedUp(const char* source, const QString& nome, const QString& email)
    {
        EXPECT_TRUE(IsOk(PostFrom(source, "cadastro.php", {{"nome", nome}, {"email", email}})));
        const QString reply = ActivateFrom(source, email, QString::fromStdString(server.LatestCode(email.toStdString())));
        EXPECT_TRUE(IsOk(reply)) << reply.toStdString();
        return {nome, email, "uid-" + email, Field(reply, "token")};
    }
};

}  // namespace

// Both technicians speak from 127.0.0.1: one office behind one address.
TEST_F(ThrottleLimitsTest, AGuessingDeviceIsHeldBackButNotItsNeighbours)
{
    const TestDevice cliente = SignedUp("192.0.2.1", "Ana", "ana@example.com");
    const TestDevice guesser = SignedUp("192.0.2.2", "Beto", "beto@example.com");
    const TestDevice colleague = SignedUp("192.0.2.3", "Caio", "caio@example.com");
    const QString right = Field(PostAs(cliente, "gerar_codigo.php"), "codigo");
    const QString wrong = right.startsWith('9') ? "111 111 111" : "999 999 999";

    EXPECT_EQ(Ask(guesser, wrong), "codigo_invalido_ou_expirado");
    EXPECT_EQ(Ask(guesser, wrong), "codigo_invalido_ou_expirado");
    EXPECT_EQ(Ask(guesser, right), "muitas_tentativas") << "the guessing device, whatever it types";
    EXPECT_EQ(Ask(colleague, "222 222 222"), "muitas_tentativas") << "the office's further wrong tries";
    EXPECT_EQ(Ask(colleague, right), "(ok)") << "but a right code from another device passes";
    EXPECT_EQ(Ask(colleague, "333 333 333"), "muitas_tentativas");
    EXPECT_EQ(Ask(colleague, right), "muitas_tentativas") << "held-back wrong tries still count against their device";

    server.Stop();
    server.Start();
    EXPECT_EQ(Ask(guesser, right), "muitas_tentativas") << "the counters live in the store";
}

// An outsider cannot spend a mailed code alone; and every mail counts
// against the source that asked for it, an IPv6 /64 being one source.
TEST_F(ThrottleLimitsTest, EachSourceSpendsOnlyItsShareOfMailsAndOfAMailedCodesTries)
{
    const QString email = "dora@example.com";
    auto mailed = [&](const char* source) {
        EXPECT_TRUE(IsOk(PostFrom(source, "cadastro.php", {{"nome", "Dora"}, {"email", email}})));
        return QString::fromStdString(server.LatestCode(email.toStdString()));
    };
    QString code = mailed("2001:db8:1:2::a");
    auto wrong = [&] { return QString(code == "000000" ? "111111" : "000000"); };
    for (const char* source : {"198.51.100.7", "198.51.100.7", "2001:db8:7::1", "2001:db8:7::2"})
        EXPECT_EQ(Erro(ActivateFrom(source, email, wrong())), "codigo_invalido_ou_expirado") << source;
    EXPECT_EQ(Erro(ActivateFrom("198.51.100.7", email, code)), "muitas_tentativas") << "its share is spent, right or wrong";
    EXPECT_EQ(Erro(ActivateFrom("2001:db8:7:0:ffff::3", email, wrong())), "muitas_tentativas") << "one /64 is one source";
    ASSERT_TRUE(IsOk(PostFrom("198.51.100.7", "cadastro.php", {{"nome", "Eva"}, {"email", "eva@example.com"}})));
    const QString evasCode = QString::fromStdString(server.LatestCode("eva@example.com"));
    EXPECT_EQ(Erro(ActivateFrom("198.51.100.7", "eva@example.com", evasCode)), "(ok)")
        << "a held-back source: another account's right code passes";
    EXPECT_EQ(Erro(ActivateFrom("192.0.2.10", email, code)), "(ok)") << "four wrong tries of five: the owner's code lives";

    code = mailed("2001:db8:1:2:ffff::b");
    for (const char* source : {"203.0.113.1", "203.0.113.1", "203.0.113.2", "203.0.113.2", "203.0.113.3"})
        ActivateFrom(source, email, source == std::string("203.0.113.3") ? QString() : wrong());
    EXPECT_EQ(Erro(ActivateFrom("192.0.2.10", email, code)), "codigo_invalido_ou_expirado")
        << "five wrong tries, an empty one too, end it";

    const Fields another = {{"nome", "Caio"}, {"email", "caio@example.com"}};
    EXPECT_EQ(Erro(PostFrom("2001:db8:1:2::c", "cadastro.php", another)), "muitas_tentativas") << "its third mail";
    EXPECT_EQ(Erro(PostFrom("2001:db8:1:3::a", "cadastro.php", another)), "(ok)") << "the next /64 is another source";
}
