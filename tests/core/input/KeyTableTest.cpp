#include "core/input/KeyTable.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

namespace {

using input::IsExtendedKey;
using input::KeysymForVirtualKey;
using input::VirtualKeyFromQt;

TEST(KeyTableTest, OnlyTheListedCodesAreExtended)
{
    const int extended[] = {33, 34, 35, 36, 37, 38, 39, 40, 45, 46, 91, 92, 93, 111, 144, 163, 165};
    int count = 0;
    for (int vk = -1; vk <= 256; ++vk)
        count += IsExtendedKey(vk);
    EXPECT_EQ(count, static_cast<int>(std::size(extended)));
    for (const int vk : extended)
        EXPECT_TRUE(IsExtendedKey(vk)) << vk;
}

TEST(KeyTableTest, VirtualKeysPressTheKeysymsOfAUsKeyboard)
{
    EXPECT_EQ(KeysymForVirtualKey(65), static_cast<std::uint32_t>(XK_a));
    EXPECT_EQ(KeysymForVirtualKey(90), static_cast<std::uint32_t>(XK_z));
    EXPECT_EQ(KeysymForVirtualKey(48), static_cast<std::uint32_t>(XK_0));
    EXPECT_EQ(KeysymForVirtualKey(13), static_cast<std::uint32_t>(XK_Return));
    EXPECT_EQ(KeysymForVirtualKey(16), static_cast<std::uint32_t>(XK_Shift_L));
    EXPECT_EQ(KeysymForVirtualKey(165), static_cast<std::uint32_t>(XK_Alt_R));
    EXPECT_EQ(KeysymForVirtualKey(123), static_cast<std::uint32_t>(XK_F12));
    EXPECT_EQ(KeysymForVirtualKey(105), static_cast<std::uint32_t>(XK_KP_9));
    EXPECT_EQ(KeysymForVirtualKey(222), static_cast<std::uint32_t>(XK_apostrophe));
    EXPECT_EQ(KeysymForVirtualKey(0), 0u);
    EXPECT_EQ(KeysymForVirtualKey(7), 0u);
    EXPECT_EQ(KeysymForVirtualKey(255), 0u);
}

TEST(KeyTableTest, ToolkitKeysBecomeTheCodesAWindowsMachineExpects)
{
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_A, {}), 65);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Left, {}), 37);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Return, {}), 13);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_F1, {}), 112);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Escape, {}), 27);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_unknown, {}), 0);
    EXPECT_EQ(VirtualKeyFromQt(0, {}), 0);
}

TEST(KeyTableTest, ModifiersTravelAsTheGenericCodes)
{
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Shift, Qt::ShiftModifier), 16);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Control, Qt::ControlModifier), 17);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Alt, Qt::AltModifier), 18);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_AltGr, {}), 18);
}

TEST(KeyTableTest, ShiftedSymbolsStayOnTheirKey)
{
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Exclam, Qt::ShiftModifier), 49);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Asterisk, Qt::ShiftModifier), 56);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Colon, Qt::ShiftModifier), 186);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Plus, Qt::ShiftModifier), 187);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Question, Qt::ShiftModifier), 191);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_BraceRight, Qt::ShiftModifier), 221);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Backtab, Qt::ShiftModifier), 9);
}

TEST(KeyTableTest, TheKeypadIsToldApartFromTheMainBlock)
{
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_7, Qt::KeypadModifier), 103);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_7, {}), 55);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Asterisk, Qt::KeypadModifier), 106);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Plus, Qt::KeypadModifier), 107);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Minus, Qt::KeypadModifier), 109);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Minus, {}), 189);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Slash, Qt::KeypadModifier), 111);
    // Num Lock off, and the keypad's Enter
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Home, Qt::KeypadModifier), 36);
    EXPECT_EQ(VirtualKeyFromQt(Qt::Key_Enter, Qt::KeypadModifier), 13);
}

}  // namespace
