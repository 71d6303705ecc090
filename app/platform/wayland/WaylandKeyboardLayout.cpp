#include "platform/wayland/WaylandKeyboardLayout.h"

#include <QRegularExpression>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace platform {
namespace {

constexpr unsigned kMaxKeymapBytes = 1 << 20;

WaylandKeyboardLayout* Of(void* data) { return static_cast<WaylandKeyboardLayout*>(data); }

void Global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    if (!std::strcmp(interface, wl_seat_interface.name)) {
        auto* seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        static const wl_seat_listener kSeat = {
            [](void* d, wl_seat* s, uint32_t capabilities) { Of(d)->SeatCapabilities(s, capabilities); }, nullptr};
        wl_seat_add_listener(seat, &kSeat, data);
    }
}

const wl_registry_listener kRegistry = {Global, [](void*, wl_registry*, uint32_t) {}};

// Version 1: keymap, enter, leave, key, modifiers.
const wl_keyboard_listener kKeyboard = {
    [](void* d, wl_keyboard*, uint32_t format, int fd, uint32_t size) {
        if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1)
            Of(d)->Keymap(fd, size);
        else
            close(fd);
    },
    [](void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {},
    [](void*, wl_keyboard*, uint32_t, wl_surface*) {},
    [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t) {},
    [](void* d, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t group) { Of(d)->Group(group); },
    nullptr};

// The layouts of a keymap's symbols ("pc+us+br:2+inet(evdev)"): the first
// after the model's, then each marked with its group.
QStringList LayoutNames(const char* keymapText)
{
    static const QRegularExpression symbols(QStringLiteral("xkb_symbols\\s+\"([^\"]*)\""));
    const auto match = symbols.match(QString::fromUtf8(keymapText, qsizetype(strnlen(keymapText, kMaxKeymapBytes))));
    const QStringList parts = match.captured(1).split(u'+');
    QStringList layouts;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString name = parts[i].section(u'(', 0, 0).section(u':', 0, 0);
        const int group = parts[i].contains(u':') ? parts[i].section(u':', 1).toInt() : (i == 1 ? 1 : 0);
        if (group >= 1 && group <= 4) {
            while (layouts.size() < group)
                layouts.append(QString());
            layouts[group - 1] = name;
        }
    }
    return layouts;
}

}  // namespace

std::unique_ptr<WaylandKeyboardLayout> WaylandKeyboardLayout::Open(QString* error)
{
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        *error = QStringLiteral("cannot connect to the Wayland display");
        return nullptr;
    }
    std::unique_ptr<WaylandKeyboardLayout> layout(new WaylandKeyboardLayout(display));
    layout->registry_ = wl_display_get_registry(display);
    wl_registry_add_listener(layout->registry_, &kRegistry, layout.get());
    // Globals, then the seat's capabilities, then the keymap; a seat without
    // a keyboard yet (a headless desktop) sends it when one comes.
    for (int i = 0; i < 3 && !layout->keymap_; ++i)
        if (wl_display_roundtrip(display) < 0) {
            *error = QStringLiteral("the Wayland compositor closed the connection");
            return nullptr;
        }
    wl_display_flush(display);
    layout->notifier_ = std::make_unique<QSocketNotifier>(wl_display_get_fd(display), QSocketNotifier::Read);
    QObject::connect(layout->notifier_.get(), &QSocketNotifier::activated, [l = layout.get()] { l->Dispatch(); });
    return layout;
}

WaylandKeyboardLayout::WaylandKeyboardLayout(wl_display* display)
    : display_(display), context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS))
{
}

WaylandKeyboardLayout::~WaylandKeyboardLayout()
{
    notifier_.reset();
    if (keyboard_)
        wl_keyboard_destroy(keyboard_);
    if (seat_)
        wl_seat_destroy(seat_);
    if (registry_)
        wl_registry_destroy(registry_);
    xkb_keymap_unref(keymap_);
    xkb_context_unref(context_);
    wl_display_disconnect(display_);
}

void WaylandKeyboardLayout::Dispatch()
{
    // A handler may have asked for the keyboard: that request goes out too.
    if (wl_display_dispatch(display_) < 0 || wl_display_flush(display_) < 0)
        notifier_->setEnabled(false);  // the compositor is gone; the last keymap stays
}

void WaylandKeyboardLayout::SeatCapabilities(wl_seat* seat, unsigned capabilities)
{
    if (seat_ && seat != seat_) {
        wl_seat_destroy(seat);  // the first seat is the one the desktop's input goes to
        return;
    }
    seat_ = seat;
    if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && !keyboard_) {
        keyboard_ = wl_seat_get_keyboard(seat_);
        wl_keyboard_add_listener(keyboard_, &kKeyboard, this);
    }
}

void WaylandKeyboardLayout::Keymap(int fd, unsigned size)
{
    void* text = size > 0 && size <= kMaxKeymapBytes ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0) : MAP_FAILED;
    close(fd);
    if (text == MAP_FAILED)
        return;
    // The text ends with a zero byte; a keymap without it is refused whole.
    xkb_keymap* keymap = static_cast<const char*>(text)[size - 1] == 0
                             ? xkb_keymap_new_from_string(context_, static_cast<const char*>(text),
                                                          XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS)
                             : nullptr;
    if (keymap) {
        layouts_ = LayoutNames(static_cast<const char*>(text));
        xkb_keymap_unref(keymap_);
        keymap_ = keymap;
        groups_ = {};
    }
    munmap(text, size);
}

const input::LayoutKeys& WaylandKeyboardLayout::Keys(int group)
{
    const auto index = static_cast<std::size_t>(group < 0 ? activeGroup_ : group) % groups_.size();
    if (!groups_[index])
        groups_[index].emplace(ReadMap(static_cast<int>(index)));
    return *groups_[index];
}

input::KeyboardMap WaylandKeyboardLayout::ReadMap(int group) const
{
    input::KeyboardMap map;
    if (!keymap_)
        return map;
    map.layout = group < layouts_.size() ? layouts_[group] : QString();
    const xkb_mod_index_t numLock = xkb_keymap_mod_get_index(keymap_, XKB_MOD_NAME_NUM);
    map.numLockMask = numLock == XKB_MOD_INVALID ? 0 : 1u << numLock;
    const xkb_keycode_t last = std::min<xkb_keycode_t>(xkb_keymap_max_keycode(keymap_), 255);
    for (xkb_keycode_t keycode = xkb_keymap_min_keycode(keymap_); keycode <= last; ++keycode) {
        const xkb_layout_index_t groups = xkb_keymap_num_layouts_for_key(keymap_, keycode);
        const char* name = xkb_keymap_key_get_name(keymap_, keycode);
        if (groups == 0 || !name)
            continue;
        const xkb_layout_index_t g = xkb_layout_index_t(group) % groups;  // XKB's default: wrap
        input::KeyboardKey& key = map.keys[keycode];
        std::strncpy(key.name.data(), name, key.name.size());
        const xkb_keysym_t* syms = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap_, keycode, g, 0, &syms) > 0)
            key.level1 = syms[0];
        if (xkb_keymap_num_levels_for_key(keymap_, keycode, g) >= 3
            && xkb_keymap_key_get_syms_by_level(keymap_, keycode, g, 2, &syms) > 0)
            key.level3 = syms[0];
    }
    return map;
}

}  // namespace platform
