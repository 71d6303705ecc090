#include <gtest/gtest.h>

#include <tuple>

#include "relay/JoinLine.h"

namespace relay {
namespace {

TEST(JoinLine, ReadsBothRolesAndToleratesOneCarriageReturn)
{
    for (const auto& [line, role] : {std::pair{"JOIN|s-42|k9Zx|cliente|marquelin-relay-v1", Role::Cliente},
                                     std::pair{"JOIN|s-42|k9Zx|tecnico|marquelin-relay-v1\r", Role::Tecnico}}) {
        const JoinParse parse = ParseJoinLine(line);
        ASSERT_TRUE(parse.request) << line;
        EXPECT_EQ(parse.request->sessaoId, "s-42");
        EXPECT_EQ(parse.request->streamKey, "k9Zx");
        EXPECT_EQ(parse.request->role, role);
    }
    const JoinParse v2 = ParseJoinLine("JOIN2|s-42|tecnico|marquelin-relay-v2\r");
    ASSERT_TRUE(v2.request);
    EXPECT_EQ(std::tie(v2.request->sessaoId, v2.request->streamKey, v2.request->version), std::tuple("s-42", "", 2));
}

TEST(JoinLine, NamesWhatIsWrongWithABadLine)
{
    const struct {
        const char* line;
        Refusal refusal;
    } cases[] = {
        {"JOIN|s|k|cliente|marquelin-relay-v2", Refusal::UnknownProtocol},
        {"JOIN|s|k|cliente|marquelin-relay-v1|", Refusal::UnknownProtocol},  // a sixth field
        {"JOIN|s|k|viewer|marquelin-relay-v1", Refusal::BadRole},
        {"JOIN|s|k|Cliente|marquelin-relay-v1", Refusal::BadRole},
        {"JOIN|s|k|cliente", Refusal::BadJoinLine},
        {"join|s|k|cliente|marquelin-relay-v1", Refusal::BadJoinLine},
        {"JOIN||k|cliente|marquelin-relay-v1", Refusal::BadJoinLine},
        {"JOIN|s||tecnico|marquelin-relay-v1", Refusal::BadJoinLine},
        {"JOIN|s:1|k|cliente|marquelin-relay-v1", Refusal::BadJoinLine},  // ":" would split the Hello
        {"JOIN|s 1|k|cliente|marquelin-relay-v1", Refusal::BadJoinLine},
        {"JOIN|s|k\x01|cliente|marquelin-relay-v1", Refusal::BadJoinLine},
        {"JOIN|s|k|cliente|marquelin-relay-v1\r\r", Refusal::UnknownProtocol},
        {"JOIN2|s|cliente|marquelin-relay-v1", Refusal::UnknownProtocol},
        {"JOIN2|s|k|cliente|marquelin-relay-v2", Refusal::BadJoinLine},  // no key in version 2
        {"JOIN2|s|admin|marquelin-relay-v2", Refusal::BadRole},
        {"JOIN2||cliente|marquelin-relay-v2", Refusal::BadJoinLine},
        {"", Refusal::BadJoinLine},
    };
    for (const auto& c : cases) {
        const JoinParse parse = ParseJoinLine(c.line);
        EXPECT_FALSE(parse.request) << c.line;
        EXPECT_EQ(parse.refusal, c.refusal) << c.line;
    }
}

TEST(JoinLine, TheLineFeedMustComeWithinTheLimit)
{
    EXPECT_EQ(ScanJoinLine("JOIN|s|k", 16).status, JoinScan::Status::NeedMore);
    EXPECT_EQ(ScanJoinLine("", 16).status, JoinScan::Status::NeedMore);

    const JoinScan found = ScanJoinLine("JOIN|a\nHELLO:a:b\n", 16);
    EXPECT_EQ(found.status, JoinScan::Status::Found);
    EXPECT_EQ(found.lineChars, 6u);

    // 15 characters and the LF fit in 16; one more does not, whatever follows.
    EXPECT_EQ(ScanJoinLine(std::string(15, 'x') + "\n", 16).status, JoinScan::Status::Found);
    EXPECT_EQ(ScanJoinLine(std::string(16, 'x') + "\n", 16).status, JoinScan::Status::TooLong);
    EXPECT_EQ(ScanJoinLine(std::string(16, 'x'), 16).status, JoinScan::Status::TooLong);
}

}  // namespace
}  // namespace relay
