#include "core/imaging/modScreen.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

QByteArray Encode(const QByteArray& bytes)
{
    QByteArray text;
    modScreen::Base64Encode(bytes, &text);
    return text;
}

std::optional<QByteArray> Decode(const QByteArray& text)
{
    QByteArray bytes;
    QString error;
    if (!modScreen::Base64Decode(text, &bytes, &error)) {
        EXPECT_FALSE(error.isEmpty());
        EXPECT_TRUE(bytes.isEmpty());
        return std::nullopt;
    }
    return bytes;
}

QByteArray RandomBytes(int n)
{
    QByteArray bytes(n, '\0');
    QRandomGenerator random(n);
    for (char& b : bytes)
        b = static_cast<char>(random.generate());
    return bytes;
}

}  // namespace

TEST(Base64, AppendsOrReplaces)
{
    QByteArray message("FRAME:0:0:4:4:4:");
    modScreen::Base64EncodeAppend("abc", &message);
    EXPECT_EQ(message, "FRAME:0:0:4:4:4:YWJj");
    modScreen::Base64Encode("a", &message);  // replaces, appends nothing
    EXPECT_EQ(message, "YQ==");
}

// Every length around the wide loop's blocks of 24 bytes and its start and
// end (every padded tail among them), and frame-sized ones (every byte value
// in every place of a group), against Qt's codec: on one line both ways, and
// decoded again when wrapped at 76 columns with a final line feed.
TEST(Base64, AgreesWithAnIndependentCodecBothWays)
{
    std::vector<int> lengths{60000, 60001, 60002};
    for (int n = 0; n <= 120; ++n)
        lengths.push_back(n);
    for (const int n : lengths) {
        const QByteArray bytes = RandomBytes(n);
        const QByteArray text = Encode(bytes);
        ASSERT_EQ(text, bytes.toBase64()) << n;
        EXPECT_EQ(Decode(text), bytes) << n;
        QByteArray wrapped;
        for (qsizetype at = 0; at < text.size(); at += 76)
            wrapped += text.mid(at, 76) + '\n';
        EXPECT_EQ(Decode(wrapped), bytes) << n;
    }
}

TEST(Base64, IgnoresWhiteSpaceAnywhereAndRefusesTextThatIsNotBase64)
{
    EXPECT_EQ(Decode(" YW\r\nJj\tYQ\n=\n= "), QByteArray("abca"));
    EXPECT_EQ(Decode("\n\n"), QByteArray());
    // A bad character, a lone character, no padding, data after the padding, too much padding, NUL, UTF-8.
    for (const QByteArray& text : {QByteArray("YWJ*"), QByteArray("YWJjY"), QByteArray("YWJjYQ"), QByteArray("YQ==YWJj"),
                                   QByteArray("Y==="), QByteArray("=YWJ"), QByteArray("YWI=="), QByteArray("YW\0j", 4),
                                   QByteArray("YWJj\xc3\xa9")})
        EXPECT_FALSE(Decode(text)) << text.toStdString();
}
