// A native Wayland window for the tests: maximized over the whole monitor
// (not fullscreen, so the consent dialog comes above it), painted with the
// pattern through wl_shm, or with the picture in the file named by its
// argument (BGRX rows of the window's size). It prints "shown W H" once the compositor showed
// it, then a line per input event: "motion X Y", "button CODE STATE", "key TEXT".
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
    const char* picture = nullptr;
    bool painted = false, pointer = false, keyboard = false;
    xkb_state* state = nullptr;
};

Client* Of(void* data) { return static_cast<Client*>(data); }

template <typename... Values>
void Say(const char* format, Values... values)
{
    std::printf(format, values...);
    std::fflush(stdout);
}

template <typename T>
T* Bind(wl_registry* registry, uint32_t name, const wl_interface* interface, uint32_t version)
{
    return static_cast<T*>(wl_registry_bind(registry, name, interface, version));
}

const wl_registry_listener kRegistry = {
    [](void* data, wl_registry* r, uint32_t name, const char* interface, uint32_t) {
        Client* c = Of(data);
        if (!std::strcmp(interface, wl_compositor_interface.name))
            c->compositor = Bind<wl_compositor>(r, name, &wl_compositor_interface, 4);
        else if (!std::strcmp(interface, wl_shm_interface.name))
            c->shm = Bind<wl_shm>(r, name, &wl_shm_interface, 1);
        else if (!std::strcmp(interface, xdg_wm_base_interface.name))
            c->wm = Bind<xdg_wm_base>(r, name, &xdg_wm_base_interface, 1);
        else if (!std::strcmp(interface, wl_seat_interface.name))
            c->seat = Bind<wl_seat>(r, name, &wl_seat_interface, 3);  // no pointer frames, no key repeat
    },
    [](void*, wl_registry*, uint32_t) {}};

const xdg_wm_base_listener kWm = {[](void*, xdg_wm_base* wm, uint32_t serial) { xdg_wm_base_pong(wm, serial); }};

// The frame callback of the painted commit comes when it is drawn; the next
// one, once that drawing was shown.
const wl_callback_listener kShown = {[](void* data, wl_callback* callback, uint32_t) {
    wl_callback_destroy(callback);
    Say("shown %d %d\n", Of(data)->width, Of(data)->height);
}};
const wl_callback_listener kDrawn = {[](void* data, wl_callback* callback, uint32_t) {
    wl_callback_destroy(callback);
    wl_callback_add_listener(wl_surface_frame(Of(data)->surface), &kShown, data);
    wl_surface_damage(Of(data)->surface, 0, 0, 1, 1);
    wl_surface_commit(Of(data)->surface);
}};

void Paint(Client* c)
{
    const int stride = c->width * 4, size = stride * c->height;
    const int fd = memfd_create("pattern", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0)
        return;
    auto* pixels = static_cast<uint32_t*>(mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    FILE* picture = c->picture ? std::fopen(c->picture, "rb") : nullptr;
    const bool given = picture && std::fread(pixels, 1, size_t(size), picture) == size_t(size);
    if (picture)
        std::fclose(picture);
    for (int y = 0; y < c->height && !given; ++y)
        for (int x = 0; x < c->width; ++x)
            pixels[y * c->width + x] = PatternPixel(x, y);
    munmap(pixels, size_t(size));
    wl_shm_pool* pool = wl_shm_create_pool(c->shm, fd, size);
    wl_surface_attach(c->surface, wl_shm_pool_create_buffer(pool, 0, c->width, c->height, stride, WL_SHM_FORMAT_XRGB8888), 0, 0);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_surface_damage(c->surface, 0, 0, c->width, c->height);
    wl_callback_add_listener(wl_surface_frame(c->surface), &kDrawn, c);
    wl_surface_commit(c->surface);
}

const xdg_surface_listener kSurface = {[](void* data, xdg_surface* surface, uint32_t serial) {
    xdg_surface_ack_configure(surface, serial);
    if (!Of(data)->painted && Of(data)->width > 0)
        Of(data)->painted = true, Paint(Of(data));
}};

const xdg_toplevel_listener kToplevel = {
    [](void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
        if (width > 0 && height > 0 && !Of(data)->painted)
            Of(data)->width = width, Of(data)->height = height;
    },
    [](void*, xdg_toplevel*) {}, nullptr, nullptr};  // version 1

const wl_pointer_listener kPointer = {
    [](void*, wl_pointer*, uint32_t, wl_surface*, wl_fixed_t, wl_fixed_t) {},
    [](void*, wl_pointer*, uint32_t, wl_surface*) {},
    [](void*, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
        Say("motion %d %d\n", wl_fixed_to_int(x), wl_fixed_to_int(y));
    },
    [](void*, wl_pointer*, uint32_t, uint32_t, uint32_t button, uint32_t state) { Say("button %u %u\n", button, state); },
    [](void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}, nullptr, nullptr, nullptr, nullptr, nullptr};

const wl_keyboard_listener kKeyboard = {
    [](void* data, wl_keyboard*, uint32_t, int fd, uint32_t size) {
        auto* text = static_cast<char*>(mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0));
        close(fd);
        xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        xkb_keymap* keymap = text == MAP_FAILED ? nullptr : xkb_keymap_new_from_string(
            context, text, XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
        Of(data)->state = keymap ? xkb_state_new(keymap) : nullptr;
    },
    [](void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {},
    [](void*, wl_keyboard*, uint32_t, wl_surface*) {},
    [](void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
        char text[16] = {};
        if (Of(data)->state && state == WL_KEYBOARD_KEY_STATE_PRESSED
            && xkb_state_key_get_utf8(Of(data)->state, key + 8, text, sizeof(text)) > 0 && uint8_t(text[0]) >= 32)
            Say("key %s\n", text);
    },
    [](void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group) {
        if (Of(data)->state)
            xkb_state_update_mask(Of(data)->state, depressed, latched, locked, 0, 0, group);
    },
    nullptr};

const wl_seat_listener kSeat = {
    [](void* data, wl_seat* seat, uint32_t caps) {
        Client* c = Of(data);
        if ((caps & WL_SEAT_CAPABILITY_POINTER) && !c->pointer)
            c->pointer = true, wl_pointer_add_listener(wl_seat_get_pointer(seat), &kPointer, c);
        if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !c->keyboard)
            c->keyboard = true, wl_keyboard_add_listener(wl_seat_get_keyboard(seat), &kKeyboard, c);
    },
    [](void*, wl_seat*, const char*) {}};

}  // namespace

int main(int argc, char** argv)
{
    Client c;
    c.picture = argc > 1 ? argv[1] : nullptr;
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return 1;
    wl_registry_add_listener(wl_display_get_registry(display), &kRegistry, &c);
    wl_display_roundtrip(display);
    if (!c.compositor || !c.shm || !c.wm || !c.seat)
        return 1;
    xdg_wm_base_add_listener(c.wm, &kWm, &c);
    wl_seat_add_listener(c.seat, &kSeat, &c);
    c.surface = wl_compositor_create_surface(c.compositor);
    xdg_surface* surface = xdg_wm_base_get_xdg_surface(c.wm, c.surface);
    xdg_surface_add_listener(surface, &kSurface, &c);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(surface);
    xdg_toplevel_add_listener(toplevel, &kToplevel, &c);
    xdg_toplevel_set_maximized(toplevel);
    wl_surface_commit(c.surface);
    while (wl_display_dispatch(display) != -1) {
    }
    return 0;
}
