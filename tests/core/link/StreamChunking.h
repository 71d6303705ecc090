#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <functional>

// Replays one byte stream in a given cutting, so a parser test can compare
// what the parser found against the stream fed whole.
namespace linktest {

using FeedFunction = std::function<void(QByteArrayView)>;

// The stream in two pieces, the first `cut` bytes long.
inline void FeedCutAt(QByteArrayView stream, qsizetype cut, const FeedFunction& feed)
{
    feed(stream.first(cut));
    feed(stream.sliced(cut));
}

// The stream one byte at a time, with an empty read before each byte.
inline void FeedByteByByte(QByteArrayView stream, const FeedFunction& feed)
{
    for (qsizetype i = 0; i < stream.size(); ++i) {
        feed(QByteArrayView());
        feed(stream.sliced(i, 1));
    }
}

}  // namespace linktest
