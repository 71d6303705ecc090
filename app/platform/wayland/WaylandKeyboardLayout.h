#pragma once

#include "core/input/KeyboardLayout.h"
#include "core/input/LayoutKeys.h"

#include <QSocketNotifier>
#include <QString>
#include <array>
#include <memory>
#include <optional>

struct wl_display;
struct wl_keyboard;
struct wl_registry;
struct wl_seat;
struct xkb_context;
struct xkb_keymap;

namespace platform {

// The keyboard of a Wayland compositor as its seat describes it to clients:
// the XKB keymap it sends (keycodes as X numbers them, evdev plus 8) and the
// layout names of its symbols. A new keymap or group is read as it comes,
// through a notifier on the connection. User-interface thread only.
class WaylandKeyboardLayout final : public input::KeyboardLayout {
public:
    // On $WAYLAND_DISPLAY. Without a compositor: nothing, and `error` says why.
    static std::unique_ptr<WaylandKeyboardLayout> Open(QString* error);
    ~WaylandKeyboardLayout() override;
    WaylandKeyboardLayout(const WaylandKeyboardLayout&) = delete;
    WaylandKeyboardLayout& operator=(const WaylandKeyboardLayout&) = delete;

    // No keys until the compositor sent its keymap.
    const input::LayoutKeys& Keys(int group) override;
    bool HasKeymap() const { return keymap_ != nullptr; }

    // Protocol events, called by the listeners.
    void SeatCapabilities(wl_seat* seat, unsigned capabilities);
    void Keymap(int fd, unsigned size);
    void Group(unsigned group) { activeGroup_ = int(group); }

private:
    explicit WaylandKeyboardLayout(wl_display* display);
    void Dispatch();
    input::KeyboardMap ReadMap(int group) const;

    wl_display* display_;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    wl_keyboard* keyboard_ = nullptr;
    xkb_context* context_;
    xkb_keymap* keymap_ = nullptr;
    QStringList layouts_;  // of the keymap's symbols, by group
    int activeGroup_ = 0;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::array<std::optional<input::LayoutKeys>, 4> groups_;  // read on demand, dropped on a new keymap
};

}  // namespace platform
