#include "core/imaging/modScreen.h"

#include <QProcess>
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

// coreutils base64, the independent codec.
QByteArray Coreutils(const QStringList& arguments, const QByteArray& input)
{
    QProcess process;
    process.start(QStringLiteral("base64"), arguments);
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(-1));
    EXPECT_EQ(process.exitCode(), 0);
    return process.readAllStandardOutput();
}

}  // namespace

TEST(Base64, PadsShortTailsAndNothingElse)
{
    EXPECT_EQ(Encode("abc"), "YWJj");
    EXPECT_EQ(Encode("a"), "YQ==");
    EXPECT_EQ(Encode("ab"), "YWI=");
    EXPECT_EQ(Encode(""), "");
    EXPECT_EQ(Decode("YQ=="), QByteArray("a"));
    EXPECT_EQ(Decode("YWI="), QByteArray("ab"));
    EXPECT_EQ(Decode(""), QByteArray());

    QByteArray message("FRAME:0:0:4:4:4:");
    modScreen::Base64EncodeAppend("abc", &message);
    EXPECT_EQ(message, "FRAME:0:0:4:4:4:YWJj");
    modScreen::Base64Encode("a", &message);  // replaces, appends nothing
    EXPECT_EQ(message, "YQ==");
}

TEST(Base64, AgreesWithCoreutilsBothWaysOnOneLine)
{
    for (int n : {60000, 60001, 60002, 255}) {
        const QByteArray bytes = RandomBytes(n);
        const QByteArray text = Encode(bytes);
        EXPECT_EQ(text, Coreutils({QStringLiteral("-w0")}, bytes)) << n;
        EXPECT_FALSE(text.contains('\n'));
        EXPECT_EQ(Decode(text), bytes);
        // Wrapped at 76 columns by coreutils, with its final line feed.
        EXPECT_EQ(Decode(Coreutils({}, bytes)), bytes);
        EXPECT_EQ(Coreutils({QStringLiteral("-d")}, text), bytes);
    }
    EXPECT_EQ(Encode(RandomBytes(60000)).size(), 80000);
}

// Every length around the wide loop's blocks of 24 bytes and its start and
// end, against Qt's codec.
TEST(Base64, AgreesWithQtAtEveryShortLength)
{
    for (int n = 0; n <= 120; ++n) {
        const QByteArray bytes = RandomBytes(n);
        EXPECT_EQ(Encode(bytes), bytes.toBase64()) << n;
    }
    const QByteArray every = [] {
        QByteArray all(3 * 256, '\0');
        for (int v = 0; v < 256; ++v)
            for (int p = 0; p < 3; ++p)
                all[3 * v + p] = static_cast<char>((v + 85 * p) % 256);  // every value in every place of a group
        return all;
    }();
    EXPECT_EQ(Encode(every), every.toBase64());
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
