// Replies as the program reads them: its field reader must find each member
// where we meant it, whatever text users put in names.
#include "server/api/JsonReply.h"

#include "core/api/Json.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using api::JsonReply;

// Escaped are quotes, backslashes and control characters only; a name
// holding "status":"aceito" must not be read as the status: the escaped
// quotes break the reader's pattern, and real members come first.
TEST(JsonReply, EscapesWhatUsersWriteSoThatNoTextPosesAsAMember)
{
    const std::string name = "Jo\xC3\xA3o \"Z\" \\ \n\r\t\x01\x7F";
    const std::string json = JsonReply().String("tecnico_nome", name).Number("n", -5).Finish();
    EXPECT_EQ(json, "{\"tecnico_nome\":\"Jo\xC3\xA3o \\\"Z\\\" \\\\ \\n\\r\\t\\u0001\\u007f\",\"n\":-5}");
    // Valid JSON on one line, that a full parser decodes back to the same text.
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json));
    EXPECT_EQ(doc.object().value("tecnico_nome").toString().toStdString(), name);

    const QString posing = QString::fromStdString(
        JsonReply().Bool("ok", true).String("status", "solicitado").String("tecnico_nome", R"(x","status":"aceito)").Finish());
    EXPECT_EQ(api::JsonGetValue(posing, "status"), "solicitado");
    EXPECT_TRUE(api::JsonIsOk(posing));
}
