// A native Wayland window for the tests: over the whole monitor, painted with the
// pattern through wl_shm, it prints "shown W H" once the compositor drew it,
// then one line per input event it receives ("motion X Y", "button CODE
// STATE", "key TEXT") on standard output.
#include "Pattern.h"
#include "xdg-shell-client-protocol.h"

#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace {

struct Client {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* wm = nullptr;
    wl_seat* seat = nullptr;
    wl_surface* surface = nullptr;
    int width = 0, height = 0;
    bool painted = false;
    xkb_context* xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    xkb_keymap* keymap = nullptr;
    xkb_state* state = nullptr;
};

void Say(const char* format, auto... values)
{
    std::printf(format, values...);
    std::fflush(stdout);
}

void Global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    auto* c = static_cast<Client*>(data);
    if (!std::strcmp(interface, wl_compositor_interface.name))
        c->compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
    else if (!std::strcmp(interface, wl_shm_interface.name))
        c->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    else if (!std::strcmp(interface, xdg_wm_base_interface.name))
        c->wm = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
    else if (!std::strcmp(interface, wl_seat_interface.name))
        c->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 3));
}
void GlobalGone(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistry = {Global, GlobalGone};

void Ping(void*, xdg_wm_base* wm, uint32_t serial) { xdg_wm_base_pong(wm, serial); }
const xdg_wm_base_listener kWm = {Ping};

void Drawn(void*, wl_callback* callback, uint32_t)
{
    wl_callback_destroy(callback);
}
void Presented(void* data, wl_callback* callback, uint32_t)
{
    auto* c = static_cast<Client*>(data);
    wl_callback_destroy(callback);
    Say("shown %d %d\n", c->width, c->height);
}
const wl_callback_listener kPresented = {Presented};

void Paint(Client* c)
{
    const int stride = c->width * 4, size = stride * c->height;
    const int fd = memfd_create("pattern", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0)
        return;
    auto* pixels = static_cast<uint32_t*>(mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    for (int y = 0; y < c->height; ++y)
        for (int x = 0; x < c->width; ++x)
            pixels[y * c->width + x] = PatternPixel(x, y);
    munmap(pixels, size_t(size));
    wl_shm_pool* pool = wl_shm_create_pool(c->shm, fd, size);
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, c->width, c->height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_surface_attach(c->surface, buffer, 0, 0);
    wl_surface_damage(c->surface, 0, 0, c->width, c->height);
    // The second frame callback comes once the first painted frame was shown.
    wl_callback* frame = wl_surface_frame(c->surface);
    static const wl_callback_listener kNext = {[](void* data, wl_callback* cb, uint32_t) {
        Drawn(data, cb, 0);
        auto* client = static_cast<Client*>(data);
        wl_callback_add_listener(wl_surface_frame(client->surface), &kPresented, client);
        wl_surface_damage(client->surface, 0, 0, 1, 1);
        wl_surface_commit(client->surface);
    }};
    wl_callback_add_listener(frame, &kNext, c);
    wl_surface_commit(c->surface);
}

void SurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial)
{
    auto* c = static_cast<Client*>(data);
    xdg_surface_ack_configure(surface, serial);
    if (!c->painted && c->width > 0 && c->height > 0) {
        c->painted = true;
        Paint(c);
    }
}
const xdg_surface_listener kSurface = {SurfaceConfigure};

void ToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*)
{
    auto* c = static_cast<Client*>(data);
    if (width > 0 && height > 0 && !c->painted) {
        c->width = width;
        c->height = height;
    }
}
void ToplevelClose(void*, xdg_toplevel*) {}
const xdg_toplevel_listener kToplevel = {ToplevelConfigure, ToplevelClose, nullptr, nullptr};  // version 1

void Enter(void*, wl_pointer*, uint32_t, wl_surface*, wl_fixed_t, wl_fixed_t) {}
void Leave(void*, wl_pointer*, uint32_t, wl_surface*) {}
void Motion(void*, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y)
{
    Say("motion %d %d\n", wl_fixed_to_int(x), wl_fixed_to_int(y));
}
void Button(void*, wl_pointer*, uint32_t, uint32_t, uint32_t button, uint32_t state)
{
    Say("button %u %u\n", button, state);
}
void Axis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}
// Seat version 3: no pointer frames or axis details, no key repeat info.
const wl_pointer_listener kPointer = {Enter, Leave, Motion, Button, Axis, nullptr, nullptr, nullptr, nullptr, nullptr};

void Keymap(void* data, wl_keyboard*, uint32_t, int fd, uint32_t size)
{
    auto* c = static_cast<Client*>(data);
    auto* text = static_cast<char*>(mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0));
    close(fd);
    if (text == MAP_FAILED)
        return;
    c->keymap = xkb_keymap_new_from_string(c->xkb, text, XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    munmap(text, size);
    c->state = c->keymap ? xkb_state_new(c->keymap) : nullptr;
}
void KeyEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
void KeyLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
void Key(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state)
{
    auto* c = static_cast<Client*>(data);
    char text[16] = {};
    if (c->state && state == WL_KEYBOARD_KEY_STATE_PRESSED
        && xkb_state_key_get_utf8(c->state, key + 8, text, sizeof(text)) > 0 && static_cast<unsigned char>(text[0]) >= 32)
        Say("key %s\n", text);
}
void Modifiers(void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group)
{
    auto* c = static_cast<Client*>(data);
    if (c->state)
        xkb_state_update_mask(c->state, depressed, latched, locked, 0, 0, group);
}
void Repeat(void*, wl_keyboard*, int32_t, int32_t) {}
const wl_keyboard_listener kKeyboard = {Keymap, KeyEnter, KeyLeave, Key, Modifiers, Repeat};

void Capabilities(void* data, wl_seat* seat, uint32_t caps)
{
    static bool pointer = false, keyboard = false;
    if ((caps & WL_SEAT_CAPABILITY_POINTER) && !pointer) {
        pointer = true;
        wl_pointer_add_listener(wl_seat_get_pointer(seat), &kPointer, data);
    }
    if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !keyboard) {
        keyboard = true;
        wl_keyboard_add_listener(wl_seat_get_keyboard(seat), &kKeyboard, data);
    }
}
void SeatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeat = {Capabilities, SeatName};

}  // namespace

int main()
{
    Client c;
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &kRegistry, &c);
    wl_display_roundtrip(display);
    if (!c.compositor || !c.shm || !c.wm) {
        std::fprintf(stderr, "the compositor lacks wl_shm or xdg_wm_base\n");
        return 1;
    }
    xdg_wm_base_add_listener(c.wm, &kWm, &c);
    if (c.seat)
        wl_seat_add_listener(c.seat, &kSeat, &c);
    c.surface = wl_compositor_create_surface(c.compositor);
    xdg_surface* surface = xdg_wm_base_get_xdg_surface(c.wm, c.surface);
    xdg_surface_add_listener(surface, &kSurface, &c);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(surface);
    xdg_toplevel_add_listener(toplevel, &kToplevel, &c);
    // Maximized, not fullscreen: the consent dialog must come above it.
    xdg_toplevel_set_maximized(toplevel);
    wl_surface_commit(c.surface);
    while (wl_display_dispatch(display) != -1) {
    }
    return 0;
}
