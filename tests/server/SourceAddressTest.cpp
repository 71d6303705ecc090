#include "server/net/SourceAddress.h"

#include <gtest/gtest.h>

TEST(SourceAddress, AnIPv4AddressIsItsOwnSourceAndAnIPv6OneItsSlashSixtyFour)
{
    const struct {
        const char* address;
        const char* source;
    } cases[] = {
        {"203.0.113.5", "203.0.113.5"},
        {"::ffff:203.0.113.5", "203.0.113.5"},
        {"2001:db8:1:2::a", "2001:db8:1:2::/64"},
        {"2001:db8:1:2:ffff:ffff:ffff:ffff", "2001:db8:1:2::/64"},
        {"2001:db8:1:3::a", "2001:db8:1:3::/64"},
        {"not an address", "not an address"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(net::SourceText(c.address), c.source) << c.address;
}
