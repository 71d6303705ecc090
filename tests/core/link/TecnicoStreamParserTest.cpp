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
        if (line.startsWith("ERR|"))
            ended = true;
    }

    LinkOutcome OnCommandLine(const QByteArray& line) override
    {
        events << "cmd " + QString::fromLatin1(line);
        if (line.startsWith("CMD:BYE:"))
            ended = true;
        if (onCommand)
            onCommand();
        return LinkOutcome::Done();
    }

    void OnAccept() override { events << "accept"; }

    void OnFrameOrigin(int l, int t) override
    {
        left = l;
        top = t;
    }

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
    int left = 12345;
    int top = 12345;
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

QStringList FedWhole(const QByteArray& stream)
{
    RecordingTecnico handler;
    TecnicoStreamParser parser(handler);
    parser.Feed(stream);
    return handler.events;
}

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
        + Frame(0, 0, 1920, 1080, "/9j/4AAQSkZJRg==")
        + Frame(-8, 0, 3200, 1800, "/9j/AAAA")
        + "CMD:MM:10:20:0\n"
        + Frame(0, -1080, 0, 0, "")
        + "FRAME:8:/9j/BBBB"
        + "FRAME:1024:768:4:/9j/"
        + "garbage before a marker"
        + Frame(1, 2, 3, 4, "/9j/CCCCDDDD");
}

TEST(TecnicoStreamParser, FindsTheSameMessagesHoweverTheStreamIsCut)
{
    const QByteArray stream = MixedStream();
    const QStringList whole = FedWhole(stream);
    ASSERT_EQ(whole.size(), 12) << whole.join('\n').toStdString();
    EXPECT_EQ(whole[4], "cmd CMD:BYE-TEST:0");
    EXPECT_EQ(whole[5], "frame 0,0 1920x1080 /9j/4AAQSkZJRg==");
    EXPECT_EQ(whole[9], "frame 0,0 400x225 /9j/BBBB");
    EXPECT_EQ(whole[10], "frame 0,0 1024x768 /9j/");

    for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
        RecordingTecnico handler;
        TecnicoStreamParser parser(handler);
        linktest::FeedCutAt(stream, cut, [&](QByteArrayView bytes) { parser.Feed(bytes); });
        ASSERT_EQ(handler.events, whole) << "cut at " << cut;
        EXPECT_EQ(parser.Pending(), 0);
    }

    RecordingTecnico handler;
    TecnicoStreamParser parser(handler);
    linktest::FeedByteByByte(stream, [&](QByteArrayView bytes) { parser.Feed(bytes); });
    EXPECT_EQ(handler.events, whole);
}

TEST(TecnicoStreamParser, WaitsForAFieldThatCouldStillBeANumber)
{
    for (const QByteArray& start : {QByteArray("FRAME:"), QByteArray("FRAME:0"), QByteArray("FRAME:0:"),
                                    QByteArray("FRAME:0:0:800:"),
                                    QByteArray("FRAME:0:0:800:600:")}) {
        RecordingTecnico handler;
        TecnicoStreamParser parser(handler);
        parser.Feed(start);
        EXPECT_TRUE(handler.events.isEmpty()) << start.constData();
        EXPECT_EQ(parser.Pending(), start.size());
        parser.Feed(Frame(0, 0, 800, 600, "/9j/").sliced(start.size()));
        EXPECT_EQ(handler.events, QStringList{"frame 0,0 800x600 /9j/"}) << start.constData();
    }
}

TEST(TecnicoStreamParser, ReadsShorterHeadersWhenTheFieldCannotBeANumber)
{
    RecordingTecnico handler;
    TecnicoStreamParser parser(handler);
    parser.Feed("FRAME:4:abc:rest");
    EXPECT_EQ(handler.events, QStringList{"frame 0,0 400x225 abc:"}) << "letters as second field";
    EXPECT_EQ(handler.left, 0);

    handler.events.clear();
    parser.Clear();
    parser.Feed("FRAME:8::/9j/AAAFRAME:640:480:3::abFRAME:5:");
    EXPECT_EQ(handler.events, (QStringList{"frame 0,0 400x225 :/9j/AAA", "frame 0,0 640x480 :ab"}));
    EXPECT_EQ(parser.Pending(), 8) << "the last header waits for its second field";
}

TEST(TecnicoStreamParser, StoresTheOriginAsSoonAsTheHeaderIsWhole)
{
    RecordingTecnico handler;
    TecnicoStreamParser parser(handler);
    parser.Feed("FRAME:-8:-1080:3840:2160:8:/9j");
    EXPECT_EQ(handler.left, -8);
    EXPECT_EQ(handler.top, -1080);
    EXPECT_TRUE(handler.events.isEmpty());
    parser.Feed("/AAAA");
    EXPECT_EQ(handler.events, QStringList{"frame -8,-1080 3840x2160 /9j/AAAA"});
}

TEST(TecnicoStreamParser, EmptiesTheBufferOnAnInvalidHeaderWithoutLogging)
{
    for (const QByteArray& bad : {QByteArray("FRAME:abc:0:0:1:4:/9j/"), QByteArray("FRAME:x"),
                                  QByteArray("FRAME:1:2:x:"), QByteArray("FRAME:1:2:3:4:y"),
                                  QByteArray("FRAME:-:1:")}) {
        RecordingTecnico handler;
        TecnicoStreamParser parser(handler);
        parser.Feed(bad + Frame(0, 0, 1, 1, "/9j/"));
        EXPECT_TRUE(handler.events.isEmpty()) << bad.constData();
        EXPECT_EQ(parser.Pending(), 0) << bad.constData();
    }
}

TEST(TecnicoStreamParser, KeepsTextWithoutMarkerOnlyUpTo2048Characters)
{
    RecordingTecnico handler;
    TecnicoStreamParser parser(handler);
    parser.Feed(QByteArray(100, 'x'));
    EXPECT_EQ(parser.Pending(), 100);
    parser.Feed(QByteArray(2900, 'y'));
    EXPECT_EQ(parser.Pending(), 0);

    // A marker whose first letters end the discarded text still counts.
    parser.Feed(QByteArray(3000, 'z') + "FRA");
    EXPECT_EQ(parser.Pending(), 3);
    parser.Feed(Frame(0, 0, 2, 2, "/9j/").sliced(3));
    EXPECT_EQ(handler.events, QStringList{"frame 0,0 2x2 /9j/"});

    handler.events.clear();
    parser.Feed("junk" + Frame(5, 6, 7, 8, "/9j/"));
    EXPECT_EQ(handler.events, QStringList{"frame 5,6 7x8 /9j/"}) << "text before a marker is skipped";
}

TEST(TecnicoStreamParser, HandlesAcceptAndCommandsBeforeAndBehindIt)
{
    EXPECT_EQ(FedWhole("OK\n" + Frame(0, 0, 10, 10, "/9j/")),
              (QStringList{"accept", "frame 0,0 10x10 /9j/"}));
    EXPECT_EQ(FedWhole("CMD:BYE:s1:0\n"), QStringList{"cmd CMD:BYE:s1:0"}) << "a Goodbye before any Accept";
    EXPECT_EQ(FedWhole("OK\nCMD:MM:1:2:0\n" + Frame(0, 0, 10, 10, "/9j/")),
              (QStringList{"accept", "cmd CMD:MM:1:2:0", "frame 0,0 10x10 /9j/"}))
        << "a command right behind the Accept is not lost";
    EXPECT_EQ(FedWhole("OK|AGUARDANDO\nOK|CONECTADO\n"), (QStringList{"relay OK|AGUARDANDO", "relay OK|CONECTADO"}))
        << "two relay replies in one chunk";
    EXPECT_EQ(FedWhole(" OK|CONECTADO\n"), QStringList{}) << "only a buffer starting with the reply is one";
}

TEST(TecnicoStreamParser, StopsWhenTheSessionHasEnded)
{
    RecordingTecnico handler;
    TecnicoStreamParser parser(handler);
    const QByteArray frame = Frame(0, 0, 10, 10, "/9j/");
    parser.Feed("CMD:BYE:s1:0\n" + frame);
    EXPECT_EQ(handler.events, QStringList{"cmd CMD:BYE:s1:0"});
    EXPECT_EQ(parser.Pending(), frame.size());

    RecordingTecnico relay;
    TecnicoStreamParser relayParser(relay);
    relayParser.Feed("ERR|sessao invalida\r\nOK\n");
    EXPECT_EQ(relay.events, QStringList{"relay ERR|sessao invalida"});
}

TEST(TecnicoStreamParser, LogsUnusableHeadersAndFramesAndStartsClean)
{
    const QByteArray next = Frame(0, 0, 1, 1, "/9j/");
    for (const QByteArray& bad :
         {QByteArray("FRAME:0:0:800:600:-4:"), QByteArray("FRAME:0:0:800:600:2147483648:"),
          QByteArray("FRAME:-2147483649:0:800:600:4:"), QByteArray("FRAME:99999999999999999999999:"),
          QByteArray("FRAME:0:0:800:600:") + QByteArray::number(kMaxFramePayloadChars + 1) + ":"}) {
        RecordingTecnico handler;
        TecnicoStreamParser parser(handler);
        parser.Feed(bad + "/9j/AAAA");
        ASSERT_EQ(handler.events.size(), 1) << bad.constData();
        EXPECT_TRUE(handler.events[0].startsWith("log Erro ao processar tela: ")) << bad.constData();
        EXPECT_EQ(parser.Pending(), 0);
        parser.Feed(next);
        EXPECT_EQ(handler.events.last(), "frame 0,0 1x1 /9j/");
    }

    RecordingTecnico handler;
    TecnicoStreamParser parser(handler);
    handler.frameError = "imagem invalida";
    parser.Feed(next + next);
    EXPECT_EQ(handler.events, (QStringList{"frame 0,0 1x1 /9j/", "log Erro ao processar tela: imagem invalida"}));
    EXPECT_EQ(parser.Pending(), 0) << "the frame behind the failed one went with the buffer";
}

TEST(TecnicoStreamParser, DiscardsACommandLineThatNeverEnds)
{
    RecordingTecnico handler;
    TecnicoStreamParser parser(handler);
    parser.Feed("CMD:" + QByteArray(64 * 1024, 'a'));
    EXPECT_EQ(handler.events.size(), 1);
    EXPECT_EQ(parser.Pending(), 0);
}

TEST(TecnicoStreamParser, ReadsBytesFedFromInsideAHandlerAfterIt)
{
    RecordingTecnico handler;
    TecnicoStreamParser parser(handler);
    handler.onCommand = [&] {
        handler.onCommand = nullptr;
        parser.Feed(Frame(0, 0, 3, 3, "/9j/"));
    };
    parser.Feed("CMD:MM:1:1:0\n");
    EXPECT_EQ(handler.events, (QStringList{"cmd CMD:MM:1:1:0", "frame 0,0 3x3 /9j/"}));

    handler.events.clear();
    handler.onCommand = [&] { parser.Clear(); };
    parser.Feed("CMD:MM:2:2:0\nCMD:MM:3:3:0\n");
    EXPECT_EQ(handler.events, QStringList{"cmd CMD:MM:2:2:0"}) << "a handler that clears drops the rest";
}

}  // namespace
}  // namespace screenlink
