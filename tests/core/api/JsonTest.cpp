#include "core/api/ApiClient.h"
#include "core/api/Json.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using api::JsonGetValue;
using api::JsonIsOk;

// The reader of the program: whole keys in any letter case, the first
// occurrence wherever it stands, gaps after the colon only, strings raw up to
// the next quote, bare values up to their delimiter with spaces trimmed.
TEST(JsonGetValue, ReadsFieldsAsTheProgramAlwaysHas)
{
    struct Case {
        const char *reply, *key, *value;
    };
    const Case cases[] = {
        {R"({"codigo_id":"9","OK":true,"Status":"aceito"})", "id", ""},
        {R"({"codigo_id":"9","OK":true,"Status":"aceito"})", "codigo_id", "9"},
        {R"({"codigo_id":"9","OK":true,"Status":"aceito"})", "status", "aceito"},
        {R"({"a":{"id":"inner"},"id":"outer"})", "id", "inner"},
        {"{\"a\": \t\r\n\"v\"}", "a", "v"},
        {R"({"a" :"v"})", "a", ""},
        {R"({"a":"x\ny"})", "a", "x\\ny"},
        {R"({"a":"say \"hi\""})", "a", "say \\"},
        {R"({"a":"","b":1})", "a", ""},
        {R"({"a":"unterminated)", "a", ""},
        {R"({"n":42 })", "n", "42"},
        {"{\"n\":7\t}", "n", "7\t"},
        {R"({"o":{"x":1,"y":2}})", "o", "{\"x\":1"},
        {R"({"v":null})", "v", "null"},
        {R"({"v":)", "v", ""},
        {"<html>erro</html>", "ok", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(JsonGetValue(c.reply, c.key), c.value) << c.reply << " " << c.key;
}

TEST(JsonIsOk, IsTrueOnlyForTheFirstOkBeingTheWordTrueInAnyCase)
{
    for (const auto& [reply, ok] : {std::pair{R"({"codigo_id":"9","OK":true})", true}, {R"({"ok":true,"x":{"OK":false}})", true},
                                    {R"({"ok":"TRUE"})", true}, {R"({"ok":1})", false}, {"", false}})
        EXPECT_EQ(JsonIsOk(reply), ok) << reply;
}

TEST(SyntheticReply, IsOneLineOfValidJsonThatReadsAsFalhaHttp)
{
    const QString reply = api::SyntheticFailureReply("bad \"thing\"\r\nhappened\\ here\rand\nthere");
    EXPECT_FALSE(reply.contains('\n'));
    EXPECT_EQ(JsonGetValue(reply, "erro"), "falha_http");
    const QJsonObject parsed = QJsonDocument::fromJson(reply.toUtf8()).object();
    EXPECT_EQ(parsed.value("ok").toBool(true), false);
    EXPECT_EQ(parsed.value("detalhe").toString(), "bad \"thing\"\nhappened\\ here\nand\nthere");
    EXPECT_TRUE(reply.startsWith(R"({"ok":false,"erro":"falha_http","detalhe":")"));
}
