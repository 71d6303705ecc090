#pragma once

#include <QByteArrayView>
#include <QString>

namespace screenlink {

// The header of a Frame message: "FRAME:" and one, three or five numeric
// fields, each closed by ":". Senders of this system always write five
// (left, top, width, height, length); the shorter forms carry length alone,
// or width, height and length.
struct FrameHeader {
    enum class Form { OneField, ThreeFields, FiveFields };

    Form form = Form::FiveFields;
    int left = 0;
    int top = 0;
    int width = 0;   // 0 for the one-field form: the reader supplies a size
    int height = 0;
    int length = 0;           // payload characters
    qsizetype headerChars = 0;  // from the "F" through the ":" after the last field
};

struct FrameHeaderRead {
    enum class Status {
        Complete,
        Wait,     // the header is not yet all there
        Invalid,  // not a header: the stream is garbage
        Failed,   // a header, but its numbers are unusable; see `error`
    };

    Status status = Status::Wait;
    FrameHeader header;
    QString error;
};

// The largest payload a peer may announce: far above the largest real frame
// (a 3200 x 1800 JPEG of the highest quality, in Base64).
inline constexpr int kMaxFramePayloadChars = 32 * 1024 * 1024;

// Reads the header at the start of `text`, which starts with "FRAME:". A field
// that is still empty or could still become a number when the text ends is
// waited for, so the form read never depends on where the stream was cut.
FrameHeaderRead ReadFrameHeader(QByteArrayView text);

}  // namespace screenlink
