#include "core/api/ApiClient.h"
#include "core/api/Json.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using api::JsonEscape;
using api::JsonGetValue;
using api::JsonIsOk;

TEST(JsonGetValue, MatchesOnlyTheWholeKeyInAnyLetterCase)
{
    const QString reply = R"({"codigo_id":"9","OK":true,"Status":"aceito"})";
    EXPECT_EQ(JsonGetValue(reply, "id"), "");
    EXPECT_EQ(JsonGetValue(reply, "codigo_id"), "9");
    EXPECT_EQ(JsonGetValue(reply, "status"), "aceito");
    EXPECT_TRUE(JsonIsOk(reply));
}

TEST(JsonGetValue, TakesTheFirstOccurrenceWhereverItStands)
{
    EXPECT_TRUE(JsonIsOk(R"({"ok":true,"x":{"OK":false}})"));
    EXPECT_EQ(JsonGetValue(R"({"a":{"id":"inner"},"id":"outer"})", "id"), "inner");
}

TEST(JsonGetValue, AcceptsGapsAfterTheColonButNotBeforeIt)
{
    EXPECT_EQ(JsonGetValue("{\"a\": \t\r\n\"v\"}", "a"), "v");
    EXPECT_EQ(JsonGetValue(R"({"a" :"v"})", "a"), "");
}

TEST(JsonGetValue, ReturnsStringsRawAndCutsAtAnEscapedQuote)
{
    EXPECT_EQ(JsonGetValue(R"({"a":"x\ny"})", "a"), "x\\ny");
    EXPECT_EQ(JsonGetValue(R"({"a":"say \"hi\""})", "a"), "say \\");
    EXPECT_EQ(JsonGetValue(R"({"a":"","b":1})", "a"), "");
    EXPECT_EQ(JsonGetValue(R"({"a":"unterminated)", "a"), "");
}

TEST(JsonGetValue, ReadsBareValuesUpToTheirDelimiterTrimmingOnlySpaces)
{
    EXPECT_EQ(JsonGetValue(R"({"n":42 })", "n"), "42");
    EXPECT_EQ(JsonGetValue("{\"n\":7\t}", "n"), "7\t");
    EXPECT_EQ(JsonGetValue(R"({"o":{"x":1,"y":2}})", "o"), "{\"x\":1");
    EXPECT_EQ(JsonGetValue(R"({"v":null})", "v"), "null");
    EXPECT_EQ(JsonGetValue(R"({"v":)", "v"), "");
    EXPECT_EQ(JsonGetValue("<html>erro</html>", "ok"), "");
}

TEST(JsonIsOk, IsTrueOnlyForTheWordTrueInAnyCase)
{
    EXPECT_TRUE(JsonIsOk(R"({"ok":"TRUE"})"));
    EXPECT_FALSE(JsonIsOk(R"({"ok":1})"));
    EXPECT_FALSE(JsonIsOk(""));
}

TEST(SyntheticReply, IsOneLineOfValidJsonThatReadsAsFalhaHttp)
{
    const QString reply = api::SyntheticFailureReply("bad \"thing\"\r\nhappened\\ here\rand\nthere");
    EXPECT_FALSE(reply.contains('\n'));
    EXPECT_FALSE(JsonIsOk(reply));
    EXPECT_EQ(JsonGetValue(reply, "erro"), "falha_http");
    const QJsonObject parsed = QJsonDocument::fromJson(reply.toUtf8()).object();
    EXPECT_EQ(parsed.value("ok").toBool(true), false);
    EXPECT_EQ(parsed.value("detalhe").toString(), "bad \"thing\"\nhappened\\ here\nand\nthere");
    EXPECT_TRUE(reply.startsWith(R"({"ok":false,"erro":"falha_http","detalhe":")"));
}

TEST(JsonEscape, TurnsEveryLineBreakIntoBackslashN)
{
    EXPECT_EQ(JsonEscape("a\r\nb\rc\nd"), "a\\nb\\nc\\nd");
    EXPECT_EQ(JsonEscape(R"(C:\x "q")"), R"(C:\\x \"q\")");
}
