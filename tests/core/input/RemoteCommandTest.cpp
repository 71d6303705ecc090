#include "core/input/modRemoteInput.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

using input::MouseButton;

// Records what would be injected. The real XTest sink is exercised against
// Xvfb in the platform tests; here only the dispatch and the bookkeeping are
// under test, so flushes are left out of the record.
class RecordingSink final : public input::InputSink {
public:
    void MovePointer(int x, int y) override { events << QStringLiteral("move %1 %2").arg(x).arg(y); }
    void Button(MouseButton button, bool down) override
    {
        events << QStringLiteral("%1 %2").arg(button == MouseButton::Right ? "right" : "left", down ? "down" : "up");
    }
    bool Key(int vk, bool extended, bool down) override
    {
        events << QStringLiteral("key %1%2 %3").arg(vk).arg(extended ? " ext" : "").arg(down ? "down" : "up");
        return vk != 194;  // a code no key of this machine gives
    }
    void Flush() override {}

    QStringList events;
};

class RecordingTarget final : public input::RemoteCommandTarget {
public:
    void EncerradaPeloOutro() override { ++goodbyes; }
    void AplicarQualidadeRemota(int nitidez, int atualizacao) override
    {
        quality << QStringLiteral("%1 %2").arg(nitidez).arg(atualizacao);
    }
    void LogEvent(const QString& message) override { log << message; }
    int goodbyes = 0;
    QStringList quality;
    QStringList log;
};

class RemoteCommandTest : public ::testing::Test {
protected:
    std::optional<QString> Run(const char* line) { return input.ExecuteRemoteCommand(QString::fromLatin1(line)); }

    RecordingSink sink;
    RecordingTarget target;
    input::modRemoteInput input{sink, target};
};

TEST_F(RemoteCommandTest, MouseCommandsPlaceThePointerThenActOnTheButton)
{
    EXPECT_FALSE(Run("CMD:MM:100:200:1"));
    EXPECT_FALSE(Run("CMD:MD:-1800:40:2"));
    EXPECT_FALSE(Run("CMD:MU:-1790:41:2"));
    EXPECT_EQ(sink.events, (QStringList{"move 100 200", "move -1800 40", "right down", "move -1790 41", "right up"}));
}

TEST_F(RemoteCommandTest, AClickPressesAndReleasesAndEveryButtonButTwoIsTheLeft)
{
    EXPECT_FALSE(Run("CMD:CK:5:6:4"));
    EXPECT_FALSE(Run("CMD:CK:5:6:2"));
    EXPECT_FALSE(Run("CMD:CK:5:6:-7"));
    EXPECT_EQ(sink.events, (QStringList{"move 5 6", "left down", "left up", "move 5 6", "right down", "right up",
                                        "move 5 6", "left down", "left up"}));
    EXPECT_FALSE(input.HoldsInput());
}

TEST_F(RemoteCommandTest, KeysCarryTheExtendedFlagOfTheirCode)
{
    EXPECT_FALSE(Run("CMD:KD:37:0:1"));
    EXPECT_FALSE(Run("CMD:KU:37:0:1"));
    EXPECT_FALSE(Run("CMD:KD:65"));
    EXPECT_FALSE(Run("CMD:KD:64.5"));  // fractions round half to even
    EXPECT_EQ(sink.events, (QStringList{"key 37 ext down", "key 37 ext up", "key 65 down", "key 64 down"}));
    EXPECT_TRUE(target.log.isEmpty());
}

TEST_F(RemoteCommandTest, ACodeWithoutAKeyHereIsLoggedOncePerCode)
{
    for (const char* line : {"CMD:KD:194:0:1", "CMD:KU:194:0:1", "CMD:KD:194:0:1", "CMD:KD:65:0:1"})
        EXPECT_FALSE(Run(line));
    EXPECT_EQ(target.log, (QStringList{"Tecla remota sem correspondente no teclado deste computador: 194"}));
}

TEST_F(RemoteCommandTest, ControlCommandsGoToTheOwner)
{
    EXPECT_FALSE(Run("CMD:BYE:abc:0"));
    EXPECT_FALSE(Run("CMD:BYE"));
    EXPECT_FALSE(Run("CMD:CF:3:5:1"));
    EXPECT_FALSE(Run("CMD:CF:9:-2"));  // the owner clamps the levels
    EXPECT_EQ(target.goodbyes, 2);
    EXPECT_EQ(target.quality, (QStringList{"3 5", "9 -2"}));
    EXPECT_TRUE(sink.events.isEmpty());
}

TEST_F(RemoteCommandTest, ShortUnknownAndOutOfRangeLinesDoNothing)
{
    for (const char* line : {"CMD", "", "CMD:MD:10:20", "CMD:MM:10", "CMD:KD", "CMD:CF:3", "CMD:mm:1:2:0",
                             "CMD:bye", "CMD:XX:1:2:3", "CMD: MM:1:2:0", "CMD:KD:300:0:1", "CMD:KD:-1:0:1"})
        EXPECT_FALSE(Run(line)) << line;
    EXPECT_TRUE(sink.events.isEmpty());
    EXPECT_EQ(target.goodbyes, 0);
}

TEST_F(RemoteCommandTest, BadArgumentsAreDescribedAndInjectNothing)
{
    const auto notNumber = Run("CMD:KD:abc:0:1");
    ASSERT_TRUE(notNumber);
    EXPECT_EQ(*notNumber, QStringLiteral("argumento nao numerico \"abc\""));

    const auto tooBig = Run("CMD:MD:10:20:40000");
    ASSERT_TRUE(tooBig);
    EXPECT_EQ(*tooBig, QStringLiteral("argumento fora do intervalo \"40000\""));

    for (const char* line : {"CMD:MM:2147483648:0:0", "CMD:MM:1e3:0:0", "CMD:MM:12 :0:0", "CMD:MM::0:0",
                             "CMD:MM:.:0:0", "CMD:CF:x:2:1"})
        EXPECT_TRUE(Run(line)) << line;
    // A peer's long field is quoted only in part.
    EXPECT_LT(input.ExecuteRemoteCommand(QStringLiteral("CMD:KD:") + QString(100000, u'x'))->size(), 60);
    EXPECT_TRUE(sink.events.isEmpty());
    EXPECT_TRUE(target.quality.isEmpty());

    EXPECT_FALSE(Run("CMD:MM:-2147483648.4:2147483647:0"));
    EXPECT_EQ(sink.events, (QStringList{"move -2147483648 2147483647"}));
}

TEST_F(RemoteCommandTest, ReleasingHeldInputLetsGoOfExactlyWhatCommandsPressed)
{
    Run("CMD:MD:10:20:1");
    Run("CMD:KD:16:0:1");
    Run("CMD:KD:16:0:1");  // auto-repeat
    Run("CMD:KD:65:0:1");
    Run("CMD:KU:65:0:1");
    Run("CMD:MD:10:20:2");
    Run("CMD:MU:10:20:2");
    Run("CMD:KD:163:0:1");
    ASSERT_TRUE(input.HoldsInput());
    sink.events.clear();

    input.ReleaseAllHeld();
    EXPECT_EQ(sink.events, (QStringList{"key 16 up", "key 163 ext up", "left up"}));
    EXPECT_FALSE(input.HoldsInput());

    // A middle-button press acts on the left button, which any left release frees.
    Run("CMD:MD:1:1:4");
    Run("CMD:MU:1:1:1");
    sink.events.clear();
    input.ReleaseAllHeld();
    EXPECT_TRUE(sink.events.isEmpty());
}

}  // namespace
