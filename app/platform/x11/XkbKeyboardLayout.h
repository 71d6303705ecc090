#pragma once

#include "core/input/KeyboardLayout.h"
#include "core/input/LayoutKeys.h"

#include <QString>
#include <array>
#include <memory>
#include <optional>

typedef struct _XDisplay Display;

namespace platform {

// The keyboard of an X server as XKB describes it: for each group, the
// layout's name (from the rules names setxkbmap and desktops record) and
// each key's name and keysyms. It listens on its connection for changes of
// the keymap, of the layout names and of the active group, and reads the
// keyboard again at the next question. User-interface thread only.
class XkbKeyboardLayout final : public input::KeyboardLayout {
public:
    // On `display`, which it closes when `owned`. Without XKB: nothing, and
    // `error` says why.
    static std::unique_ptr<XkbKeyboardLayout> Open(Display* display, bool owned, QString* error);
    // On a connection of its own to `displayName` (nullptr for $DISPLAY).
    static std::unique_ptr<XkbKeyboardLayout> Open(const char* displayName, QString* error);
    ~XkbKeyboardLayout() override;

    XkbKeyboardLayout(const XkbKeyboardLayout&) = delete;
    XkbKeyboardLayout& operator=(const XkbKeyboardLayout&) = delete;

    const input::LayoutKeys& Keys(int group) override;

private:
    XkbKeyboardLayout(Display* display, bool owned, int eventBase);
    void TakeEvents();
    input::KeyboardMap ReadMap(int group) const;
    QString LayoutName(int group) const;

    Display* display_;
    bool owned_;
    int eventBase_;
    unsigned long rulesNames_;  // the Atom of the layout names
    int activeGroup_ = 0;
    std::array<std::optional<input::LayoutKeys>, 4> groups_;  // read on demand, dropped on a change
};

}  // namespace platform
