#include "core/link/ClienteLineParser.h"

#include "core/link/RelayReply.h"
#include "StreamChunking.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace screenlink {
namespace {

class RecordingCliente final : public ClienteLineHandler {
public:
    bool OnRelayLine(const QByteArray& line) override
    {
        const RelayReply reply = ClassifyRelayReply(line);
        if (reply.kind == RelayReply::Kind::NotAReply)
            return false;
        events << "relay " + QString::fromLatin1(line);
        if (reply.kind == RelayReply::Kind::Refused)
            ended = true;
        return true;
    }

    LinkOutcome OnHello(const QByteArray& line) override
    {
        events << "hello " + QString::fromLatin1(line);
        validated = true;
        return LinkOutcome::Done();
    }

    LinkOutcome OnCommandLine(const QByteArray& line) override
    {
        events << "cmd " + QString::fromLatin1(line);
        if (line.startsWith("CMD:XX"))
            return LinkOutcome::Failed("comando desconhecido");
        return LinkOutcome::Done();
    }

    bool TelaConectada() const override { return validated; }
    bool SessaoEncerrada() const override { return ended; }
    void Log(const QString& text) override { events << "log " + text; }

    QStringList events;
    bool validated = false;
    bool ended = false;
};

QStringList FedWhole(const QByteArray& stream)
{
    RecordingCliente handler;
    ClienteLineParser parser(handler);
    parser.Feed(stream);
    return handler.events;
}

TEST(ClienteLineParser, FindsTheSameLinesHoweverTheStreamIsCut)
{
    const QByteArray stream = "  OK|aguardando\r\n"
                              "CMD:MM:5:5:0\n"
                              "OK|CONECTADO\n"
                              "HELLO:s1:k1\r\n"
                              "CMD:MD:100:200:1\n"
                              "something else\n"
                              "\n"
                              "CMD:KD:65:0:1\r\n"
                              "CMD:KU:65";
    const QStringList whole = FedWhole(stream);
    EXPECT_EQ(whole, (QStringList{"relay   OK|aguardando", "relay OK|CONECTADO", "hello HELLO:s1:k1",
                                  "cmd CMD:MD:100:200:1", "cmd CMD:KD:65:0:1"}));

    for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
        RecordingCliente handler;
        ClienteLineParser parser(handler);
        linktest::FeedCutAt(stream, cut, [&](QByteArrayView bytes) { parser.Feed(bytes); });
        ASSERT_EQ(handler.events, whole) << "cut at " << cut;
        EXPECT_EQ(parser.Pending(), 9) << "the partial line waits";
    }

    RecordingCliente handler;
    ClienteLineParser parser(handler);
    linktest::FeedByteByByte(stream, [&](QByteArrayView bytes) { parser.Feed(bytes); });
    EXPECT_EQ(handler.events, whole);
}

TEST(ClienteLineParser, DropsCommandsUntilTheLinkIsValidated)
{
    RecordingCliente handler;
    ClienteLineParser parser(handler);
    parser.Feed("CMD:MM:1:1:0\n");
    EXPECT_TRUE(handler.events.isEmpty());
    handler.validated = true;
    parser.Feed("CMD:MM:1:1:0\n");
    EXPECT_EQ(handler.events, QStringList{"cmd CMD:MM:1:1:0"});
}

TEST(ClienteLineParser, ReadsAHelloEndingInCarriageReturnAsOneEndingInLineFeed)
{
    EXPECT_EQ(FedWhole("HELLO:s1:k1\r\n"), FedWhole("HELLO:s1:k1\n"));
    EXPECT_EQ(FedWhole("HEL\rLO:s1:k1\r\r\n"), QStringList{"hello HELLO:s1:k1"});
}

TEST(ClienteLineParser, LogsAFailedLineAndKeepsTheLinesBehindIt)
{
    RecordingCliente handler;
    handler.validated = true;
    ClienteLineParser parser(handler);
    parser.Feed("CMD:XX:1\nCMD:MM:2:2:0\n");
    EXPECT_EQ(handler.events, (QStringList{"cmd CMD:XX:1", "log Erro ao processar comando remoto: comando desconhecido"}));
    EXPECT_EQ(parser.Pending(), 13);
    parser.Feed("");
    EXPECT_EQ(handler.events.last(), "cmd CMD:MM:2:2:0");
}

TEST(ClienteLineParser, StopsAfterARelayReplyThatEndedTheSession)
{
    RecordingCliente handler;
    ClienteLineParser parser(handler);
    parser.Feed("ERR|sessao nao encontrada\nHELLO:s1:k1\n");
    EXPECT_EQ(handler.events, QStringList{"relay ERR|sessao nao encontrada"});
    EXPECT_EQ(parser.Pending(), 12);
}

TEST(ClienteLineParser, DiscardsALineTooLongToKeepAndReadsTheNextOne)
{
    RecordingCliente handler;
    handler.validated = true;
    ClienteLineParser parser(handler);
    const QByteArray longLine = "CMD:" + QByteArray(ClienteLineParser::kMaxLineChars, 'a');
    parser.Feed(longLine.first(1000));
    parser.Feed(longLine.sliced(1000));
    ASSERT_EQ(handler.events.size(), 1);
    EXPECT_TRUE(handler.events[0].startsWith("log Linha de comando remoto descartada"));
    EXPECT_EQ(parser.Pending(), 0);
    parser.Feed("CMD:rest of the long line\nCMD:MM:3:3:0\n");
    EXPECT_EQ(handler.events.last(), "cmd CMD:MM:3:3:0");
    EXPECT_EQ(handler.events.size(), 2);
}

}  // namespace
}  // namespace screenlink
