#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <functional>

// Replays one byte stream in a given cutting, so a parser test can compare
// what the parser found against the stream fed whole.
namespace linktest {

using FeedFunction = std::function<void(QByteArrayView)>;

// The stream in two pieces, the first `cut` bytes long.
void FeedCutAt(const QByteArray& stream, qsizetype cut, const FeedFunction& feed);

// The stream one byte at a time, with an empty read before each byte.
void FeedByteByByte(const QByteArray& stream, const FeedFunction& feed);

}  // namespace linktest
