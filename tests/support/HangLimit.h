#pragma once

namespace testing_support {

// How long an awaited event (a handshake, a frame, a program's start, an
// answer) may take on a busy machine before a test calls it a hang. Waits
// end as soon as the event happens, so only a hang pays this.
constexpr int kHangMs = 120000;

}  // namespace testing_support
