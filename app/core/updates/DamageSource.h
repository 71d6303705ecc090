#pragma once

#include <QRect>
#include <vector>

namespace updates {

// Seam: hints from the windowing system about where the screen changed
// since the last call (X11's damage events behind the platform seam), so
// change detection compares only there. Hints may be too large, never too
// small. User-interface thread only.
class DamageSource {
public:
    virtual ~DamageSource() = default;

    // The areas changed since the last call, in screen pixels; false when
    // the source cannot tell (not started, events lost), and the whole
    // screen is then compared.
    virtual bool TakeDamage(std::vector<QRect>* areas) = 0;
};

}  // namespace updates
