#include "core/link/HelloCheck.h"
#include "core/link/RelayReply.h"

#include <gtest/gtest.h>

namespace screenlink {
namespace {

TEST(HelloCheck, AcceptsOnlyThisSessionsIdAndKeyFromThreeParts)
{
    const struct {
        const char* line;
        const char* id;
        const char* key;
        HelloVerdict verdict;
    } cases[] = {
        {"HELLO:s1:Key9", "s1", "Key9", HelloVerdict::Accepted},
        {"HELLO:s1:Key9:extra", "s1", "Key9", HelloVerdict::Accepted},  // a fourth field is ignored
        {"HELLO:s1:key9", "s1", "Key9", HelloVerdict::Refused},         // letter case counts
        {"HELLO:S1:Key9", "s1", "Key9", HelloVerdict::Refused},
        {"HELLO:s1:Key", "s1", "Key9", HelloVerdict::Refused},    // a prefix of the key
        {"HELLO:s1:Key99", "s1", "Key9", HelloVerdict::Refused},  // the key and more
        {"HELLO:s1", "s1", "Key9", HelloVerdict::Invalid},
        {"HELLO:s1:", "s1", "", HelloVerdict::Refused},  // a session without a key yet
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckHello(c.line, c.id, c.key), c.verdict) << c.line;
}

TEST(RelayReply, TellsPairedWaitingAcceptedRefusedAndChallenge)
{
    EXPECT_EQ(ClassifyRelayReply("OK|par conectado com sucesso").kind, RelayReply::Kind::Paired);
    EXPECT_EQ(ClassifyRelayReply("OK|aguardando CONECTADO").kind, RelayReply::Kind::Paired) << "both words";
    EXPECT_EQ(ClassifyRelayReply("  OK|Aguardando\r").kind, RelayReply::Kind::Waiting);
    EXPECT_EQ(ClassifyRelayReply("OK|JOIN recebido").kind, RelayReply::Kind::Accepted);
    EXPECT_EQ(ClassifyRelayReply("ok|CONECTADO").kind, RelayReply::Kind::NotAReply);
    EXPECT_EQ(ClassifyRelayReply("  \r ").kind, RelayReply::Kind::NotAReply);
    EXPECT_EQ(ClassifyRelayReply("DESAFIO|" + QByteArray(64, 'f') + "\r").challenge, QByteArray(64, 'f'));
    EXPECT_EQ(ClassifyRelayReply("DESAFIO|" + QByteArray(64, 'F')).kind, RelayReply::Kind::NotAReply);
    const RelayReply refusal = ClassifyRelayReply("ERR| sessao nao encontrada  \r");  // as sent, less trailing blanks
    EXPECT_EQ(std::pair(refusal.kind, refusal.reason),
              std::pair(RelayReply::Kind::Refused, QString(" sessao nao encontrada")));
}

}  // namespace
}  // namespace screenlink
