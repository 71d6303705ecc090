// Replies as the program reads them: its field reader must find each member
// where we meant it, whatever text users put in names.
#include "server/api/JsonReply.h"

#include "core/api/Json.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using api::JsonReply;

namespace {

QString Read(const std::string& json, const char* key)
{
    return api::JsonGetValue(QString::fromStdString(json), QLatin1String(key));
}

}  // namespace

TEST(JsonReply, WritesOneFlatObjectTheProgramReads)
{
    const std::string json =
        JsonReply().Bool("ok", true).String("codigo_id", "17").String("id", "17").Number("n", -5).Finish();
    EXPECT_EQ(json, R"({"ok":true,"codigo_id":"17","id":"17","n":-5})");
    EXPECT_TRUE(api::JsonIsOk(QString::fromStdString(json)));
    EXPECT_EQ(Read(json, "id"), "17");
    EXPECT_EQ(JsonReply().Finish(), "{}");
    EXPECT_EQ(JsonReply::Refusal("token_invalido"), R"({"ok":false,"erro":"token_invalido"})");
}

TEST(JsonReply, EscapesQuotesBackslashesAndControlCharactersOnly)
{
    const std::string name = "Jo\xC3\xA3o \"Z\" \\ \n\r\t\x01\x7F";
    const std::string json = JsonReply().String("tecnico_nome", name).Finish();
    EXPECT_EQ(json, "{\"tecnico_nome\":\"Jo\xC3\xA3o \\\"Z\\\" \\\\ \\n\\r\\t\\u0001\\u007f\"}");
    EXPECT_EQ(json.find('\n'), std::string::npos) << "one line";
    // Valid JSON that a full parser decodes back to the same text.
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json));
    ASSERT_TRUE(doc.isObject());
    EXPECT_EQ(doc.object().value("tecnico_nome").toString().toStdString(), name);
}

TEST(JsonReply, AUserTextCannotPoseAsAnEarlierMember)
{
    // A name holding "status":"aceito" must not be read as the status: the
    // escaped quotes break the reader's pattern, and real members come first.
    const std::string json =
        JsonReply().Bool("ok", true).String("status", "solicitado").String("tecnico_nome", R"(x","status":"aceito)").Finish();
    EXPECT_EQ(Read(json, "status"), "solicitado");
    EXPECT_EQ(Read(json, "ok"), "true");
}
