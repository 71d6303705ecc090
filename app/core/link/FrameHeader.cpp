#include "core/link/FrameHeader.h"

namespace screenlink {

namespace {

constexpr QByteArrayView kMarker = "FRAME:";

// A sign and ten digits hold every 32-bit value; a field of digits longer
// than this cannot be one, however it ends.
constexpr qsizetype kMaxFieldChars = 20;

struct Field {
    enum class Kind { Number, NotNumber, Unfinished, TooLong };
    Kind kind = Kind::Unfinished;
    QByteArrayView text;
    qsizetype next = 0;  // after the closing ":"
};

Field Ending(Field::Kind kind)
{
    Field field;
    field.kind = kind;
    return field;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Scans only as far as the field could still be a number, so a payload behind
// a shorter header is never read here.
Field ReadField(QByteArrayView text, qsizetype pos)
{
    qsizetype i = pos;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    const qsizetype digits = i;
    while (i < text.size() && IsDigit(text[i])) {
        if (i - pos >= kMaxFieldChars)
            return Ending(Field::Kind::TooLong);
        ++i;
    }
    if (i == text.size())
        return Ending(Field::Kind::Unfinished);
    if (text[i] == ':' && i > digits)
        return {Field::Kind::Number, text.sliced(pos, i - pos), i + 1};
    return Ending(Field::Kind::NotNumber);
}

FrameHeaderRead Failed(const QString& error) { return {FrameHeaderRead::Status::Failed, {}, error}; }

QString TooLarge() { return QStringLiteral("numero do cabecalho fora do intervalo de 32 bits"); }

FrameHeaderRead Checked(const FrameHeader& header)
{
    if (header.length < 0)
        return Failed(QStringLiteral("tamanho de quadro negativo: %1").arg(header.length));
    if (header.length > kMaxFramePayloadChars)
        return Failed(QStringLiteral("tamanho de quadro acima do limite: %1").arg(header.length));
    return {FrameHeaderRead::Status::Complete, header, {}};
}

}  // namespace

FrameHeaderRead ReadFrameHeader(QByteArrayView text)
{
    int values[5] = {};
    int count = 0;
    qsizetype pos = kMarker.size();
    while (count < 5) {
        const Field field = ReadField(text, pos);
        if (field.kind == Field::Kind::Unfinished)
            return {FrameHeaderRead::Status::Wait, {}, {}};
        if (field.kind == Field::Kind::TooLong)
            return Failed(TooLarge());
        if (field.kind == Field::Kind::NotNumber) {
            // The first, third and fifth fields must be numbers; a second or
            // fourth that is not one ends a shorter form.
            if (count % 2 == 0)
                return {FrameHeaderRead::Status::Invalid, {}, {}};
            break;
        }
        bool ok = false;
        values[count++] = field.text.toInt(&ok);
        if (!ok)
            return Failed(TooLarge());
        pos = field.next;
    }

    FrameHeader header;
    header.headerChars = pos;
    if (count == 1) {
        header.form = FrameHeader::Form::OneField;
        header.length = values[0];
    } else if (count == 3) {
        header.form = FrameHeader::Form::ThreeFields;
        header.width = values[0];
        header.height = values[1];
        header.length = values[2];
    } else {
        header.left = values[0];
        header.top = values[1];
        header.width = values[2];
        header.height = values[3];
        header.length = values[4];
    }
    return Checked(header);
}

}  // namespace screenlink
