#pragma once

#include <QtGlobal>

namespace updates {

// The most updates a second each update-speed level allows, levels 1 to 5
// in order (the same levels as the frame timer's); the fastest keeps up
// with a screen changing 30 times a second with room to spare.
inline constexpr int kUpdatesPerSecond[] = {5, 10, 20, 30, 50};
// An update not acknowledged after this long is written off, as a frame
// whose send never completes.
inline constexpr qint64 kStalledUpdateMs = 5000;

int MinUpdateIntervalMs(int nivelAtualizacao);

// Paces updates by the link: the next one goes out as soon as the viewer
// acknowledged the previous one, but not sooner than the update-speed
// level's interval after it; one update in flight at most, so nothing ever
// queues behind one. Times are readings of a monotonic clock in
// milliseconds. User-interface thread only.
class UpdatePacer {
public:
    enum class Step { Send, WaitAck, WaitRate };
    struct Decision {
        Step step = Step::Send;
        qint64 waitMs = 0;     // for WaitAck, until the write-off; for WaitRate, until Send
        bool stalled = false;  // an update was written off just now
    };

    // What to do now. An update in flight for longer than kStalledUpdateMs
    // is written off here, and the answer is Send with `stalled` set.
    Decision Next(qint64 nowMs, int nivelAtualizacao);
    // The number the next update sent will carry.
    quint32 NextSequence() const { return lastSequence_ + 1; }
    // An update was handed to the link; answers its sequence number.
    quint32 Sent(qint64 nowMs);
    // The viewer drew `sequence`: seconds from its hand-over, for the
    // adaptive sharpness; 0 for an acknowledgement of nothing in flight
    // (late after a write-off, or made up), which changes nothing.
    float Acknowledged(quint32 sequence, qint64 nowMs);
    // A new link: nothing in flight, the next update at once.
    void Reset() { *this = UpdatePacer(); }

private:
    quint32 lastSequence_ = 0;
    bool inFlight_ = false;
    bool sentOnce_ = false;
    qint64 sentAtMs_ = 0;
};

}  // namespace updates
