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
        ended = ended || reply.kind == RelayReply::Kind::Refused;
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
        return line.startsWith("CMD:XX") ? LinkOutcome::Failed("comando desconhecido") : LinkOutcome::Done();
    }
    bool TelaConectada() const override { return validated; }
    bool SessaoEncerrada() const override { return ended; }
    void Log(const QString& text) override { events << "log " + text; }

    QStringList events;
    bool validated = false, ended = false;
};

struct Fed {
    RecordingCliente handler;
    ClienteLineParser parser{handler};
    explicit Fed(const QByteArray& stream = {}, bool validated = false)
    {
        handler.validated = validated;
        parser.Feed(stream);
    }
};

TEST(ClienteLineParser, FindsTheSameLinesHoweverTheStreamIsCut)
{
    const QByteArray stream = "  OK|aguardando\r\nCMD:MM:5:5:0\nOK|CONECTADO\nHELLO:s1:k1\r\nCMD:MD:100:200:1\n"
                              "something else\n\nCMD:KD:65:0:1\r\nCMD:KU:65";
    const QStringList whole = {"relay   OK|aguardando", "relay OK|CONECTADO", "hello HELLO:s1:k1",
                               "cmd CMD:MD:100:200:1", "cmd CMD:KD:65:0:1"};
    for (const auto& pieces : linktest::Cuttings(stream)) {
        Fed f;
        for (const QByteArrayView piece : pieces)
            f.parser.Feed(piece);
        ASSERT_EQ(f.handler.events, whole) << pieces.front().size() << " bytes first, " << pieces.size() << " pieces";
        EXPECT_EQ(f.parser.Pending(), 9) << "the partial line waits";
    }
}

TEST(ClienteLineParser, ReportsAndKeepsByTheTable)
{
    const struct {
        const char* why;
        QByteArray stream;
        bool validated;
        QStringList events;
        qsizetype pending;
    } cases[] = {
        {"stray carriage returns", "HEL\rLO:s1:k1\r\r\n", false, {"hello HELLO:s1:k1"}, 0},
        {"a failed line is logged; the next waits", "CMD:XX:1\nCMD:MM:2:2:0\n", true,
         {"cmd CMD:XX:1", "log Erro ao processar comando remoto: comando desconhecido"}, 13},
        {"a relay refusal ends the reading", "ERR|sessao nao encontrada\nHELLO:s1:k1\n", false,
         {"relay ERR|sessao nao encontrada"}, 12},
    };
    for (const auto& c : cases) {
        Fed f(c.stream, c.validated);
        EXPECT_EQ(f.handler.events, c.events) << c.why;
        EXPECT_EQ(f.parser.Pending(), c.pending) << c.why;
    }
    Fed failed("CMD:XX:1\nCMD:MM:2:2:0\n", true);
    failed.parser.Feed("");
    EXPECT_EQ(failed.handler.events.last(), "cmd CMD:MM:2:2:0") << "the line behind a failed one is kept";
}

TEST(ClienteLineParser, DiscardsALineTooLongToKeepAndReadsTheNextOne)
{
    Fed f({}, true);
    const QByteArray longLine = "CMD:" + QByteArray(ClienteLineParser::kMaxLineChars, 'a');
    f.parser.Feed(longLine.first(1000));
    f.parser.Feed(longLine.sliced(1000));
    ASSERT_EQ(f.handler.events.size(), 1);
    EXPECT_TRUE(f.handler.events[0].startsWith("log Linha de comando remoto descartada"));
    EXPECT_EQ(f.parser.Pending(), 0);
    f.parser.Feed("CMD:rest of the long line\nCMD:MM:3:3:0\n");
    EXPECT_EQ(f.handler.events.mid(1), QStringList{"cmd CMD:MM:3:3:0"});
}

}  // namespace
}  // namespace screenlink
