#include "platform/x11/XkbKeyboardLayout.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <QStringList>
#include <cstring>

namespace platform {
namespace {

constexpr unsigned long kRulesNamesLength = 1024;

// _XKB_RULES_NAMES: rules, model, layouts, variants, options, each ended by a zero byte.
QString RulesField(Display* display, Atom names, int index)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), names, 0, kRulesNamesLength / 4, False, XA_STRING,
                           &type, &format, &count, &after, &data) != Success || !data)
        return {};
    QString field;
    unsigned long start = 0;
    for (int i = 0; start < count && i <= index; ++i) {
        const auto* text = reinterpret_cast<const char*>(data) + start;
        const std::size_t length = strnlen(text, count - start);
        if (i == index)
            field = QString::fromLatin1(text, static_cast<qsizetype>(length));
        start += length + 1;
    }
    XFree(data);
    return field;
}

}  // namespace

std::unique_ptr<XkbKeyboardLayout> XkbKeyboardLayout::Open(Display* display, bool owned, QString* error)
{
    int opcode = 0, eventBase = 0, errorBase = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (!display || !XkbQueryExtension(display, &opcode, &eventBase, &errorBase, &major, &minor)) {
        if (error)
            *error = QStringLiteral("o servidor X nao oferece a extensao XKEYBOARD");
        if (display && owned)
            XCloseDisplay(display);
        return nullptr;
    }
    return std::unique_ptr<XkbKeyboardLayout>(new XkbKeyboardLayout(display, owned, eventBase));
}

std::unique_ptr<XkbKeyboardLayout> XkbKeyboardLayout::Open(const char* displayName, QString* error)
{
    Display* display = XOpenDisplay(displayName);
    if (!display && error)
        *error = QStringLiteral("nao foi possivel abrir o display X ") + QString::fromLocal8Bit(XDisplayName(displayName));
    return display ? Open(display, true, error) : nullptr;
}

XkbKeyboardLayout::XkbKeyboardLayout(Display* display, bool owned, int eventBase)
    : display_(display), owned_(owned), eventBase_(eventBase),
      rulesNames_(XInternAtom(display, "_XKB_RULES_NAMES", False))
{
    constexpr unsigned long kChanges = XkbNewKeyboardNotifyMask | XkbMapNotifyMask | XkbNamesNotifyMask;
    XkbSelectEvents(display_, XkbUseCoreKbd, kChanges, kChanges);
    XkbSelectEventDetails(display_, XkbUseCoreKbd, XkbStateNotify, XkbGroupStateMask, XkbGroupStateMask);
    // setxkbmap and the desktops write the layout names after the keymap.
    XSelectInput(display_, DefaultRootWindow(display_), PropertyChangeMask);
    XkbStateRec state{};
    if (XkbGetState(display_, XkbUseCoreKbd, &state) == Success)
        activeGroup_ = state.group;
}

XkbKeyboardLayout::~XkbKeyboardLayout()
{
    if (owned_)
        XCloseDisplay(display_);
}

void XkbKeyboardLayout::TakeEvents()
{
    while (XPending(display_)) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type != eventBase_) {
            if (event.type == PropertyNotify && event.xproperty.atom == rulesNames_)
                groups_ = {};
            continue;
        }
        const auto& xkb = reinterpret_cast<const XkbEvent&>(event);
        if (xkb.any.xkb_type == XkbStateNotify)
            activeGroup_ = xkb.state.group;
        else
            groups_ = {};
    }
}

const input::LayoutKeys& XkbKeyboardLayout::Keys(int group)
{
    TakeEvents();
    const auto index = static_cast<std::size_t>(group < 0 ? activeGroup_ : group) % groups_.size();
    if (!groups_[index])
        groups_[index].emplace(ReadMap(static_cast<int>(index)));
    return *groups_[index];
}

QString XkbKeyboardLayout::LayoutName(int group) const
{
    const QStringList layouts = RulesField(display_, rulesNames_, 2).split(u',');
    return group < layouts.size() ? layouts[group].trimmed() : QString();
}

input::KeyboardMap XkbKeyboardLayout::ReadMap(int group) const
{
    input::KeyboardMap map;
    map.layout = LayoutName(group);
    map.numLockMask = XkbKeysymToModifiers(display_, XK_Num_Lock);
    XkbDescPtr xkb = XkbGetMap(display_, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (!xkb)
        return map;
    if (XkbGetNames(display_, XkbKeyNamesMask, xkb) == Success && xkb->names && xkb->names->keys) {
        for (int keycode = xkb->min_key_code; keycode <= xkb->max_key_code && keycode < 256; ++keycode) {
            const int groups = XkbKeyNumGroups(xkb, keycode);
            if (groups == 0)
                continue;
            const int g = group % groups;  // XKB's default for a group the key lacks: wrap
            input::KeyboardKey& key = map.keys[keycode];
            std::memcpy(key.name.data(), xkb->names->keys[keycode].name, key.name.size());
            key.level1 = static_cast<std::uint32_t>(XkbKeySymEntry(xkb, keycode, 0, g));
            if (XkbKeyGroupWidth(xkb, keycode, g) >= 3)
                key.level3 = static_cast<std::uint32_t>(XkbKeySymEntry(xkb, keycode, 2, g));
        }
    }
    XkbFreeKeyboard(xkb, 0, True);
    return map;
}

}  // namespace platform
