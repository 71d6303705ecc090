#include "StreamChunking.h"

namespace linktest {

void FeedCutAt(const QByteArray& stream, qsizetype cut, const FeedFunction& feed)
{
    const QByteArrayView all(stream);
    feed(all.first(cut));
    feed(all.sliced(cut));
}

void FeedByteByByte(const QByteArray& stream, const FeedFunction& feed)
{
    const QByteArrayView all(stream);
    for (qsizetype i = 0; i < all.size(); ++i) {
        feed(QByteArrayView());
        feed(all.sliced(i, 1));
    }
}

}  // namespace linktest
