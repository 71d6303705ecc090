#include "core/updates/UpdateParser.h"

#include "core/link/StreamChunking.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace updates {
namespace {

class Recorder final : public UpdateHandler {
public:
    void OnGeometry(const ScreenGeometry& s) override
    {
        events << QStringLiteral("geometry %1,%2 %3x%4").arg(s.left).arg(s.top).arg(s.width).arg(s.height);
    }
    screenlink::LinkOutcome OnRect(const RectHeader& r, QByteArrayView data) override
    {
        events << QStringLiteral("rect %1,%2 %3x%4 coding %5 ").arg(r.x).arg(r.y).arg(r.width).arg(r.height)
                          .arg(int(r.coding)) + QString::fromLatin1(data.toByteArray().toHex());
        return {};
    }
    void OnUpdateEnd(quint32 sequence) override { events << QStringLiteral("end %1").arg(sequence); }
    void OnCursorShape(const CursorShapeHeader& c, const uint32_t* argb) override
    {
        events << QStringLiteral("shape %1,%2 %3x%4 %5").arg(c.hotX).arg(c.hotY).arg(c.width).arg(c.height)
                          .arg(c.width ? argb[c.width * c.height - 1] : 0, 0, 16);
    }
    void OnCursorPosition(qint32 x, qint32 y) override { events << QStringLiteral("pointer %1,%2").arg(x).arg(y); }
    void OnAck(quint32 sequence) override { events << QStringLiteral("ack %1").arg(sequence); }
    screenlink::LinkOutcome OnCommand(const QByteArray& line) override
    {
        events << "cmd " + QString::fromLatin1(line);
        return {};
    }
    void OnStreamError(const QString& description) override { events << "error " + description; }

    QStringList events;
};

QByteArray Message(uint8_t type, const QByteArray& payload, qint64 declared = -1)
{
    QByteArray out(1, static_cast<char>(type));
    PutU32(out, static_cast<quint32>(declared < 0 ? payload.size() : declared));
    return out + payload;
}

QByteArray Geometry(int width, int height)
{
    QByteArray out;
    AppendGeometry(out, {-8, 4, width, height});
    return out;
}

QByteArray Rect(int x, int y, int w, int h, uint8_t coding = 1)
{
    QByteArray fields;
    for (int v : {x, y, w, h})
        PutU16(fields, static_cast<quint32>(v));
    return Message(2, fields + QByteArray(1, static_cast<char>(coding)) + "data");
}

QByteArray Shape(int hotX, int hotY, int w, int h, int pixels)
{
    QByteArray fields;
    for (int v : {hotX, hotY, w, h})
        PutU16(fields, static_cast<quint32>(v));
    return Message(4, fields + QByteArray(pixels * 4, '\x11'));
}

QByteArray Pointer(int x, int y)
{
    QByteArray out;
    AppendCursorPosition(out, x, y);
    return out;
}

QByteArray Command(const QByteArray& line)
{
    QByteArray out;
    AppendCommand(out, line);
    return out;
}

QStringList Read(Direction direction, const std::function<void(UpdateParser&)>& feed)
{
    Recorder recorder;
    UpdateParser parser(direction, recorder);
    feed(parser);
    EXPECT_EQ(parser.Pending(), 0);
    return recorder.events;
}

TEST(UpdateParser, ReadsTheSameMessagesHoweverTheStreamIsCut)
{
    QByteArray stream = Geometry(640, 360);
    AppendRect(stream, {600, 350, 40, 10, RectCoding::Palette}, QByteArray("\x00\x01\x02", 3));
    AppendUpdateEnd(stream, 7);
    const uint32_t arrow[] = {0xff000000u, 0x80ffffffu};
    AppendCursorShape(stream, {1, 0, 2, 1}, arrow);
    AppendCursorPosition(stream, 639, 0);
    stream += Command("CMD:BYE:s1:0");
    const QStringList expected = {"geometry -8,4 640x360",   "rect 600,350 40x10 coding 1 000102",
                                  "end 7",                   "shape 1,0 2x1 80ffffff",
                                  "pointer 639,0",           "cmd CMD:BYE:s1:0"};

    for (const auto& pieces : linktest::Cuttings(stream))
        ASSERT_EQ(Read(Direction::ToTecnico, [&](UpdateParser& p) { for (const QByteArrayView piece : pieces) p.Feed(piece); }),
                  expected)
            << pieces.front().size() << " bytes first, " << pieces.size() << " pieces";
}

TEST(UpdateParser, TheSupportedSideReadsAcknowledgementsAndCommands)
{
    QByteArray stream;
    AppendAck(stream, 42);
    stream += Command("CMD:MM:10:20:0");
    EXPECT_EQ(Read(Direction::ToCliente, [&](UpdateParser& p) { p.Feed(stream); }),
              QStringList({"ack 42", "cmd CMD:MM:10:20:0"}));
}

struct Refusal {
    const char* name;
    Direction direction;
    QByteArray stream;
    const char* error;
};

class UpdateParserRefuses : public testing::TestWithParam<Refusal> {};

TEST_P(UpdateParserRefuses, AndReadsNothingMoreUntilCleared)
{
    const Refusal& row = GetParam();
    Recorder recorder;
    UpdateParser parser(row.direction, recorder);
    parser.Feed(row.stream);
    parser.Feed(Command("CMD:BYE:s1:0"));
    ASSERT_FALSE(recorder.events.isEmpty());
    EXPECT_TRUE(recorder.events.last().startsWith("error ")) << recorder.events.join(" | ").toStdString();
    EXPECT_TRUE(recorder.events.last().contains(QLatin1String(row.error))) << recorder.events.last().toStdString();
    EXPECT_TRUE(parser.Failed());
    EXPECT_EQ(parser.Pending(), 0);

    parser.Clear();
    parser.Feed(Command("CMD:BYE:s1:0"));
    EXPECT_EQ(recorder.events.last(), "cmd CMD:BYE:s1:0");
}

const Refusal kRefusals[] = {
    {"UnknownType", Direction::ToTecnico, Message(9, "x"), "type 9 is not expected"},
    {"AckSentToTheTechnician", Direction::ToTecnico, Message(6, "1234"), "type 6 is not expected"},
    {"RectSentToTheSupportedSide", Direction::ToCliente, Geometry(10, 10), "type 1 is not expected"},
    {"HugeLengthBeforeItsBytesCome", Direction::ToTecnico, Message(2, "", 0xffffffff), "rectangle message of 4294967295"},
    {"ShortGeometry", Direction::ToTecnico, Message(1, QByteArray(15, 0)), "geometry message of 15 bytes"},
    {"EmptyScreen", Direction::ToTecnico, Geometry(0, 100), "screen of 0 x 100 refused"},
    {"ScreenTooLarge", Direction::ToTecnico, Geometry(20000, 10), "screen of 20000 x 10 refused"},
    {"RectBeforeGeometry", Direction::ToTecnico, Rect(0, 0, 1, 1), "before any screen geometry"},
    {"RectPastTheRightEdge", Direction::ToTecnico, Geometry(100, 50) + Rect(90, 0, 11, 1), "outside the screen"},
    {"RectPastTheBottom", Direction::ToTecnico, Geometry(100, 50) + Rect(0, 49, 1, 2), "outside the screen"},
    {"RectWithoutWidth", Direction::ToTecnico, Geometry(100, 50) + Rect(0, 0, 0, 5), "outside the screen"},
    {"RectTooLargeToCode", Direction::ToTecnico, Geometry(2048, 1024) + Rect(0, 0, 2048, 1024), "too large"},
    {"UnknownCoding", Direction::ToTecnico, Geometry(100, 50) + Rect(0, 0, 1, 1, 7), "coding 7 is unknown"},
    {"PointerPixelsMissing", Direction::ToTecnico, Shape(0, 0, 2, 2, 3), "pointer shape 2 x 2"},
    {"PointerTooLarge", Direction::ToTecnico, Shape(0, 0, 257, 1, 257), "pointer shape 257 x 1"},
    {"HotSpotOutsideThePointer", Direction::ToTecnico, Shape(2, 0, 2, 2, 4), "hot spot 2,0"},
    {"PointerOutsideTheScreen", Direction::ToTecnico, Geometry(100, 50) + Pointer(100, 0), "outside the screen"},
    {"PointerBeforeGeometry", Direction::ToTecnico, Pointer(0, 0), "outside the screen of 0 x 0"},
    {"CommandWithALineFeed", Direction::ToCliente, Command("CMD:KD:65\n:0:1"), "not printable"},
    {"CommandTooLong", Direction::ToCliente, Command(QByteArray(257, 'C')), "command message of 257 bytes"},
};

INSTANTIATE_TEST_SUITE_P(Limits, UpdateParserRefuses, testing::ValuesIn(kRefusals),
                         [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace updates
