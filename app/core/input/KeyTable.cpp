#include "core/input/KeyTable.h"

#include <X11/keysym.h>
#include <algorithm>
#include <iterator>

namespace input {
namespace {

struct KeyRow {
    int virtualKey;
    int qtKey;             // Qt::Key the toolkit reports, 0 when it never does
    int qtOtherKey;        // another Qt::Key of the same key (its shifted symbol on a US layout), or 0
    bool keypad;           // reported with Qt::KeypadModifier
    std::uint32_t keysym;  // pressed on the supported side
    bool extended;         // synthesized with the extended-key flag
};

// Ordered by virtual key, which the lookup by virtual key relies on.
// Left and right modifiers (160-165) only ever arrive from other senders;
// this one sends the generic 16, 17, 18.
constexpr KeyRow kKeys[] = {
    {8, Qt::Key_Backspace, 0, false, XK_BackSpace, false},
    {9, Qt::Key_Tab, Qt::Key_Backtab, false, XK_Tab, false},
    {12, Qt::Key_Clear, 0, false, XK_Clear, false},
    {13, Qt::Key_Return, Qt::Key_Enter, false, XK_Return, false},
    {16, Qt::Key_Shift, 0, false, XK_Shift_L, false},
    {17, Qt::Key_Control, 0, false, XK_Control_L, false},
    {18, Qt::Key_Alt, Qt::Key_AltGr, false, XK_Alt_L, false},
    {19, Qt::Key_Pause, 0, false, XK_Pause, false},
    {20, Qt::Key_CapsLock, 0, false, XK_Caps_Lock, false},
    {27, Qt::Key_Escape, 0, false, XK_Escape, false},
    {32, Qt::Key_Space, 0, false, XK_space, false},
    {33, Qt::Key_PageUp, 0, false, XK_Prior, true},
    {34, Qt::Key_PageDown, 0, false, XK_Next, true},
    {35, Qt::Key_End, 0, false, XK_End, true},
    {36, Qt::Key_Home, 0, false, XK_Home, true},
    {37, Qt::Key_Left, 0, false, XK_Left, true},
    {38, Qt::Key_Up, 0, false, XK_Up, true},
    {39, Qt::Key_Right, 0, false, XK_Right, true},
    {40, Qt::Key_Down, 0, false, XK_Down, true},
    {44, Qt::Key_Print, 0, false, XK_Print, false},
    {45, Qt::Key_Insert, 0, false, XK_Insert, true},
    {46, Qt::Key_Delete, 0, false, XK_Delete, true},
    {48, Qt::Key_0, Qt::Key_ParenRight, false, XK_0, false},
    {49, Qt::Key_1, Qt::Key_Exclam, false, XK_1, false},
    {50, Qt::Key_2, Qt::Key_At, false, XK_2, false},
    {51, Qt::Key_3, Qt::Key_NumberSign, false, XK_3, false},
    {52, Qt::Key_4, Qt::Key_Dollar, false, XK_4, false},
    {53, Qt::Key_5, Qt::Key_Percent, false, XK_5, false},
    {54, Qt::Key_6, Qt::Key_AsciiCircum, false, XK_6, false},
    {55, Qt::Key_7, Qt::Key_Ampersand, false, XK_7, false},
    {56, Qt::Key_8, Qt::Key_Asterisk, false, XK_8, false},
    {57, Qt::Key_9, Qt::Key_ParenLeft, false, XK_9, false},
    {65, Qt::Key_A, 0, false, XK_a, false},
    {66, Qt::Key_B, 0, false, XK_b, false},
    {67, Qt::Key_C, 0, false, XK_c, false},
    {68, Qt::Key_D, 0, false, XK_d, false},
    {69, Qt::Key_E, 0, false, XK_e, false},
    {70, Qt::Key_F, 0, false, XK_f, false},
    {71, Qt::Key_G, 0, false, XK_g, false},
    {72, Qt::Key_H, 0, false, XK_h, false},
    {73, Qt::Key_I, 0, false, XK_i, false},
    {74, Qt::Key_J, 0, false, XK_j, false},
    {75, Qt::Key_K, 0, false, XK_k, false},
    {76, Qt::Key_L, 0, false, XK_l, false},
    {77, Qt::Key_M, 0, false, XK_m, false},
    {78, Qt::Key_N, 0, false, XK_n, false},
    {79, Qt::Key_O, 0, false, XK_o, false},
    {80, Qt::Key_P, 0, false, XK_p, false},
    {81, Qt::Key_Q, 0, false, XK_q, false},
    {82, Qt::Key_R, 0, false, XK_r, false},
    {83, Qt::Key_S, 0, false, XK_s, false},
    {84, Qt::Key_T, 0, false, XK_t, false},
    {85, Qt::Key_U, 0, false, XK_u, false},
    {86, Qt::Key_V, 0, false, XK_v, false},
    {87, Qt::Key_W, 0, false, XK_w, false},
    {88, Qt::Key_X, 0, false, XK_x, false},
    {89, Qt::Key_Y, 0, false, XK_y, false},
    {90, Qt::Key_Z, 0, false, XK_z, false},
    {91, Qt::Key_Super_L, Qt::Key_Meta, false, XK_Super_L, true},
    {92, Qt::Key_Super_R, 0, false, XK_Super_R, true},
    {93, Qt::Key_Menu, 0, false, XK_Menu, true},
    {96, Qt::Key_0, 0, true, XK_KP_0, false},
    {97, Qt::Key_1, 0, true, XK_KP_1, false},
    {98, Qt::Key_2, 0, true, XK_KP_2, false},
    {99, Qt::Key_3, 0, true, XK_KP_3, false},
    {100, Qt::Key_4, 0, true, XK_KP_4, false},
    {101, Qt::Key_5, 0, true, XK_KP_5, false},
    {102, Qt::Key_6, 0, true, XK_KP_6, false},
    {103, Qt::Key_7, 0, true, XK_KP_7, false},
    {104, Qt::Key_8, 0, true, XK_KP_8, false},
    {105, Qt::Key_9, 0, true, XK_KP_9, false},
    {106, Qt::Key_Asterisk, 0, true, XK_KP_Multiply, false},
    {107, Qt::Key_Plus, 0, true, XK_KP_Add, false},
    {108, Qt::Key_Comma, 0, true, XK_KP_Separator, false},
    {109, Qt::Key_Minus, 0, true, XK_KP_Subtract, false},
    {110, Qt::Key_Period, 0, true, XK_KP_Decimal, false},
    {111, Qt::Key_Slash, 0, true, XK_KP_Divide, true},
    {112, Qt::Key_F1, 0, false, XK_F1, false},
    {113, Qt::Key_F2, 0, false, XK_F2, false},
    {114, Qt::Key_F3, 0, false, XK_F3, false},
    {115, Qt::Key_F4, 0, false, XK_F4, false},
    {116, Qt::Key_F5, 0, false, XK_F5, false},
    {117, Qt::Key_F6, 0, false, XK_F6, false},
    {118, Qt::Key_F7, 0, false, XK_F7, false},
    {119, Qt::Key_F8, 0, false, XK_F8, false},
    {120, Qt::Key_F9, 0, false, XK_F9, false},
    {121, Qt::Key_F10, 0, false, XK_F10, false},
    {122, Qt::Key_F11, 0, false, XK_F11, false},
    {123, Qt::Key_F12, 0, false, XK_F12, false},
    {124, Qt::Key_F13, 0, false, XK_F13, false},
    {125, Qt::Key_F14, 0, false, XK_F14, false},
    {126, Qt::Key_F15, 0, false, XK_F15, false},
    {127, Qt::Key_F16, 0, false, XK_F16, false},
    {128, Qt::Key_F17, 0, false, XK_F17, false},
    {129, Qt::Key_F18, 0, false, XK_F18, false},
    {130, Qt::Key_F19, 0, false, XK_F19, false},
    {131, Qt::Key_F20, 0, false, XK_F20, false},
    {132, Qt::Key_F21, 0, false, XK_F21, false},
    {133, Qt::Key_F22, 0, false, XK_F22, false},
    {134, Qt::Key_F23, 0, false, XK_F23, false},
    {135, Qt::Key_F24, 0, false, XK_F24, false},
    {144, Qt::Key_NumLock, 0, false, XK_Num_Lock, true},
    {145, Qt::Key_ScrollLock, 0, false, XK_Scroll_Lock, false},
    {160, 0, 0, false, XK_Shift_L, false},
    {161, 0, 0, false, XK_Shift_R, false},
    {162, 0, 0, false, XK_Control_L, false},
    {163, 0, 0, false, XK_Control_R, true},
    {164, 0, 0, false, XK_Alt_L, false},
    {165, 0, 0, false, XK_Alt_R, true},
    {186, Qt::Key_Semicolon, Qt::Key_Colon, false, XK_semicolon, false},
    {187, Qt::Key_Equal, Qt::Key_Plus, false, XK_equal, false},
    {188, Qt::Key_Comma, Qt::Key_Less, false, XK_comma, false},
    {189, Qt::Key_Minus, Qt::Key_Underscore, false, XK_minus, false},
    {190, Qt::Key_Period, Qt::Key_Greater, false, XK_period, false},
    {191, Qt::Key_Slash, Qt::Key_Question, false, XK_slash, false},
    {192, Qt::Key_QuoteLeft, Qt::Key_AsciiTilde, false, XK_grave, false},
    {219, Qt::Key_BracketLeft, Qt::Key_BraceLeft, false, XK_bracketleft, false},
    {220, Qt::Key_Backslash, Qt::Key_Bar, false, XK_backslash, false},
    {221, Qt::Key_BracketRight, Qt::Key_BraceRight, false, XK_bracketright, false},
    {222, Qt::Key_Apostrophe, Qt::Key_QuoteDbl, false, XK_apostrophe, false},
};

constexpr bool OrderedByVirtualKey()
{
    for (std::size_t i = 1; i < std::size(kKeys); ++i)
        if (kKeys[i - 1].virtualKey >= kKeys[i].virtualKey)
            return false;
    return true;
}
static_assert(OrderedByVirtualKey());

const KeyRow* RowForVirtualKey(int virtualKey)
{
    const auto* row = std::lower_bound(std::begin(kKeys), std::end(kKeys), virtualKey,
                                       [](const KeyRow& r, int vk) { return r.virtualKey < vk; });
    return row != std::end(kKeys) && row->virtualKey == virtualKey ? row : nullptr;
}

int FindQtKey(int qtKey, bool keypad)
{
    for (const KeyRow& row : kKeys)
        if (row.keypad == keypad && (row.qtKey == qtKey || row.qtOtherKey == qtKey))
            return row.virtualKey;
    return 0;
}

}  // namespace

bool IsExtendedKey(int virtualKey)
{
    const KeyRow* row = RowForVirtualKey(virtualKey);
    return row && row->extended;
}

std::uint32_t KeysymForVirtualKey(int virtualKey)
{
    const KeyRow* row = RowForVirtualKey(virtualKey);
    return row ? row->keysym : 0;
}

int VirtualKeyFromQt(int qtKey, Qt::KeyboardModifiers modifiers)
{
    if (qtKey == 0)
        return 0;
    // With Num Lock off the keypad reports navigation keys, which share the
    // main block's rows.
    if (modifiers.testFlag(Qt::KeypadModifier))
        if (const int vk = FindQtKey(qtKey, true))
            return vk;
    return FindQtKey(qtKey, false);
}

}  // namespace input
