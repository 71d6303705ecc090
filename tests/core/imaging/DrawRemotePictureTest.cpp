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
    void Clear() override { ++clears; }
    void DrawPicture(const QImage&, const QRect& into) override { drawn.push_back(into); }
    void Refresh() override { ++refreshes; }

    std::vector<QRect> drawn;
    int clears = 0;
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
    EXPECT_EQ(Layout({800, 600}, 1920, 1080), QRect(0, 75, 800, 450));
    EXPECT_EQ(Layout({800, 600}, 1280, 1024), QRect(25, 0, 750, 600));
    EXPECT_EQ(Layout({957, 563}, 1920, 1080), QRect(0, 12, 957, 538));
    EXPECT_EQ(Layout({800, 600}, 3840, 1080), QRect(0, 187, 800, 225));
    EXPECT_EQ(Layout({960, 540}, 1920, 1080), QRect(0, 0, 960, 540));
}

TEST(DrawRemotePicture, FillsTheTargetWithoutRefreshWhenTheGeometryIsUnknown)
{
    RecordingSurface surface({320, 200});
    DrawRemotePicture(surface, QImage(4, 4, QImage::Format_RGB32), 0, 1080);
    ASSERT_EQ(surface.drawn.size(), 1u);
    EXPECT_EQ(surface.drawn[0], QRect(0, 0, 320, 200));
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
    EXPECT_EQ(surface.canvas().pixel(40, 30), qRgb(255, 0, 0));
    EXPECT_EQ(surface.canvas().pixel(40, 7), qRgb(255, 0, 0));   // rows 7..51 hold the picture
    EXPECT_EQ(surface.canvas().pixel(40, 6), qRgb(0, 0, 0));
    EXPECT_EQ(surface.canvas().pixel(40, 52), qRgb(0, 0, 0));
    EXPECT_EQ(surface.refreshes(), 1);
}
