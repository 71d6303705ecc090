// The form decoder against the program's own encoder: what UrlEncode sends
// is what the service reads, as UTF-8.
#include "server/api/FormFields.h"

#include "core/api/FormEncoding.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using api::DecodeFormComponent;
using api::FormFields;

// Plus is a space, escapes and raw bytes above 0x7F are ISO-8859-1, broken
// escapes stay as written; and whatever the program encodes reads back as UTF-8.
TEST(FormFields, DecodesWhatTheProgramEncodesAndKeepsBrokenEscapes)
{
    std::vector<std::pair<std::string, std::string>> cases = {
        {"a+b", "a b"}, {"%E7%e3", "\xC3\xA7\xC3\xA3"}, {"%41%2B", "A+"}, {"\xE9", "\xC3\xA9"}, {"%", "%"},
        {"%4", "%4"}, {"%G1", "%G1"}, {"100%", "100%"}, {"%%41", "%A"},
    };
    for (const QString& sample : {QString("two words"), QString("a@b.c"), QString("-_.~*"), QString("tab\there"),
                                  QString("line\nbreak"), QString::fromUtf8("ação ç Ü ÿ"), QString(), QString("+%&=")})
        cases.emplace_back(api::UrlEncode(sample).toStdString(), sample.toUtf8().toStdString());
    for (const auto& [encoded, decoded] : cases)
        EXPECT_EQ(DecodeFormComponent(encoded), decoded) << encoded;
}

TEST(FormFields, SplitsPairsKeepsTheFirstOfTwoAndSkipsEmptyOnes)
{
    const auto form = FormFields::Parse("email=a%40b.c&&token=&codigo=+12+&email=second&flag");
    ASSERT_TRUE(form);
    EXPECT_EQ(form->Get("email"), "a@b.c");
    EXPECT_EQ(form->Get("token"), "");
    EXPECT_TRUE(form->Has("token"));
    EXPECT_EQ(form->Get("codigo"), " 12 ");
    EXPECT_TRUE(form->Has("flag"));
    EXPECT_FALSE(form->Has("missing"));
    EXPECT_EQ(form->Get("missing"), "");
    EXPECT_EQ(form->Size(), 5u);
}

TEST(FormFields, BoundsTheNumberOfFields)
{
    std::string body;
    for (std::size_t i = 0; i < FormFields::kMaxFields; ++i)
        body += "f" + std::to_string(i) + "=v&";
    EXPECT_TRUE(FormFields::Parse(body));
    EXPECT_FALSE(FormFields::Parse(body + "one=more"));
    EXPECT_TRUE(FormFields::Parse(""));
}
