// Where the viewer opens: the remote desktop at 1:1 when it fits in 90 % of
// the available screen area, else as large as fits there with its aspect
// ratio, centred on that area.
#include "core/input/frmViewer.h"

#include <gtest/gtest.h>

TEST(ViewerOpening, OneToOneWhenItFitsElseTheLargestThatFitsCentred)
{
    const QRect fullHd(0, 0, 1920, 1080);   // room: 1728 x 972
    const QRect besideAPanel(1920, 40, 1600, 860);  // a second screen; room: 1440 x 774
    struct Case {
        QSize desktop;
        QRect available, opens;
    } const cases[] = {
        {{1600, 900}, fullHd, {160, 90, 1600, 900}},
        {{1728, 972}, fullHd, {96, 54, 1728, 972}},           // exactly 90 %
        {{1729, 972}, fullHd, {96, 54, 1728, 971}},           // one pixel more: scaled
        {{2560, 1440}, besideAPanel, {2032, 83, 1376, 774}},  // height-bound
        {{1024, 4096}, fullHd, {838, 54, 243, 972}},          // a tall desktop
        {{}, besideAPanel, {2000, 83, 1440, 774}},  // not known yet: as the area, fitted
    };
    for (const Case& c : cases)
        EXPECT_EQ(input::ViewerOpeningGeometry(c.desktop, c.available), c.opens) << c.desktop.width() << "x"
                                                                                  << c.desktop.height();
}
