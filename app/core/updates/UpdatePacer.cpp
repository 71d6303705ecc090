#include "core/updates/UpdatePacer.h"

#include <algorithm>
#include <iterator>

namespace updates {

int MinUpdateIntervalMs(int nivelAtualizacao)
{
    const int levels = static_cast<int>(std::size(kUpdatesPerSecond));
    const int level = std::clamp(nivelAtualizacao, 1, levels);
    return 1000 / kUpdatesPerSecond[level - 1];
}

UpdatePacer::Decision UpdatePacer::Next(qint64 nowMs, int nivelAtualizacao)
{
    const qint64 elapsed = nowMs - sentAtMs_;
    if (inFlight_) {
        if (elapsed <= kStalledUpdateMs)
            return {Step::WaitAck, kStalledUpdateMs - elapsed + 1, false};
        inFlight_ = false;
        return {Step::Send, 0, true};
    }
    const qint64 interval = MinUpdateIntervalMs(nivelAtualizacao);
    if (sentOnce_ && elapsed < interval)
        return {Step::WaitRate, interval - elapsed, false};
    return {};
}

quint32 UpdatePacer::Sent(qint64 nowMs)
{
    inFlight_ = true;
    sentOnce_ = true;
    sentAtMs_ = nowMs;
    return ++lastSequence_;
}

float UpdatePacer::Acknowledged(quint32 sequence, qint64 nowMs)
{
    if (!inFlight_ || sequence != lastSequence_)
        return 0.0f;
    inFlight_ = false;
    // Never 0, which would read as "nothing acknowledged".
    return std::max(0.001f, static_cast<float>(nowMs - sentAtMs_) / 1000.0f);
}

}  // namespace updates
