#pragma once

#include "core/updates/DamageSource.h"

#include <QString>
#include <memory>

namespace platform {

// Where the X screen changed, from the Damage extension on the root window,
// on a connection of its own. Areas are in root-window pixels, whose top-left
// is 0,0 as in the frames change detection compares (the virtual screen's
// own origin aside). The server gathers the damage into one region and tells
// only when it turns non-empty; each call takes that region whole, so however
// much is drawn between calls, one event and one region answer it.
// User-interface thread only.
class DamageSourceX11 final : public updates::DamageSource {
public:
    // More rectangles than this are answered as their bounding box.
    static constexpr int kMaxAreas = 256;

    // nullptr for $DISPLAY. Without a display or the Damage extension:
    // nothing, and `error` says why.
    static std::unique_ptr<DamageSourceX11> Open(const char* displayName, QString* error);
    ~DamageSourceX11() override;
    DamageSourceX11(const DamageSourceX11&) = delete;
    DamageSourceX11& operator=(const DamageSourceX11&) = delete;

    // Reads only what already arrived, never waits for the server unless
    // there is damage to take. False on the first call (everything is new),
    // after the root changed size and after an X error (logged).
    bool TakeDamage(std::vector<QRect>* areas) override;

    // Readable when news of damage arrives, for a socket notifier that calls
    // TakeDamage. News read with a reply inside TakeDamage waits for the next
    // call without making it readable: the notifier cannot be the only caller.
    int ConnectionFd() const;

private:
    struct Impl;
    explicit DamageSourceX11(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
