#pragma once

#include <QByteArrayView>
#include <cstddef>
#include <cstdint>
#include <functional>

// Feeds the fuzzer's bytes to a parser in chunks whose sizes the first byte
// chooses, so the same message is also seen cut at odd places.
inline void FeedInChunks(const uint8_t* data, size_t size, const std::function<void(QByteArrayView)>& feed)
{
    if (size == 0)
        return;
    const size_t chunk = 1 + data[0] % 61;
    for (size_t at = 1; at < size; at += chunk)
        feed(QByteArrayView(reinterpret_cast<const char*>(data) + at, static_cast<qsizetype>(std::min(chunk, size - at))));
}
