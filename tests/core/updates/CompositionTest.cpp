#include "core/updates/ComposedScreen.h"
#include "core/updates/UpdateEncoder.h"

#include "SyntheticScreens.h"

#include <gtest/gtest.h>

void PrintTo(const QRect& r, std::ostream* out)
{
    *out << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
}

namespace updates {
namespace {

using updatestest::Desktop;
using updatestest::Fill;

// The technician's side as the session will drive it.
class Viewer final : public ScreenUpdateSink {
public:
    void Repaint(const QRegion& changed) override { repainted += changed; }
    void Acknowledge(quint32 sequence) override { acks.push_back(sequence); }
    screenlink::LinkOutcome OnCommand(const QByteArray&) override { return {}; }
    void OnStreamError(const QString& description) override { errors << description; }

    QRegion repainted;
    std::vector<quint32> acks;
    QStringList errors;
    ComposedScreen screen{*this};
    UpdateParser parser{Direction::ToTecnico, screen};
};

struct Link {
    UpdateEncoder encoder;
    Viewer viewer;
    quint32 sequence = 0;

    // Whether an update went out.
    bool Send(const imaging::Frame& frame)
    {
        QByteArray bytes;
        QString error;
        const bool sent = encoder.AppendUpdate(frame, {-10, 0, frame.width(), frame.height()}, 70, ++sequence, bytes,
                                               &error);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        viewer.parser.Feed(bytes);
        return sent;
    }
};

bool SameColours(const imaging::Frame& frame, const QImage& picture, const QRect& area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if ((picture.pixel(x, y) & 0xffffff) != (reinterpret_cast<const uint32_t*>(frame.row(y))[x] & 0xffffff))
                return false;
    return true;
}

struct Change {
    const char* name;
    std::vector<QRect> painted;
    std::vector<QRect> found;
};

class ChangeDetection : public testing::TestWithParam<Change> {};

TEST_P(ChangeDetection, FindsTheChangedTilesAsFewRectangles)
{
    imaging::Frame frame = Desktop(320, 200);
    ChangeDetector detector;
    EXPECT_EQ(detector.Compare(frame), std::vector<QRect>{QRect(0, 0, 320, 200)});
    for (const QRect& area : GetParam().painted)
        Fill(frame, area, 0x00ff00);
    EXPECT_EQ(detector.Compare(frame), GetParam().found);
    EXPECT_TRUE(detector.Compare(frame).empty());
}

const Change kChanges[] = {
    {"NothingChanged", {}, {}},
    {"OnePixel", {{70, 5, 1, 1}}, {{64, 0, 64, 64}}},
    {"RunAlongARow", {{10, 10, 110, 1}}, {{0, 0, 128, 64}}},
    {"BlockOfFourTiles", {{60, 60, 10, 10}}, {{0, 0, 128, 128}}},
    {"TwoSpotsClippedAtTheEdge", {{0, 0, 1, 1}, {319, 199, 1, 1}}, {{0, 0, 64, 64}, {256, 192, 64, 8}}},
    {"AColumnStacks", {{200, 0, 1, 200}}, {{192, 0, 64, 200}}},
    {"RunsOfOtherWidthsStayApart", {{0, 0, 128, 1}, {0, 64, 1, 1}}, {{0, 0, 128, 64}, {0, 64, 64, 64}}},
    {"StackBesideANewRun", {{0, 0, 1, 70}, {128, 64, 1, 1}}, {{0, 0, 64, 128}, {128, 64, 64, 64}}},
};

INSTANTIATE_TEST_SUITE_P(Synthetic, ChangeDetection, testing::ValuesIn(kChanges),
                         [](const testing::TestParamInfo<Change>& info) { return std::string(info.param.name); });

TEST(ChangeDetection, ManyScatteredChangesBecomeTheirBoundingBox)
{
    imaging::Frame frame = Desktop(1600, 900);
    ChangeDetector detector;
    detector.Compare(frame);
    for (int y = 100; y < 800; y += 128)
        for (int x = 64; x < 1500; x += 128)
            Fill(frame, QRect(x, y, 1, 1), 0xffffff);
    EXPECT_EQ(detector.Compare(frame), std::vector<QRect>{QRect(64, 64, 1472, 704)});
}

TEST(ChangeDetection, HintsLimitTheComparisonAndAResizeReportsAll)
{
    imaging::Frame frame = Desktop(320, 200);
    ChangeDetector detector;
    detector.Compare(frame);
    Fill(frame, QRect(70, 5, 1, 1), 0xffffff);
    Fill(frame, QRect(300, 150, 1, 1), 0xffffff);
    const std::vector<QRect> hints = {QRect(60, 0, 10, 10), QRect(400, 400, 5, 5)};
    EXPECT_EQ(detector.Compare(frame, &hints), std::vector<QRect>{QRect(64, 0, 64, 64)});
    EXPECT_EQ(detector.Compare(frame), std::vector<QRect>{QRect(256, 128, 64, 64)});
    EXPECT_EQ(detector.Compare(Desktop(100, 50)), std::vector<QRect>{QRect(0, 0, 100, 50)});
}

TEST(Composition, UpdatesGiveTheSamePictureAsAWholeFrameOfTheSameScreen)
{
    imaging::Frame frame = Desktop(320, 200);
    Link link;
    ASSERT_TRUE(link.Send(frame));
    const std::vector<QRect> edits = {{10, 10, 200, 16}, {0, 180, 320, 20}, {150, 60, 100, 90}, {10, 12, 30, 12}};
    for (int i = 0; i < int(edits.size()); ++i) {
        link.viewer.repainted = QRegion();
        updatestest::Text(frame, edits[i], i + 1);
        ASSERT_TRUE(link.Send(frame));
        EXPECT_TRUE(link.viewer.repainted.contains(edits[i]));
        EXPECT_LT(link.viewer.repainted.boundingRect().width() * link.viewer.repainted.boundingRect().height(),
                  320 * 200) << "edit " << i << " repainted the whole screen";
    }
    EXPECT_FALSE(link.Send(frame)) << "an unchanged screen sent an update";
    EXPECT_TRUE(link.viewer.errors.isEmpty()) << link.viewer.errors.join(", ").toStdString();
    EXPECT_EQ(link.viewer.acks, (std::vector<quint32>{1, 2, 3, 4, 5}));
    EXPECT_EQ(link.viewer.screen.geometry().left, -10);

    Link whole;
    ASSERT_TRUE(whole.Send(frame));
    EXPECT_EQ(link.viewer.screen.picture(), whole.viewer.screen.picture());
    EXPECT_TRUE(SameColours(frame, whole.viewer.screen.picture(), QRect(0, 0, 320, 200)));
}

TEST(Composition, PhotographicAreasGoAsJpegAndTextStaysExact)
{
    imaging::Frame frame = Desktop(320, 200);
    updatestest::Text(frame, QRect(0, 0, 320, 16), 3);
    updatestest::Photo(frame, QRect(128, 64, 128, 128), 5);
    Link link;
    ASSERT_TRUE(link.Send(frame));
    EXPECT_GT(link.encoder.tally().jpegRects, 0);
    EXPECT_GT(link.encoder.tally().paletteRects, 0);
    EXPECT_TRUE(SameColours(frame, link.viewer.screen.picture(), QRect(0, 0, 320, 64)));
    EXPECT_GT(updatestest::Psnr(frame, link.viewer.screen.picture()), 30.0);
}

TEST(Composition, AMovingPointerSendsOnlyItsPosition)
{
    Link link;
    const imaging::ScreenRect screen{-10, 0, 320, 200};
    imaging::CursorImage cursor{40, 40, 1, 1, 2, 2, {0xff000000u, 0xffffffffu, 0xffffffffu, 0xff000000u}};
    QByteArray bytes;
    link.encoder.AppendPointer(cursor, screen, bytes);
    EXPECT_TRUE(bytes.isEmpty()) << "a pointer before the screen it lies on";
    ASSERT_TRUE(link.Send(Desktop(320, 200)));
    link.encoder.AppendPointer(cursor, screen, bytes);
    cursor.x = 60;
    QByteArray moved;
    link.encoder.AppendPointer(cursor, screen, moved);
    EXPECT_EQ(moved.size(), kHeaderBytes + 8);
    link.viewer.repainted = QRegion();
    link.viewer.parser.Feed(bytes + moved);
    EXPECT_EQ(link.viewer.screen.cursor().x, 70);
    EXPECT_EQ(link.viewer.screen.cursor().argb, cursor.argb);
    EXPECT_TRUE(link.viewer.repainted.contains(QRect(49, 39, 2, 2)) && link.viewer.repainted.contains(QRect(69, 39, 2, 2)));
    QByteArray still;
    link.encoder.AppendPointer(cursor, screen, still);
    EXPECT_TRUE(still.isEmpty());
}

TEST(Composition, ABrokenRectangleIsRefusedWithItsReason)
{
    const QByteArray oneColour("\x00\x10\x20\x30", 4);
    const auto deflated = [](const QByteArray& indices) { return qCompress(indices).mid(4); };
    const struct {
        QByteArray data;
        const char* error;
    } rows[] = {
        {QByteArray(1, '\x00'), "cut short in its colours"},
        {oneColour + deflated(QByteArray(2, '\x00')), "do not fill 1 x 1"},
        {oneColour + "garbage", "do not fill 1 x 1"},
        {oneColour + deflated(QByteArray(1, '\x01')), "palette index 1 beyond its 1 colours"},
        {{}, "JPEG"},  // no palette rectangle: the bad JPEG is the first fault
    };
    for (const auto& row : rows) {
        Viewer viewer;
        QByteArray stream;
        AppendGeometry(stream, {0, 0, 8, 8});
        if (!row.data.isEmpty())
            AppendRect(stream, {7, 7, 1, 1, RectCoding::Palette}, row.data);
        AppendRect(stream, {0, 0, 8, 8, RectCoding::Jpeg}, "not a jpeg");
        viewer.parser.Feed(stream);
        ASSERT_EQ(viewer.errors.size(), 1);
        EXPECT_TRUE(viewer.errors[0].contains(QLatin1String(row.error))) << viewer.errors[0].toStdString();
    }
}

}  // namespace
}  // namespace updates
