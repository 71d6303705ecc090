#include "core/input/modRemoteInput.h"
#include "platform/x11/InputSinkXTest.h"

#include <chrono>
#include <gtest/gtest.h>
#include <optional>

// After the test framework: Xlib defines None, Bool, Status, True, False.
#include "support/XProbeWindow.h"

namespace {

class NoControlCommands final : public input::RemoteCommandTarget {
public:
    void EncerradaPeloOutro() override {}
    void AplicarQualidadeRemota(int, int) override {}
    void LogEvent(const QString&) override {}
};

class InputSinkXTestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(probe.Ready()) << "no X server on DISPLAY";
        QString error;
        sink = platform::InputSinkXTest::Open(nullptr, &error);
        ASSERT_TRUE(sink) << error.toStdString();
        commands.emplace(*sink, target);
    }

    void Run(const char* line) { ASSERT_FALSE(commands->ExecuteRemoteCommand(QString::fromLatin1(line))); }

    testing_support::XProbeWindow probe;
    NoControlCommands target;
    std::unique_ptr<platform::InputSinkXTest> sink;
    std::optional<input::modRemoteInput> commands;
};

TEST_F(InputSinkXTestTest, ClicksPressAndReleaseWhereTheyPoint)
{
    struct Case {
        const char* line;
        unsigned int xButton;
    };
    for (const Case& c : {Case{"CMD:CK:300:400:1", 1}, Case{"CMD:CK:301:402:2", 3}, Case{"CMD:CK:302:404:4", 1}}) {
        const auto start = std::chrono::steady_clock::now();
        Run(c.line);
        // The button is held for the click's 80 ms.
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80));
        const auto press = probe.Next(ButtonPress);
        const auto release = probe.Next(ButtonRelease);
        ASSERT_TRUE(press && release) << c.line;
        EXPECT_EQ(std::pair(press->xbutton.button, release->xbutton.button), std::pair(c.xButton, c.xButton)) << c.line;
        EXPECT_EQ(release->xbutton.x_root, press->xbutton.x_root);
    }
    EXPECT_EQ(std::pair(probe.QueryPointer().x, probe.QueryPointer().y), std::pair(302, 404));
}

TEST_F(InputSinkXTestTest, AMoveLeavesTheButtonsAloneADragHoldsOneUntilItsRelease)
{
    Run("CMD:MM:100:200:1");
    ASSERT_TRUE(probe.MotionTo(100, 200));
    EXPECT_EQ(probe.QueryPointer().mask & (Button1Mask | Button2Mask | Button3Mask), 0u);

    Run("CMD:MD:50:60:1");
    const auto press = probe.Next(ButtonPress);
    ASSERT_TRUE(press);
    EXPECT_EQ(std::pair(press->xbutton.x_root, press->xbutton.y_root), std::pair(50, 60));
    EXPECT_TRUE(probe.QueryPointer().mask & Button1Mask);

    Run("CMD:MM:70:80:1");
    ASSERT_TRUE(probe.MotionTo(70, 80));
    EXPECT_TRUE(probe.QueryPointer().mask & Button1Mask);

    Run("CMD:MU:90:100:1");
    const auto release = probe.Next(ButtonRelease);
    ASSERT_TRUE(release);
    EXPECT_EQ(std::pair(release->xbutton.x_root, release->xbutton.y_root), std::pair(90, 100));
    EXPECT_EQ(probe.QueryPointer().mask & Button1Mask, 0u);
}

TEST(InputSinkXTestOpenTest, AMissingDisplayIsReportedNotFatal)
{
    QString error;
    EXPECT_FALSE(platform::InputSinkXTest::Open(":4095", &error));
    EXPECT_TRUE(error.contains(QStringLiteral(":4095"))) << error.toStdString();
}

}  // namespace
