// What the technician sends is outside input for the supported side: the line
// parser, the Hello check and the command dispatcher behind it must never
// crash or hold more than one bounded line.
#include "LinkStreamFuzz.h"
#include "core/input/modRemoteInput.h"
#include "core/link/ClienteLineParser.h"
#include "core/link/HelloCheck.h"
#include "core/link/RelayReply.h"
#include "support/CoreRecordingSink.h"

namespace {

class Dispatching final : public screenlink::ClienteLineHandler, public input::RemoteCommandTarget {
public:
    bool OnRelayLine(const QByteArray& line) override
    {
        return screenlink::ClassifyRelayReply(line).kind != screenlink::RelayReply::Kind::NotAReply;
    }
    screenlink::LinkOutcome OnHello(const QByteArray& line) override
    {
        validated_ = screenlink::CheckHello(line, "sess", "key") == screenlink::HelloVerdict::Accepted;
        return screenlink::LinkOutcome::Done();
    }
    screenlink::LinkOutcome OnCommandLine(const QByteArray& line) override
    {
        // A click holds its button for 80 ms: real time the fuzzer should not spend.
        if (line.contains("CK"))
            return screenlink::LinkOutcome::Done();
        if (const auto error = input_.ExecuteRemoteCommand(QString::fromLatin1(line)))
            return screenlink::LinkOutcome::Failed(*error);
        return screenlink::LinkOutcome::Done();
    }
    bool TelaConectada() const override { return validated_; }
    bool SessaoEncerrada() const override { return false; }
    void Log(const QString&) override {}

    void EncerradaPeloOutro() override {}
    void AplicarQualidadeRemota(int, int) override {}
    void LogEvent(const QString&) override {}

private:
    bool validated_ = false;
    testing_support::RecordingInputSink sink_;  // one input's events: bounded by its length
    input::modRemoteInput input_{sink_, *this};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Dispatching handler;
    screenlink::ClienteLineParser parser(handler);
    FeedInChunks(data, size, [&](QByteArrayView chunk) {
        parser.Feed(chunk);
        if (parser.Pending() > screenlink::ClienteLineParser::kMaxLineChars)
            __builtin_trap();
    });
    return 0;
}
