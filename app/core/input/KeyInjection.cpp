#include "core/input/KeyInjection.h"

#include "core/input/LayoutKeys.h"

namespace input {
namespace {

constexpr std::array<int, 3> kCtrl = {17, 162, 163};
constexpr std::array<int, 3> kAlt = {18, 164, 165};

bool IsCtrlOrAlt(int vk) { return vk == 17 || vk == 18 || (vk >= 162 && vk <= 165); }

}  // namespace

bool KeyInjection::Key(int virtualKey, bool down)
{
    if (virtualKey <= 0 || virtualKey > 255)
        return false;
    if (down)
        return Press(virtualKey);
    Release(virtualKey);
    return true;
}

bool KeyInjection::Press(int vk)
{
    const LayoutKeys& keys = layout_.Keys(-1);
    // A repeat presses what the first press pressed, whatever changed since.
    const int keycode = pressedFor_[vk] ? pressedFor_[vk] : keys.KeycodeFor(vk);
    if (keycode == 0)
        return false;
    pressedFor_[vk] = static_cast<std::uint8_t>(keycode);
    if (IsCtrlOrAlt(vk)) {
        if (level3_ == 0)
            Set(keycode, true);
        return true;
    }
    if (vk != 16 && vk != 160 && vk != 161)
        ChooseLevel3(keys, keycode);
    if (keys.NeedsNumLock(vk))
        output_.LockModifiers(keys.NumLockMask());  // keypad codes type digits, as on Windows
    Set(keycode, true);
    return true;
}

void KeyInjection::Release(int vk)
{
    const int keycode = pressedFor_[vk];
    if (keycode == 0)
        return;
    pressedFor_[vk] = 0;
    // Ctrl and Alt are pressed again only for the next key that needs them,
    // so that letting go of AltGr never leaves a lone Alt press behind.
    if (IsCtrlOrAlt(vk) && level3_ && !(Held(kCtrl) && Held(kAlt))) {
        Set(level3_, false);
        level3_ = 0;
    }
    Set(keycode, false);
}

void KeyInjection::ChooseLevel3(const LayoutKeys& keys, int keycode)
{
    const bool level3 = Held(kCtrl) && Held(kAlt) && keys.Level3Keycode() && keys.HasThirdLevel(keycode);
    if (level3 && !level3_) {
        SetCtrlAndAlt(false);
        level3_ = keys.Level3Keycode();
        Set(level3_, true);
    } else if (!level3) {
        if (level3_)
            Set(level3_, false);
        level3_ = 0;
        SetCtrlAndAlt(true);
    }
}

void KeyInjection::SetCtrlAndAlt(bool down)
{
    for (const auto& group : {kCtrl, kAlt})
        for (const int vk : group)
            if (pressedFor_[vk] && down_.test(pressedFor_[vk]) != down)
                Set(pressedFor_[vk], down);
}

bool KeyInjection::Held(const std::array<int, 3>& virtualKeys) const
{
    for (const int vk : virtualKeys)
        if (pressedFor_[vk])
            return true;
    return false;
}

void KeyInjection::Set(int keycode, bool down)
{
    if (!down && !down_.test(keycode))
        return;
    down_.set(keycode, down);
    output_.Keycode(keycode, down);
}

}  // namespace input
