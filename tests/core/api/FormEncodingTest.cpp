#include "core/api/FormEncoding.h"

#include <gtest/gtest.h>

using api::ApiAuthParams;
using api::UrlEncode;

// Unreserved characters stay, a space is a plus, everything else two
// upper-case digits of its Latin-1 byte (only the low byte above U+00FF).
TEST(UrlEncode, EncodesAsTheServiceExpects)
{
    EXPECT_EQ(UrlEncode("Maria Silva"), "Maria+Silva");
    EXPECT_EQ(UrlEncode("AZaz09-_.~"), "AZaz09-_.~");
    EXPECT_EQ(UrlEncode("a@b*c"), "a%40b%2Ac");
    EXPECT_EQ(UrlEncode("\t\n"), "%09%0A");
    EXPECT_EQ(UrlEncode(QString::fromUtf8("ãç€")), "%E3%E7%AC");
}

TEST(ApiAuthParams, BuildsTheAccountPartInOrderWithValuesUntrimmed)
{
    EXPECT_EQ(ApiAuthParams("ana@x.com", "1f-2", " tok en "),
              "email=ana%40x.com&dispositivo_uid=1f-2&token=+tok+en+");
}
