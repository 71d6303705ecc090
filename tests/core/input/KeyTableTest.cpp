#include "core/input/KeyTable.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

namespace {

using input::VirtualKeyFromQt;

TEST(KeyTableTest, OnlyTheListedCodesAreExtended)
{
    const int extended[] = {33, 34, 35, 36, 37, 38, 39, 40, 45, 46, 91, 92, 93, 111, 144, 163, 165};
    int count = 0;
    for (int vk = -1; vk <= 256; ++vk)
        count += input::IsExtendedKey(vk);
    EXPECT_EQ(count, static_cast<int>(std::size(extended)));
    for (const int vk : extended)
        EXPECT_TRUE(input::IsExtendedKey(vk)) << vk;
}

TEST(KeyTableTest, VirtualKeysPressTheKeysymsOfAUsKeyboard)
{
    const std::pair<int, std::uint32_t> cases[] = {{65, XK_a},         {90, XK_z},    {48, XK_0},
                                                   {16, XK_Shift_L},   {165, XK_Alt_R}, {123, XK_F12},
                                                   {105, XK_KP_9},     {222, XK_apostrophe},
                                                   {0, 0},             {7, 0},        {255, 0}};
    for (const auto& [vk, keysym] : cases)
        EXPECT_EQ(input::KeysymForVirtualKey(vk), keysym) << vk;
}

TEST(KeyTableTest, ToolkitKeysBecomeTheCodesAWindowsMachineExpects)
{
    struct Case {
        int qtKey;
        Qt::KeyboardModifiers modifiers;
        int virtualKey;
    };
    const Case cases[] = {
        {Qt::Key_A, {}, 65}, {Qt::Key_Left, {}, 37}, {Qt::Key_F1, {}, 112}, {Qt::Key_unknown, {}, 0},
        // modifiers travel as the generic codes
        {Qt::Key_Shift, Qt::ShiftModifier, 16}, {Qt::Key_Control, Qt::ControlModifier, 17}, {Qt::Key_AltGr, {}, 18},
        // shifted symbols stay on their key
        {Qt::Key_Exclam, Qt::ShiftModifier, 49}, {Qt::Key_Asterisk, Qt::ShiftModifier, 56},
        {Qt::Key_Colon, Qt::ShiftModifier, 186}, {Qt::Key_Plus, Qt::ShiftModifier, 187},
        {Qt::Key_Backtab, Qt::ShiftModifier, 9},
        // the keypad, told apart from the main block; with Num Lock off it shares the main block's keys
        {Qt::Key_7, Qt::KeypadModifier, 103}, {Qt::Key_Asterisk, Qt::KeypadModifier, 106},
        {Qt::Key_Minus, Qt::KeypadModifier, 109}, {Qt::Key_Minus, {}, 189}, {Qt::Key_Slash, Qt::KeypadModifier, 111},
        {Qt::Key_Home, Qt::KeypadModifier, 36}, {Qt::Key_Enter, Qt::KeypadModifier, 13},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VirtualKeyFromQt(c.qtKey, c.modifiers), c.virtualKey) << std::hex << c.qtKey;
}

}  // namespace
