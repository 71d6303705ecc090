// What the supported side sends is outside input for the technician: the
// stream parser and the frame decoding behind it must never crash, and the
// buffer must stay bounded whatever arrives.
#include "LinkStreamFuzz.h"
#include "core/imaging/Base64.h"
#include "core/imaging/JpegCodec.h"
#include "core/link/TecnicoStreamParser.h"

#include <QImage>

namespace {

class Decoding final : public screenlink::TecnicoStreamHandler {
public:
    void OnRelayLine(const QByteArray&) override {}
    screenlink::LinkOutcome OnCommandLine(const QByteArray&) override { return screenlink::LinkOutcome::Done(); }
    void OnAccept() override {}
    void OnFrameOrigin(int, int) override {}
    screenlink::LinkOutcome OnFrame(const screenlink::ReceivedFrame& frame) override
    {
        QString error;
        if (!imaging::Base64DecodeInto(frame.payload, &jpeg_, &error) || !decoder_.Decode(jpeg_, &picture_, &error))
            return screenlink::LinkOutcome::Failed(error);
        return screenlink::LinkOutcome::Done();
    }
    QSize PreviewSize() const override { return {640, 360}; }
    bool SessaoEncerrada() const override { return false; }
    void Log(const QString&) override {}

private:
    QByteArray jpeg_;
    QImage picture_;
    imaging::JpegDecoder decoder_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Decoding handler;
    screenlink::TecnicoStreamParser parser(handler);
    FeedInChunks(data, size, [&](QByteArrayView chunk) {
        parser.Feed(chunk);
        // Nothing beyond what arrived, and never more than one frame's bound.
        if (parser.Pending() > static_cast<qsizetype>(size))
            __builtin_trap();
    });
    return 0;
}
