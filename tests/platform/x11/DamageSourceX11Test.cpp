#include "platform/x11/DamageSourceX11.h"

#include <QRegion>
#include <gtest/gtest.h>

// After the test framework: Xlib defines None, Bool, Status, True, False.
#include "support/XScreen.h"

namespace {

class DamageSourceX11Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(painter.Ready()) << "no X display";
        QString error;
        source = platform::DamageSourceX11::Open(nullptr, &error);
        ASSERT_TRUE(source) << error.toStdString();
        ASSERT_FALSE(source->TakeDamage(&areas)) << "the first call cannot know what was shown before";
    }

    // Filled in the painter's window, as programs draw, each its own request
    // (Xlib would join them); the damage taken once news of it arrived.
    bool Draw(const std::vector<QRect>& squares)
    {
        Display* display = painter.display();
        for (const QRect& r : squares) {
            XFillRectangle(display, painter.window(), DefaultGC(display, 0), r.x(), r.y(), r.width(), r.height());
            XFlush(display);
        }
        XSync(display, False);
        pollfd news{source->ConnectionFd(), POLLIN, 0};
        EXPECT_EQ(poll(&news, 1, testing_support::kHangMs), 1);
        return source->TakeDamage(&areas);
    }

    // Every hint lies on the screen, and together they cover what was drawn there.
    void ExpectCovered(const std::vector<QRect>& drawn) const
    {
        const QRect screen(0, 0, painter.width(), painter.height());
        QRegion hinted;
        for (const QRect& area : areas) {
            EXPECT_TRUE(screen.contains(area));
            hinted += area;
        }
        for (const QRect& r : drawn)
            EXPECT_TRUE(QRegion(r.intersected(screen)).subtracted(hinted).isEmpty());
    }

    testing_support::XScreen painter;
    std::unique_ptr<platform::DamageSourceX11> source;
    std::vector<QRect> areas;
};

}  // namespace

TEST_F(DamageSourceX11Test, HintsCoverWhatWasDrawnAndNothingWhenNothingWas)
{
    EXPECT_TRUE(source->TakeDamage(&areas));
    EXPECT_TRUE(areas.empty());
    const std::vector<QRect> drawn{{100, 200, 30, 40}, {painter.width() - 20, painter.height() - 10, 100, 100}};
    ASSERT_TRUE(Draw(drawn));
    ExpectCovered(drawn);
    EXPECT_TRUE(source->TakeDamage(&areas));
    EXPECT_TRUE(areas.empty());
}

TEST_F(DamageSourceX11Test, ScatteredDrawingGivesABoundedAnswerThatStillCoversIt)
{
    std::vector<QRect> squares;  // a thousand apart
    for (int row = 0; row < 25; ++row)
        for (int column = 0; column < 40; ++column)
            squares.emplace_back(20 + column * 60, 20 + row * 50, 2, 2);
    ASSERT_TRUE(Draw(squares));
    EXPECT_LE(areas.size(), size_t{platform::DamageSourceX11::kMaxAreas});
    ExpectCovered(squares);
}
