#include "core/link/TecnicoStreamParser.h"

#include "core/link/FrameHeader.h"
#include "core/link/LinkMessages.h"
#include "StreamChunking.h"

#include <QStringList>
#include <functional>
#include <gtest/gtest.h>

namespace screenlink {
namespace {

// Records what the parser reports, in order. The origin is kept apart: it is
// reported again each time a waiting header is re-read.
class RecordingTecnico final : public TecnicoStreamHandler {
public:
    void OnRelayLine(const QByteArray& line) override
    {
        events << "relay " + QString::fromLatin1(line);
        ended = ended || line.startsWith("ERR|");
    }
    LinkOutcome OnCommandLine(const QByteArray& line) override
    {
        events << "cmd " + QString::fromLatin1(line);
        ended = ended || line.startsWith("CMD:BYE:");
        if (onCommand)
            onCommand();
        return LinkOutcome::Done();
    }
    void OnAccept() override { events << "accept"; }
    void OnFrameOrigin(int l, int t) override { left = l, top = t; }
    LinkOutcome OnFrame(const ReceivedFrame& f) override
    {
        events << QStringLiteral("frame %1,%2 %3x%4 %5")
                      .arg(f.left).arg(f.top).arg(f.width).arg(f.height)
                      .arg(QString::fromLatin1(f.payload.toByteArray()));
        return frameError.isEmpty() ? LinkOutcome::Done() : LinkOutcome::Failed(frameError);
    }
    QSize PreviewSize() const override { return {400, 225}; }
    bool SessaoEncerrada() const override { return ended; }
    void Log(const QString& text) override { events << "log " + text; }

    QStringList events;
    int left = 12345, top = 12345;
    bool ended = false;
    QString frameError;
    std::function<void()> onCommand;
};

QByteArray Frame(int left, int top, int width, int height, const QByteArray& payload)
{
    QByteArray out;
    WriteFrameHeader(out, left, top, width, height, payload.size());
    return out + payload;
}

struct Fed {
    RecordingTecnico handler;
    TecnicoStreamParser parser{handler};
    explicit Fed(const QByteArray& stream = {}) { parser.Feed(stream); }
};

// Everything a supported side and a relay may send, in every header form the
// reader accepts, with frames whose first fields are 0 (where a cut right
// behind a field used to pick a shorter form).
QByteArray MixedStream()
{
    return "OK|AGUARDANDO outro lado\r\n"
           "OK|CONECTADO\n"
           "CMD:CF:3:3:1\n"
           "OK\r\n"
           "CMD:BYE-TEST:0\n"
        + Frame(0, 0, 1920, 1080, "/9j/4AAQSkZJRg==") + Frame(-8, 0, 3200, 1800, "/9j/AAAA") + "CMD:MM:10:20:0\n"
        + Frame(0, -1080, 0, 0, "") + "FRAME:8:/9j/BBBB" + "FRAME:1024:768:4:/9j/" + "garbage before a marker"
        + Frame(1, 2, 3, 4, "/9j/CCCCDDDD");
}

TEST(TecnicoStreamParser, FindsTheSameMessagesHoweverTheStreamIsCut)
{
    const QByteArray stream = MixedStream();
    const QStringList whole = Fed(stream).handler.events;
    ASSERT_EQ(whole.size(), 12) << whole.join('\n').toStdString();
    EXPECT_EQ(whole.mid(4, 2), (QStringList{"cmd CMD:BYE-TEST:0", "frame 0,0 1920x1080 /9j/4AAQSkZJRg=="}));
    EXPECT_EQ(whole.mid(9, 2), (QStringList{"frame 0,0 400x225 /9j/BBBB", "frame 0,0 1024x768 /9j/"}));

    for (const auto& pieces : linktest::Cuttings(stream)) {
        Fed f;
        for (const QByteArrayView piece : pieces)
            f.parser.Feed(piece);
        ASSERT_EQ(f.handler.events, whole) << pieces.front().size() << " bytes first, " << pieces.size() << " pieces";
        EXPECT_EQ(f.parser.Pending(), 0);
    }
}

// One chunk fed whole: what is reported and what waits for more.
TEST(TecnicoStreamParser, ReportsAndKeepsByTheTable)
{
    const QByteArray one = Frame(0, 0, 1, 1, "/9j/"), ten = Frame(0, 0, 10, 10, "/9j/");
    const QString oneSeen = "frame 0,0 1x1 /9j/";
    const struct {
        const char* why;
        QByteArray stream;
        QStringList events;
        qsizetype pending;
    } cases[] = {
        {"letters as second field: the short form", "FRAME:4:abc:rest", {"frame 0,0 400x225 abc:"}, 4},
        {"the last header waits for its second field", "FRAME:8::/9j/AAAFRAME:640:480:3::abFRAME:5:",
         {"frame 0,0 400x225 :/9j/AAA", "frame 0,0 640x480 :ab"}, 8},
        {"invalid header: the buffer goes, unlogged", "FRAME:abc:0:0:1:4:/9j/" + one, {}, 0},
        {"invalid header", "FRAME:1:2:x:" + one, {}, 0},
        {"invalid header", "FRAME:1:2:3:4:y" + one, {}, 0},
        {"invalid header", "FRAME:-:1:" + one, {}, 0},
        {"text before a marker is skipped", "junk" + Frame(5, 6, 7, 8, "/9j/"), {"frame 5,6 7x8 /9j/"}, 0},
        {"a command right behind the Accept is not lost", "OK\nCMD:MM:1:2:0\n" + ten,
         {"accept", "cmd CMD:MM:1:2:0", "frame 0,0 10x10 /9j/"}, 0},
        {"only a buffer starting with the reply is one", " OK|CONECTADO\n", {}, 14},
        {"a Goodbye stops the reading", "CMD:BYE:s1:0\n" + ten, {"cmd CMD:BYE:s1:0"}, ten.size()},
        {"a relay refusal stops the reading", "ERR|sessao invalida\r\nOK\n", {"relay ERR|sessao invalida"}, 3},
        {"a command line that never ends is dropped", "CMD:" + QByteArray(64 * 1024, 'a'),
         {"log Linha de tela descartada: mais de 65536 caracteres sem fim de linha."}, 0},
    };
    for (const auto& c : cases) {
        Fed f(c.stream);
        EXPECT_EQ(f.handler.events, c.events) << c.why;
        EXPECT_EQ(f.parser.Pending(), c.pending) << c.why;
        if (c.events.isEmpty() && c.pending == 0 && c.stream.startsWith("FRAME")) {
            f.parser.Feed(one);
            EXPECT_EQ(f.handler.events, QStringList{oneSeen}) << c.why << ": starts clean";
        }
    }
}

// Every shorter start of a header waits (the cut test feeds them all); the
// origin is stored as soon as the header is whole.
TEST(TecnicoStreamParser, StoresTheOriginBeforeThePayloadIsWhole)
{
    Fed f("FRAME:-8:-1080:3840:2160:8:/9j");
    EXPECT_EQ(std::pair(f.handler.left, f.handler.top), std::pair(-8, -1080));
    EXPECT_TRUE(f.handler.events.isEmpty());
    f.parser.Feed("/AAAA");
    EXPECT_EQ(f.handler.events, QStringList{"frame -8,-1080 3840x2160 /9j/AAAA"});
}

TEST(TecnicoStreamParser, KeepsTextWithoutMarkerOnlyUpTo2048Characters)
{
    Fed f(QByteArray(100, 'x'));
    EXPECT_EQ(f.parser.Pending(), 100);
    f.parser.Feed(QByteArray(2900, 'y'));
    EXPECT_EQ(f.parser.Pending(), 0);
    // A marker whose first letters end the discarded text still counts.
    f.parser.Feed(QByteArray(3000, 'z') + "FRA");
    EXPECT_EQ(f.parser.Pending(), 3);
    f.parser.Feed(Frame(0, 0, 2, 2, "/9j/").sliced(3));
    EXPECT_EQ(f.handler.events, QStringList{"frame 0,0 2x2 /9j/"});
}

TEST(TecnicoStreamParser, LogsUnusableHeadersAndFramesAndStartsClean)
{
    const QByteArray next = Frame(0, 0, 1, 1, "/9j/");
    for (const QByteArray& bad :
         {QByteArray("FRAME:0:0:800:600:-4:"), QByteArray("FRAME:0:0:800:600:2147483648:"),
          QByteArray("FRAME:-2147483649:0:800:600:4:"), QByteArray("FRAME:99999999999999999999999:"),
          QByteArray("FRAME:0:0:800:600:") + QByteArray::number(kMaxFramePayloadChars + 1) + ":"}) {
        Fed f(bad + "/9j/AAAA");
        ASSERT_EQ(f.handler.events.size(), 1) << bad.constData();
        EXPECT_TRUE(f.handler.events[0].startsWith("log Erro ao processar tela: ")) << bad.constData();
        EXPECT_EQ(f.parser.Pending(), 0);
        f.parser.Feed(next);
        EXPECT_EQ(f.handler.events.last(), "frame 0,0 1x1 /9j/");
    }
    Fed f;
    f.handler.frameError = "imagem invalida";
    f.parser.Feed(next + next);
    EXPECT_EQ(f.handler.events, (QStringList{"frame 0,0 1x1 /9j/", "log Erro ao processar tela: imagem invalida"}));
    EXPECT_EQ(f.parser.Pending(), 0) << "the frame behind the failed one went with the buffer";
}

TEST(TecnicoStreamParser, ReadsBytesFedFromInsideAHandlerAfterIt)
{
    Fed f;
    f.handler.onCommand = [&] {
        f.handler.onCommand = nullptr;
        f.parser.Feed(Frame(0, 0, 3, 3, "/9j/"));
    };
    f.parser.Feed("CMD:MM:1:1:0\n");
    EXPECT_EQ(f.handler.events, (QStringList{"cmd CMD:MM:1:1:0", "frame 0,0 3x3 /9j/"}));
    f.handler.events.clear();
    f.handler.onCommand = [&] { f.parser.Clear(); };
    f.parser.Feed("CMD:MM:2:2:0\nCMD:MM:3:3:0\n");
    EXPECT_EQ(f.handler.events, QStringList{"cmd CMD:MM:2:2:0"}) << "a handler that clears drops the rest";
}

}  // namespace
}  // namespace screenlink
