#pragma once

#include <QByteArrayView>
#include <vector>

namespace linktest {

// The ways one byte stream may arrive: whole, in two pieces cut at every
// point, and one byte at a time with an empty read before each byte. A parser
// test compares what each finds against the stream fed whole.
inline std::vector<std::vector<QByteArrayView>> Cuttings(QByteArrayView stream)
{
    std::vector<std::vector<QByteArrayView>> cuttings{{stream}};
    for (qsizetype cut = 0; cut <= stream.size(); ++cut)
        cuttings.push_back({stream.first(cut), stream.sliced(cut)});
    std::vector<QByteArrayView>& bytes = cuttings.emplace_back();
    for (qsizetype i = 0; i < stream.size(); ++i)
        bytes.insert(bytes.end(), {QByteArrayView(), stream.sliced(i, 1)});
    return cuttings;
}

}  // namespace linktest
