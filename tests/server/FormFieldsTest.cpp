// The form decoder against the program's own encoder: what UrlEncode sends
// is what the service reads, as UTF-8.
#include "server/api/FormFields.h"

#include "core/api/FormEncoding.h"

#include <gtest/gtest.h>

using api::DecodeFormComponent;
using api::FormFields;

TEST(FormFields, ReadsWhatTheProgramEncodes)
{
    const QString samples[] = {"two words", "a@b.c", "-_.~*", "tab\there", "line\nbreak", QString::fromUtf8("João"),
                               QString::fromUtf8("ação ç Ü ÿ"), "", "+%&="};
    for (const QString& sample : samples) {
        const std::string encoded = api::UrlEncode(sample).toStdString();
        EXPECT_EQ(DecodeFormComponent(encoded), sample.toUtf8().toStdString()) << encoded;
    }
}

TEST(FormFields, PlusIsASpaceAndEscapesAreLatin1Bytes)
{
    EXPECT_EQ(DecodeFormComponent("a+b"), "a b");
    EXPECT_EQ(DecodeFormComponent("%E7%e3"), "\xC3\xA7\xC3\xA3");
    EXPECT_EQ(DecodeFormComponent("%41%2B"), "A+");
    // A raw byte above 0x7F is ISO-8859-1 too.
    EXPECT_EQ(DecodeFormComponent("\xE9"), "\xC3\xA9");
}

TEST(FormFields, BrokenEscapesStayAsWritten)
{
    EXPECT_EQ(DecodeFormComponent("%"), "%");
    EXPECT_EQ(DecodeFormComponent("%4"), "%4");
    EXPECT_EQ(DecodeFormComponent("%G1"), "%G1");
    EXPECT_EQ(DecodeFormComponent("100%"), "100%");
    EXPECT_EQ(DecodeFormComponent("%%41"), "%A");
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
