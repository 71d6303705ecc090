#include "core/input/modRemoteInput.h"
#include "support/CoreRecordingSink.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

using RecordingSink = testing_support::RecordingInputSink;

class RecordingTarget final : public input::RemoteCommandTarget {
public:
    void EncerradaPeloOutro() override { events << "goodbye"; }
    void AplicarQualidadeRemota(int nitidez, int atualizacao) override
    {
        events << QStringLiteral("quality %1 %2").arg(nitidez).arg(atualizacao);
    }
    void LogEvent(const QString& message) override { events << "log " + message; }
    QStringList events;
};

class RemoteCommandTest : public ::testing::Test {
protected:
    std::optional<QString> Run(const char* line) { return input.ExecuteRemoteCommand(QString::fromLatin1(line)); }

    RecordingSink sink;
    RecordingTarget target;
    input::modRemoteInput input{sink, target};
};

// Lines that are carried out or ignored (never described as bad), and what
// reaches the system and the owner.
TEST_F(RemoteCommandTest, CarriesOutCommandsByTheTable)
{
    const struct {
        const char* why;
        std::vector<const char*> lines;
        QStringList injected, owner;
    } cases[] = {
        {"mouse commands place the pointer, then act on the button; every button but 2 is the left",
         {"CMD:MM:100:200:1", "CMD:MD:-1800:40:2", "CMD:MU:-1790:41:2", "CMD:CK:5:6:-7"},
         {"move 100 200", "move -1800 40", "right down", "move -1790 41", "right up", "move 5 6", "left down",
          "left up"},
         {}},
        {"keys carry the extended flag of their code; fractions round half to even",
         {"CMD:KD:37:0:1", "CMD:KU:37:0:1", "CMD:KD:65", "CMD:KD:64.5"},
         {"key 37 ext down", "key 37 ext up", "key 65 down", "key 64 down"}, {}},
        {"a code without a key here is logged once per code",
         {"CMD:KD:194:0:1", "CMD:KU:194:0:1", "CMD:KD:194:0:1", "CMD:KD:65:0:1"},
         {"key 194 down", "key 194 up", "key 194 down", "key 65 down"},
         {"log Tecla remota sem correspondente no teclado deste computador: 194"}},
        {"control commands go to the owner, which clamps the levels",
         {"CMD:BYE:abc:0", "CMD:BYE", "CMD:CF:3:5:1", "CMD:CF:9:-2"}, {}, {"goodbye", "goodbye", "quality 3 5", "quality 9 -2"}},
        {"short, unknown and out-of-range lines do nothing",
         {"CMD", "", "CMD:MD:10:20", "CMD:MM:10", "CMD:KD", "CMD:CF:3", "CMD:mm:1:2:0", "CMD:bye", "CMD:XX:1:2:3",
          "CMD: MM:1:2:0", "CMD:KD:300:0:1", "CMD:KD:-1:0:1"}, {}, {}},
        {"the widest numbers still read", {"CMD:MM:-2147483648.4:2147483647:0"}, {"move -2147483648 2147483647"}, {}},
    };
    for (const auto& c : cases) {
        RecordingSink s;
        RecordingTarget t;
        input::modRemoteInput fresh{s, t};
        for (const char* line : c.lines)
            EXPECT_FALSE(fresh.ExecuteRemoteCommand(QString::fromLatin1(line))) << line;
        EXPECT_EQ(s.events, c.injected) << c.why;
        EXPECT_EQ(t.events, c.owner) << c.why;
    }
}

TEST_F(RemoteCommandTest, BadArgumentsAreDescribedAndInjectNothing)
{
    EXPECT_EQ(Run("CMD:KD:abc:0:1"), QStringLiteral("argumento nao numerico \"abc\""));
    EXPECT_EQ(Run("CMD:MD:10:20:40000"), QStringLiteral("argumento fora do intervalo \"40000\""));
    for (const char* line : {"CMD:MM:2147483648:0:0", "CMD:MM:1e3:0:0", "CMD:MM:12 :0:0", "CMD:MM::0:0",
                             "CMD:MM:.:0:0", "CMD:CF:x:2:1"})
        EXPECT_TRUE(Run(line)) << line;
    // A peer's long field is quoted only in part.
    EXPECT_LT(input.ExecuteRemoteCommand(QStringLiteral("CMD:KD:") + QString(100000, u'x'))->size(), 60);
    EXPECT_TRUE(sink.events.isEmpty());
    EXPECT_TRUE(target.events.isEmpty());
}

TEST_F(RemoteCommandTest, ReleasingHeldInputLetsGoOfExactlyWhatCommandsPressed)
{
    Run("CMD:CK:5:6:2");
    EXPECT_FALSE(input.HoldsInput()) << "a click holds nothing";
    for (const char* line : {"CMD:MD:10:20:1", "CMD:KD:16:0:1", "CMD:KD:16:0:1", "CMD:KD:65:0:1", "CMD:KU:65:0:1",
                             "CMD:MD:10:20:2", "CMD:MU:10:20:2", "CMD:KD:163:0:1"})
        Run(line);
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
