#include "core/input/KeyTable.h"

#include <algorithm>
#include <iterator>

namespace input {
namespace {

// Windows virtual-key codes (the names of its winuser.h without "VK_").
enum Vk : std::uint8_t {
    Back = 8, Tab = 9, Clear = 12, Return = 13, Shift = 16, Control = 17, Menu = 18, Pause = 19, Capital = 20,
    Escape = 27, Space = 32, Prior = 33, Next = 34, End = 35, Home = 36, Left = 37, Up = 38, Right = 39, Down = 40,
    Snapshot = 44, Insert = 45, Delete = 46, LWin = 91, RWin = 92, Apps = 93,
    Numpad0 = 96, Numpad1, Numpad2, Numpad3, Numpad4, Numpad5, Numpad6, Numpad7, Numpad8, Numpad9,
    Multiply = 106, Add = 107, Subtract = 109, Decimal = 110, Divide = 111, F1 = 112, F13 = 124,
    NumLock = 144, Scroll = 145, LShift = 160, RShift, LControl, RControl, LMenu, RMenu,
    Oem1 = 186, OemPlus = 187, OemComma = 188, OemMinus = 189, OemPeriod = 190, Oem2 = 191, Oem3 = 192,
    AbntC1 = 193, AbntC2 = 194, Oem4 = 219, Oem5 = 220, Oem6 = 221, Oem7 = 222, Oem8 = 223, Oem102 = 226,
};

constexpr std::uint8_t Letter(char c) { return static_cast<std::uint8_t>(c); }

// The US layout by position, after the layout tables Windows documents
// (its keyboard layout reference and winuser.h). The extended flags are the
// ones the executing side marks, so IsExtendedKey reads them here.
constexpr KeyPosition kPositions[] = {
    {"ESC", Escape, 0, 0, false},
    {"FK01", F1, 0, 0, false}, {"FK02", F1 + 1, 0, 0, false}, {"FK03", F1 + 2, 0, 0, false},
    {"FK04", F1 + 3, 0, 0, false}, {"FK05", F1 + 4, 0, 0, false}, {"FK06", F1 + 5, 0, 0, false},
    {"FK07", F1 + 6, 0, 0, false}, {"FK08", F1 + 7, 0, 0, false}, {"FK09", F1 + 8, 0, 0, false},
    {"FK10", F1 + 9, 0, 0, false}, {"FK11", F1 + 10, 0, 0, false}, {"FK12", F1 + 11, 0, 0, false},
    {"FK13", F13, 0, 0, false}, {"FK14", F13 + 1, 0, 0, false}, {"FK15", F13 + 2, 0, 0, false},
    {"FK16", F13 + 3, 0, 0, false}, {"FK17", F13 + 4, 0, 0, false}, {"FK18", F13 + 5, 0, 0, false},
    {"FK19", F13 + 6, 0, 0, false}, {"FK20", F13 + 7, 0, 0, false}, {"FK21", F13 + 8, 0, 0, false},
    {"FK22", F13 + 9, 0, 0, false}, {"FK23", F13 + 10, 0, 0, false}, {"FK24", F13 + 11, 0, 0, false},
    {"TLDE", Oem3, 0, 0, false},
    {"AE01", Letter('1'), 0, 0, false}, {"AE02", Letter('2'), 0, 0, false}, {"AE03", Letter('3'), 0, 0, false},
    {"AE04", Letter('4'), 0, 0, false}, {"AE05", Letter('5'), 0, 0, false}, {"AE06", Letter('6'), 0, 0, false},
    {"AE07", Letter('7'), 0, 0, false}, {"AE08", Letter('8'), 0, 0, false}, {"AE09", Letter('9'), 0, 0, false},
    {"AE10", Letter('0'), 0, 0, false}, {"AE11", OemMinus, 0, 0, false}, {"AE12", OemPlus, 0, 0, false},
    {"BKSP", Back, 0, 0, false}, {"TAB", Tab, 0, 0, false},
    {"AD01", Letter('Q'), 0, 0, false}, {"AD02", Letter('W'), 0, 0, false}, {"AD03", Letter('E'), 0, 0, false},
    {"AD04", Letter('R'), 0, 0, false}, {"AD05", Letter('T'), 0, 0, false}, {"AD06", Letter('Y'), 0, 0, false},
    {"AD07", Letter('U'), 0, 0, false}, {"AD08", Letter('I'), 0, 0, false}, {"AD09", Letter('O'), 0, 0, false},
    {"AD10", Letter('P'), 0, 0, false}, {"AD11", Oem4, 0, 0, false}, {"AD12", Oem6, 0, 0, false},
    {"BKSL", Oem5, 0, 0, false}, {"CAPS", Capital, 0, 0, false},
    {"AC01", Letter('A'), 0, 0, false}, {"AC02", Letter('S'), 0, 0, false}, {"AC03", Letter('D'), 0, 0, false},
    {"AC04", Letter('F'), 0, 0, false}, {"AC05", Letter('G'), 0, 0, false}, {"AC06", Letter('H'), 0, 0, false},
    {"AC07", Letter('J'), 0, 0, false}, {"AC08", Letter('K'), 0, 0, false}, {"AC09", Letter('L'), 0, 0, false},
    {"AC10", Oem1, 0, 0, false}, {"AC11", Oem7, 0, 0, false}, {"RTRN", Return, 0, 0, false},
    {"LFSH", Shift, 0, LShift, false}, {"LSGT", Oem102, 0, 0, false},
    {"AB01", Letter('Z'), 0, 0, false}, {"AB02", Letter('X'), 0, 0, false}, {"AB03", Letter('C'), 0, 0, false},
    {"AB04", Letter('V'), 0, 0, false}, {"AB05", Letter('B'), 0, 0, false}, {"AB06", Letter('N'), 0, 0, false},
    {"AB07", Letter('M'), 0, 0, false}, {"AB08", OemComma, 0, 0, false}, {"AB09", OemPeriod, 0, 0, false},
    {"AB10", Oem2, 0, 0, false}, {"AB11", AbntC1, 0, 0, false}, {"RTSH", Shift, 0, RShift, false},
    {"LCTL", Control, 0, LControl, false}, {"LWIN", LWin, 0, 0, true}, {"LALT", Menu, 0, LMenu, false},
    {"SPCE", Space, 0, 0, false}, {"RALT", Menu, 0, RMenu, true}, {"RWIN", RWin, 0, 0, true},
    {"COMP", Apps, 0, 0, true}, {"RCTL", Control, 0, RControl, true},
    // Print Screen is an extended key to Windows, but not among the codes the executing side marks.
    {"PRSC", Snapshot, 0, 0, false}, {"SCLK", Scroll, 0, 0, false}, {"PAUS", Pause, 0, 0, false},
    {"INS", Insert, 0, 0, true}, {"HOME", Home, 0, 0, true}, {"PGUP", Prior, 0, 0, true},
    {"DELE", Delete, 0, 0, true}, {"END", End, 0, 0, true}, {"PGDN", Next, 0, 0, true},
    {"UP", Up, 0, 0, true}, {"LEFT", Left, 0, 0, true}, {"DOWN", Down, 0, 0, true}, {"RGHT", Right, 0, 0, true},
    {"NMLK", NumLock, 0, 0, true}, {"KPDV", Divide, 0, 0, true}, {"KPMU", Multiply, 0, 0, false},
    {"KPSU", Subtract, 0, 0, false}, {"KPAD", Add, 0, 0, false}, {"KPEN", Return, 0, 0, true},
    {"KP7", Home, Numpad7, 0, false}, {"KP8", Up, Numpad8, 0, false}, {"KP9", Prior, Numpad9, 0, false},
    {"KP4", Left, Numpad4, 0, false}, {"KP5", Clear, Numpad5, 0, false}, {"KP6", Right, Numpad6, 0, false},
    {"KP1", End, Numpad1, 0, false}, {"KP2", Down, Numpad2, 0, false}, {"KP3", Next, Numpad3, 0, false},
    {"KP0", Insert, Numpad0, 0, false}, {"KPDL", Delete, Decimal, 0, false},
    {"I129", AbntC2, 0, 0, false},  // the ABNT2 keypad's extra key (KPPT)
};

struct LayoutRow {
    QStringView layout;  // XKB layout name; its variants share the row
    char name[5];
    std::uint8_t vk;
};

// Where the Windows layout of the same name gives another code than the US
// one. Letters and the digit row need no rows: they follow what the key
// types. The Brazilian ABNT2 layout has no row: it keeps the US codes, and
// its two extra keys (193, 194) are in the US table.
constexpr LayoutRow kLayoutRows[] = {
    {u"de", "TLDE", Oem5}, {u"de", "AE11", Oem4}, {u"de", "AE12", Oem6}, {u"de", "AD11", Oem1},
    {u"de", "AD12", OemPlus}, {u"de", "AC10", Oem3}, {u"de", "BKSL", Oem2}, {u"de", "AB10", OemMinus},
    {u"es", "TLDE", Oem5}, {u"es", "AE11", Oem4}, {u"es", "AE12", Oem6}, {u"es", "AD11", Oem1},
    {u"es", "AD12", OemPlus}, {u"es", "AC10", Oem3}, {u"es", "BKSL", Oem2}, {u"es", "AB10", OemMinus},
    {u"fr", "TLDE", Oem7}, {u"fr", "AE11", Oem4}, {u"fr", "AD11", Oem6}, {u"fr", "AD12", Oem1},
    {u"fr", "AC11", Oem3}, {u"fr", "BKSL", Oem5}, {u"fr", "AB07", OemComma}, {u"fr", "AB08", OemPeriod},
    {u"fr", "AB09", Oem2}, {u"fr", "AB10", Oem8},
    {u"gb", "TLDE", Oem8}, {u"gb", "AC11", Oem3}, {u"gb", "BKSL", Oem7}, {u"gb", "LSGT", Oem5},
    {u"latam", "TLDE", Oem5}, {u"latam", "AE11", Oem4}, {u"latam", "AE12", Oem6}, {u"latam", "AD11", Oem1},
    {u"latam", "AD12", OemPlus}, {u"latam", "AC10", Oem3}, {u"latam", "BKSL", Oem2}, {u"latam", "AB10", OemMinus},
    {u"pt", "TLDE", Oem5}, {u"pt", "AE11", Oem4}, {u"pt", "AE12", Oem6}, {u"pt", "AD11", OemPlus},
    {u"pt", "AD12", Oem1}, {u"pt", "AC10", Oem3}, {u"pt", "BKSL", Oem2}, {u"pt", "AB10", OemMinus},
};

}  // namespace

std::span<const KeyPosition> KeyPositions() { return kPositions; }

const KeyPosition* FindKeyPosition(std::string_view name)
{
    const auto* row = std::find_if(std::begin(kPositions), std::end(kPositions),
                                   [name](const KeyPosition& p) { return name == p.name; });
    return row != std::end(kPositions) ? row : nullptr;
}

int LayoutVirtualKey(QStringView layout, std::string_view name)
{
    for (const LayoutRow& row : kLayoutRows)
        if (row.layout == layout && name == row.name)
            return row.vk;
    return 0;
}

bool IsExtendedKey(int virtualKey)
{
    // The position the supported side presses for the code: the first that gives it.
    for (const KeyPosition& p : kPositions)
        if (p.vk == virtualKey || p.numLockVk == virtualKey || p.sidedVk == virtualKey)
            return virtualKey > 0 && p.extended;
    return false;
}

}  // namespace input
