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

}  // namespace

// Fitted and centred by the worked layouts; without a known geometry the
// picture fills the target and is not shown yet; a broken picture draws nothing.
TEST(DrawRemotePicture, FitsAndCentresByTheWorkedLayoutsOnceTheGeometryIsKnown)
{
    const struct {
        QSize target;
        int rw, rh;
        QRect into;
        int refreshes;
    } cases[] = {{{800, 600}, 1920, 1080, {0, 75, 800, 450}, 1}, {{800, 600}, 1280, 1024, {25, 0, 750, 600}, 1},
                 {{957, 563}, 1920, 1080, {0, 12, 957, 538}, 1}, {{800, 600}, 3840, 1080, {0, 187, 800, 225}, 1},
                 {{960, 540}, 1920, 1080, {0, 0, 960, 540}, 1},  {{320, 200}, 0, 1080, {0, 0, 320, 200}, 0}};
    for (const auto& c : cases) {
        RecordingSurface surface(c.target);
        DrawRemotePicture(surface, QImage(4, 4, QImage::Format_RGB32), c.rw, c.rh);
        DrawRemotePicture(surface, QImage(), c.rw, c.rh);
        EXPECT_EQ(surface.drawn, std::vector<QRect>{c.into}) << c.rw << "x" << c.rh;
        EXPECT_EQ(surface.refreshes, c.refreshes) << c.rw << "x" << c.rh;
    }
}
