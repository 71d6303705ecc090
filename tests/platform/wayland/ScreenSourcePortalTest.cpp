#include "HeadlessGnome.h"
#include "Pattern.h"
#include "PatternWindow.h"

#include "core/imaging/AreaScaler.h"
#include "platform/wayland/InputSinkPortal.h"
#include "platform/wayland/PortalDesktop.h"
#include "platform/wayland/ScreenSourcePortal.h"
#include "platform/wayland/WaylandKeyboardLayout.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class PortalDesktopTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gnome_ = new HeadlessGnome(); }
    static void TearDownTestSuite() { delete gnome_; }
    void SetUp() override { ASSERT_TRUE(gnome_->Ready()) << gnome_->Log(); }

    // The desktop shared after the consent dialog was answered.
    std::shared_ptr<platform::PortalDesktop> Shared(bool accept, QString* error)
    {
        auto desktop = std::make_shared<platform::PortalDesktop>(platform::PortalSession::Deadlines{5000, 25000});
        EXPECT_TRUE(gnome_->AnswerNextDialog(accept)) << gnome_->Log();
        const bool ready = desktop->Ready(error);
        gnome_->StopAnswering();
        return ready ? desktop : nullptr;
    }

    static HeadlessGnome* gnome_;
};

HeadlessGnome* PortalDesktopTest::gnome_ = nullptr;

TEST_F(PortalDesktopTest, GrabsWhatTheNativeWindowPaintedAtFullAndReducedSize)
{
    PatternWindow window;
    ASSERT_TRUE(window.Shown());
    QString error;
    auto desktop = Shared(true, &error);
    ASSERT_TRUE(desktop) << error.toStdString() << gnome_->Log();
    auto source = platform::ScreenSourcePortal::Open(desktop, &error);
    ASSERT_TRUE(source) << error.toStdString();

    imaging::ScreenRect screen;
    ASSERT_TRUE(source->Geometry(&screen, &error)) << error.toStdString();
    EXPECT_EQ(screen, (imaging::ScreenRect{0, 0, 1280, 800}));

    imaging::Frame full, half, expected;
    ASSERT_TRUE(source->Grab(QSize(1280, 800), &full, &error)) << error.toStdString();
    std::vector<uint32_t> pattern(1280 * 800);
    int wrong = 0;
    for (int y = 0; y < 800; ++y)
        for (int x = 0; x < 1280; ++x) {
            pattern[y * 1280 + x] = PatternPixel(x, y);
            uint32_t got = 0;
            std::memcpy(&got, full.row(y) + x * 4, 4);
            wrong += (got & 0xffffff) != (pattern[y * 1280 + x] & 0xffffff);
        }
    EXPECT_EQ(wrong, 0);

    ASSERT_TRUE(source->Grab(QSize(640, 400), &half, &error)) << error.toStdString();
    expected.Resize(640, 400);
    imaging::AreaScaler().Scale(reinterpret_cast<const uint8_t*>(pattern.data()), 1280, 800, 1280 * 4, &expected);
    for (int y = 0; y < 400; ++y)
        ASSERT_EQ(std::memcmp(half.row(y), expected.row(y), 640 * 4), 0) << "row " << y;
    // The remote screen ended: the desktop no longer shows a sharing.
    source->Release();
    EXPECT_TRUE(WaitUntil([&] { return gnome_->Sharings().isEmpty(); })) << gnome_->Sharings().join(' ').toStdString();
}

TEST_F(PortalDesktopTest, NativeWindowGetsPointerClickAndKeysOfItsLayoutFirstKeyIncluded)
{
    PatternWindow window;
    ASSERT_TRUE(window.Shown());
    QString error;
    auto layout = platform::WaylandKeyboardLayout::Open(&error);
    ASSERT_TRUE(layout) << error.toStdString();
    auto desktop = Shared(true, &error);
    ASSERT_TRUE(desktop) << error.toStdString();
    // The headless desktop has a keyboard once the sink's session made one.
    const platform::WaylandKeyboardLayout& keymap = *layout;
    platform::InputSinkPortal sink(desktop, std::move(layout));
    ASSERT_TRUE(WaitUntil([&] { return keymap.HasKeymap(); }, 10000));

    sink.MovePointer(300, 200);
    EXPECT_EQ(window.Next("motion"), "motion 300 200");
    sink.Button(input::MouseButton::Left, true);
    sink.Button(input::MouseButton::Left, false);
    EXPECT_EQ(window.Next("button"), "button 272 1");
    EXPECT_EQ(window.Next("button"), "button 272 0");

    // German keys: Z where the US layout has Y, and AltGr+Q types @.
    const std::vector<std::pair<int, bool>> typed = {{'Z', true},  {'Z', false}, {16, true},  {'A', true},
                                                     {'A', false}, {16, false},  {17, true},  {18, true},
                                                     {'Q', true},  {'Q', false}, {18, false}, {17, false}};
    for (const auto& [vk, down] : typed)
        EXPECT_TRUE(sink.Key(vk, false, down)) << vk;
    EXPECT_EQ(window.Next("key"), "key z");
    EXPECT_EQ(window.Next("key"), "key A");
    EXPECT_EQ(window.Next("key"), "key @");
}

TEST_F(PortalDesktopTest, RefusedOrUnansweredDialogFailsOnceWithItsReasonAndNoNewDialog)
{
    QString error;
    ASSERT_FALSE(Shared(false, &error));
    EXPECT_EQ(error.toStdString(), "the user refused to share the screen");

    platform::PortalDesktop desktop(platform::PortalSession::Deadlines{5000, 1500});
    QStringList told;
    QObject::connect(&desktop, &platform::PortalDesktop::failed, [&](const QString& why) { told << why; });
    auto source = platform::ScreenSourcePortal::Open(std::shared_ptr<platform::PortalDesktop>(&desktop, [](auto*) {}),
                                                     &error);
    ASSERT_TRUE(source) << error.toStdString();
    imaging::ScreenRect screen;
    // Nobody answers: the wait ends at its deadline, and the next frames
    // get the same answer without asking the desktop again.
    for (int frame = 0; frame < 3; ++frame)
        EXPECT_FALSE(source->Geometry(&screen, &error));
    EXPECT_EQ(error.toStdString(), "the desktop portal did not answer Start within 1.5 s");
    EXPECT_EQ(told, QStringList{error});
}

TEST(NoPortalTest, OpeningFailsAtOnceWithTheReason)
{
    HeadlessGnome bus(true);
    ASSERT_TRUE(bus.Ready()) << bus.Log();
    QString error;
    EXPECT_FALSE(platform::ScreenSourcePortal::Open(std::make_shared<platform::PortalDesktop>(), &error));
    EXPECT_EQ(error.toStdString(), "no desktop portal (org.freedesktop.portal.Desktop) on the session bus");
    platform::PortalDesktop desktop;
    EXPECT_FALSE(desktop.Ready(&error));
    EXPECT_TRUE(error.startsWith("no desktop portal on the session bus")) << error.toStdString();
}

}  // namespace
