#include "core/link/HelloCheck.h"
#include "core/link/RelayReply.h"

#include <gtest/gtest.h>

namespace screenlink {
namespace {

TEST(HelloCheck, AcceptsOnlyThisSessionsIdAndKey)
{
    EXPECT_EQ(CheckHello("HELLO:s1:Key9", "s1", "Key9"), HelloVerdict::Accepted);
    EXPECT_EQ(CheckHello("HELLO:s1:Key9:extra", "s1", "Key9"), HelloVerdict::Accepted) << "a fourth field is ignored";
    EXPECT_EQ(CheckHello("HELLO:s1:key9", "s1", "Key9"), HelloVerdict::Refused) << "letter case counts";
    EXPECT_EQ(CheckHello("HELLO:S1:Key9", "s1", "Key9"), HelloVerdict::Refused);
    EXPECT_EQ(CheckHello("HELLO:s1:Key", "s1", "Key9"), HelloVerdict::Refused) << "a prefix of the key";
    EXPECT_EQ(CheckHello("HELLO:s1:Key99", "s1", "Key9"), HelloVerdict::Refused) << "the key and more";
    EXPECT_EQ(CheckHello("HELLO:s2:Key9", "s1", "Key9"), HelloVerdict::Refused);
}

TEST(HelloCheck, NeedsThreePartsAndASessionKey)
{
    EXPECT_EQ(CheckHello("HELLO:s1", "s1", "Key9"), HelloVerdict::Invalid);
    EXPECT_EQ(CheckHello("HELLO", "s1", "Key9"), HelloVerdict::Invalid);
    EXPECT_EQ(CheckHello("HELLO::", "", ""), HelloVerdict::Refused) << "a session without a key yet";
    EXPECT_EQ(CheckHello("HELLO:s1:", "s1", ""), HelloVerdict::Refused);
}

TEST(RelayReply, TellsPairedWaitingAcceptedAndRefused)
{
    EXPECT_EQ(ClassifyRelayReply("OK|CONECTADO").kind, RelayReply::Kind::Paired);
    EXPECT_EQ(ClassifyRelayReply("OK|par conectado com sucesso").kind, RelayReply::Kind::Paired);
    EXPECT_EQ(ClassifyRelayReply("OK|aguardando CONECTADO").kind, RelayReply::Kind::Paired) << "both words";
    EXPECT_EQ(ClassifyRelayReply("  OK|Aguardando\r").kind, RelayReply::Kind::Waiting);
    EXPECT_EQ(ClassifyRelayReply("OK|JOIN recebido").kind, RelayReply::Kind::Accepted);
    EXPECT_EQ(ClassifyRelayReply("ok|CONECTADO").kind, RelayReply::Kind::NotAReply);
    EXPECT_EQ(ClassifyRelayReply("HELLO:s1:k1").kind, RelayReply::Kind::NotAReply);
    EXPECT_EQ(ClassifyRelayReply("  \r ").kind, RelayReply::Kind::NotAReply);
}

TEST(RelayReply, GivesTheRefusalReasonAsSentWithoutTrailingBlanks)
{
    const RelayReply reply = ClassifyRelayReply("ERR| sessao nao encontrada  \r");
    EXPECT_EQ(reply.kind, RelayReply::Kind::Refused);
    EXPECT_EQ(reply.reason, " sessao nao encontrada");
    EXPECT_EQ(ClassifyRelayReply("ERR|").reason, "");
}

}  // namespace
}  // namespace screenlink
