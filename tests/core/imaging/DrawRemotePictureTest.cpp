#include "core/imaging/DrawSurface.h"

#include <gtest/gtest.h>
#include <vector>

using imaging::DrawRemotePicture;

namespace {

// Records what is drawn, to read the rectangles of the fit rule.
class RecordingSurface final : public imaging::DrawSurface {
public:
    explicit RecordingSurface(QSize size) : size_(size) {}
    QSize DrawableSize() const override { return size_; }
    void Clear() override {}
    void DrawPicture(const QImage&, const QRect& into) override { drawn.push_back(into); }
    void Refresh() override { ++refreshes; }

    std::vector<QRect> drawn;
    int refreshes = 0;

private:
    QSize size_;
};

QRect Layout(QSize target, int rw, int rh)
{
    RecordingSurface surface(target);
    DrawRemotePicture(surface, QImage(4, 4, QImage::Format_RGB32), rw, rh);
    EXPECT_EQ(surface.drawn.size(), 1u);
    return surface.drawn.empty() ? QRect() : surface.drawn.front();
}

}  // namespace

TEST(DrawRemotePicture, FitsAndCentresByTheWorkedLayouts)
{
    const struct {
        QSize target;
        int rw, rh;
        QRect into;
    } cases[] = {{{800, 600}, 1920, 1080, {0, 75, 800, 450}}, {{800, 600}, 1280, 1024, {25, 0, 750, 600}},
                 {{957, 563}, 1920, 1080, {0, 12, 957, 538}}, {{800, 600}, 3840, 1080, {0, 187, 800, 225}},
                 {{960, 540}, 1920, 1080, {0, 0, 960, 540}},  {{320, 200}, 0, 1080, {0, 0, 320, 200}}};
    for (const auto& c : cases)
        EXPECT_EQ(Layout(c.target, c.rw, c.rh), c.into) << c.rw << "x" << c.rh;
}

TEST(DrawRemotePicture, RefreshesOnlyWithAKnownGeometryAndDrawsNoBrokenPicture)
{
    RecordingSurface surface({320, 200});
    DrawRemotePicture(surface, QImage(4, 4, QImage::Format_RGB32), 0, 1080);
    EXPECT_EQ(surface.refreshes, 0);

    DrawRemotePicture(surface, QImage(4, 4, QImage::Format_RGB32), 1920, 1080);
    EXPECT_EQ(surface.refreshes, 1);
    DrawRemotePicture(surface, QImage(), 1920, 1080);  // a broken picture draws nothing
    EXPECT_EQ(surface.drawn.size(), 2u);
}

TEST(ImageSurface, PaintsThePictureBetweenBandsOfBackground)
{
    imaging::ImageSurface surface({80, 60}, Qt::black);
    QImage red(16, 9, QImage::Format_RGB32);
    red.fill(Qt::red);
    surface.Clear();
    DrawRemotePicture(surface, red, 1920, 1080);
    // Rows 7..51 hold the picture.
    for (const auto& [y, colour] : {std::pair(30, qRgb(255, 0, 0)), {7, qRgb(255, 0, 0)}, {6, qRgb(0, 0, 0)},
                                    {52, qRgb(0, 0, 0)}})
        EXPECT_EQ(surface.canvas().pixel(40, y), colour) << y;
    EXPECT_EQ(surface.refreshes(), 1);
}
