// Guessing support codes: free failures, then a growing wait, then a lock
// that refuses even the right code; the counters outlive a restart.
#include "ServerTestSetup.h"

#include <thread>

using namespace server_tests;
using namespace std::chrono_literals;

namespace {

// 2 free failures; then 500 ms, 1000 ms; locked at 4 failures for 8 s.
class ThrottleLimitsTest : public ServerTest {
protected:
    ThrottleLimitsTest()
        : ServerTest({"--throttle-free", "2", "--throttle-delay-ms", "500", "--throttle-hard", "4",
                      "--throttle-lockout", "8", "--mail-interval", "0"})
    {
    }

    QString Try(const TestDevice& tecnico, const QString& code)
    {
        const QString reply = client->PostAs(tecnico, "solicitar_acesso.php", {{"codigo", code}});
        return IsOk(reply) ? QString("(ok)") : Field(reply, "erro");
    }
};

}  // namespace

TEST_F(ThrottleLimitsTest, WrongSupportCodesSlowDownThenLockEvenTheRightOne)
{
    const TestDevice cliente = client->Activate("Ana", "ana@example.com", "uid-a");
    const TestDevice tecnico = client->Activate("Beto", "beto@example.com", "uid-b");
    const QString right = Field(client->PostAs(cliente, "gerar_codigo.php"), "codigo");
    const QString wrong = right.startsWith('9') ? "111 111 111" : "999 999 999";

    EXPECT_EQ(Try(tecnico, wrong), "codigo_invalido_ou_expirado");
    EXPECT_EQ(Try(tecnico, wrong), "codigo_invalido_ou_expirado");
    EXPECT_EQ(Try(tecnico, right), "muitas_tentativas") << "after the free failures, a wait";
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(Try(tecnico, wrong), "codigo_invalido_ou_expirado");
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(Try(tecnico, right), "muitas_tentativas") << "the wait doubled";
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(Try(tecnico, wrong), "codigo_invalido_ou_expirado");
    const auto lockedAt = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(1200ms);
    EXPECT_EQ(Try(tecnico, right), "muitas_tentativas") << "hard limit reached: locked";

    server.Restart();
    ASSERT_LT(std::chrono::steady_clock::now() - lockedAt, 7s) << "the restart took too long to tell";
    EXPECT_EQ(Try(tecnico, right), "muitas_tentativas") << "the counters live in the store";

    std::this_thread::sleep_until(lockedAt + 8300ms);
    EXPECT_EQ(Try(tecnico, right), "(ok)") << "the lock lasts as long as the lockout";
}

TEST_F(ThrottleLimitsTest, SignUpsFromOneAddressAreRationed)
{
    EXPECT_TRUE(IsOk(client->Post("cadastro.php", {{"nome", "A"}, {"email", "a@example.com"}})));
    EXPECT_TRUE(IsOk(client->Post("cadastro.php", {{"nome", "B"}, {"email", "b@example.com"}})));
    EXPECT_EQ(Field(client->Post("cadastro.php", {{"nome", "C"}, {"email", "c@example.com"}}), "erro"),
              "muitas_tentativas");
}

class MailIntervalTest : public ServerTest {
protected:
    MailIntervalTest() : ServerTest({"--throttle-free", "100", "--mail-interval", "60"}) {}
};

TEST_F(MailIntervalTest, OneMailboxGetsOneMailPerInterval)
{
    EXPECT_TRUE(IsOk(client->Post("cadastro.php", {{"nome", "A"}, {"email", "a@example.com"}})));
    EXPECT_EQ(Field(client->Post("cadastro.php", {{"nome", "A"}, {"email", "A@example.com"}}), "erro"),
              "muitas_tentativas");
    EXPECT_EQ(server.OutboxCodes("a@example.com").size(), 1u);
}
