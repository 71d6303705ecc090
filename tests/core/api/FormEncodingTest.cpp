#include "core/api/FormEncoding.h"

#include <gtest/gtest.h>

using api::ApiAuthParams;
using api::UrlEncode;

TEST(UrlEncode, KeepsUnreservedAndJoinsWordsWithPlus)
{
    EXPECT_EQ(UrlEncode("Maria Silva"), "Maria+Silva");
    EXPECT_EQ(UrlEncode("AZaz09-_.~"), "AZaz09-_.~");
    EXPECT_EQ(UrlEncode(""), "");
}

TEST(UrlEncode, EscapesEverythingElseAsTwoUpperCaseDigitsOfTheLowByte)
{
    EXPECT_EQ(UrlEncode("a@b*c"), "a%40b%2Ac");
    EXPECT_EQ(UrlEncode("\t\n"), "%09%0A");
    // Latin-1 characters travel as their single byte, not as UTF-8.
    EXPECT_EQ(UrlEncode(QString::fromUtf8("ã")), "%E3");
    EXPECT_EQ(UrlEncode(QString::fromUtf8("ç")), "%E7");
    // Above U+00FF only the low byte survives.
    EXPECT_EQ(UrlEncode(QString::fromUtf8("€")), "%AC");
}

TEST(ApiAuthParams, BuildsTheAccountPartInOrderWithValuesUntrimmed)
{
    EXPECT_EQ(ApiAuthParams("ana@x.com", "1f-2", " tok en "),
              "email=ana%40x.com&dispositivo_uid=1f-2&token=+tok+en+");
    EXPECT_EQ(ApiAuthParams("", "", ""), "email=&dispositivo_uid=&token=");
}
