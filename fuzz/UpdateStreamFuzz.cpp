// The update stream is outside input for both sides: the technician's
// parser with the rectangles drawn into its picture, and the supported
// side's parser, must never crash, and their buffers stay within one
// message of the largest kind beyond what arrived.
#include "LinkStreamFuzz.h"
#include "core/updates/ComposedScreen.h"

namespace {

class Sink final : public updates::ScreenUpdateSink {
public:
    void Repaint(const QRegion&) override {}
    void Acknowledge(quint32) override {}
    screenlink::LinkOutcome OnCommand(const QByteArray&) override { return {}; }
    void OnStreamError(const QString&) override {}
};

class Cliente final : public updates::UpdateHandler {
public:
    void OnStreamError(const QString&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Sink sink;
    updates::ComposedScreen screen(sink);
    updates::UpdateParser tecnico(updates::Direction::ToTecnico, screen);
    Cliente cliente;
    updates::UpdateParser supported(updates::Direction::ToCliente, cliente);
    FeedInChunks(data, size, [&](QByteArrayView chunk) {
        tecnico.Feed(chunk);
        supported.Feed(chunk);
        if (tecnico.Pending() > static_cast<qsizetype>(size) || supported.Pending() > static_cast<qsizetype>(size))
            __builtin_trap();
    });
    return 0;
}
