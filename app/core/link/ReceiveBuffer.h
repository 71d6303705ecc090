#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace screenlink {

// Received characters not yet consumed (`BufferTela`). Consuming moves a read
// offset; the text left is moved to the front only once at least as much
// has been consumed, so the copying stays linear in the bytes received.
class ReceiveBuffer {
public:
    void Append(QByteArrayView bytes) { bytes_.append(bytes); }

    // Appends `bytes` and has `read` consume what it can. Bytes fed from inside
    // a handler are only appended: the read already running takes them.
    template <class Read>
    void Feed(QByteArrayView bytes, Read read)
    {
        Append(bytes);
        if (reading_)
            return;
        reading_ = true;
        read();
        reading_ = false;
        Compact();
    }
    QByteArrayView Rest() const { return QByteArrayView(bytes_).sliced(start_); }
    qsizetype Size() const { return bytes_.size() - start_; }
    void Consume(qsizetype count) { start_ += count; }
    void ConsumeAll() { start_ = bytes_.size(); }
    // Everything not consumed, handed to another reader.
    QByteArray TakeRest()
    {
        QByteArray rest = Rest().toByteArray();
        ConsumeAll();
        return rest;
    }

    // Drops everything but keeps the allocation, since the next frame is
    // about as large.
    void Empty()
    {
        bytes_.resize(0);
        start_ = 0;
    }

    // Drops everything and the allocation with it.
    void Release()
    {
        bytes_.clear();
        start_ = 0;
    }

    void Compact()
    {
        if (start_ == 0 || start_ < Size())
            return;
        bytes_.remove(0, start_);
        start_ = 0;
    }

private:
    QByteArray bytes_;
    qsizetype start_ = 0;
    bool reading_ = false;
};

}  // namespace screenlink
