// How virtual keys are derived from a layout (technician's side) and found
// again in one (supported side), rule by rule, on keyboards listed here.
#include "core/input/KeyInjection.h"
#include "core/input/KeyTable.h"
#include "support/FixedKeyboardLayout.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

using testing_support::FixedKeyboardLayout;
using testing_support::MapOf;
using testing_support::UsKeys;

int CodeOf(const QString& layout, testing_support::KeyDef key, unsigned state = 0)
{
    const input::LayoutKeys keys(MapOf(layout, {key}));
    const input::WireKeys wire = keys.CodesFor(key.keycode, state);
    return wire.codes[0] + wire.codes[1] * 1000;  // AltGr: 18017
}

TEST(KeyDerivationTest, EachRuleGivesTheCodeWindowsGives)
{
    struct Case {
        const char* rule;
        const char* layout;
        testing_support::KeyDef key;
        unsigned state;
        int code;
    };
    const Case cases[] = {
        {"a letter key gives the letter it types", "fr", {24, "AD01", XK_a}, 0, 'A'},
        {"a letter key gives the letter it types", "xx", {38, "AC01", XK_b}, 0, 'B'},
        {"other letters keep the position's code", "ru", {38, "AC01", XK_Cyrillic_ef}, 0, 'A'},
        {"the digit row gives its digit", "fr", {10, "AE01", XK_ampersand}, 0, '1'},
        {"the digit row gives its digit", "fr", {19, "AE10", XK_agrave}, 0, '0'},
        {"the layout's row where Windows differs", "fr", {58, "AB07", XK_comma}, 0, 188},
        {"the layout's row where Windows differs", "gb", {49, "TLDE", XK_grave}, 0, 223},
        {"the layout's row where Windows differs", "pt", {34, "AD11", XK_plus}, 0, 187},
        {"the layout's row where Windows differs", "de", {47, "AC10", XK_odiaeresis}, 0, 192},
        {"else the US code of the position", "br", {47, "AC10", XK_ccedilla}, 0, 186},
        {"else the US code of the position", "br", {97, "AB11", XK_slash}, 0, 193},
        {"else the US code of the position", "br", {94, "LSGT", XK_backslash}, 0, 226},
        {"else the US code of the position", "es", {34, "AD11", XK_dead_grave}, 0, 186},
        {"modifiers go by what the key is set to be", "us", {37, "LCTL", XK_Caps_Lock}, 0, 20},
        {"modifiers go by what the key is set to be", "us", {66, "CAPS", XK_Control_L}, 0, 17},
        {"modifiers go by what the key is set to be", "us", {108, "RALT", XK_Alt_R}, 0, 18},
        {"AltGr travels as Ctrl and Alt", "br", {108, "RALT", XK_ISO_Level3_Shift}, 0, 18017},
        {"AltGr travels as Ctrl and Alt", "br", {92, "LVL3", XK_ISO_Level3_Shift}, 0, 18017},
        {"the keypad's codes follow Num Lock", "us", {79, "KP7", XK_KP_Home}, 0, 36},
        {"the keypad's codes follow Num Lock", "us", {79, "KP7", XK_KP_Home}, testing_support::kNumLockMask, 103},
        {"the keypad's codes follow Num Lock", "us", {79, "KP7", XK_KP_Home}, testing_support::kNumLockMask | 1, 36},
        {"a key that types nothing sends nothing", "us", {97, "AB11", 0}, 0, 0},
        {"a key without a code sends nothing", "us", {148, "I148", 0x1008ff1d}, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CodeOf(c.layout, c.key, c.state), c.code) << c.rule << ": " << c.layout << " " << c.key.name;
}

TEST(KeyDerivationTest, TheSupportedSideFindsTheKeyOfEachCodeFirstPositionFirst)
{
    auto keys = UsKeys();
    keys.push_back({92, "LVL3", XK_ISO_Level3_Shift});
    keys.push_back({105, "RCTL", XK_Control_R});
    const input::LayoutKeys us(MapOf("us", keys));
    for (const auto& key : keys) {  // every code the technician's side derives comes back to its key
        const int code = us.CodesFor(key.keycode, 0).codes[0];
        if (code != 0 && code != 13 && code != 17 && code != 18 && code != 36) {  // two keys give these
            EXPECT_EQ(us.KeycodeFor(code), key.keycode) << key.name;
        }
    }
    const std::pair<int, int> firsts[] = {{13, 36}, {36, 110}, {103, 79}, {17, 37}, {163, 105}, {165, 108}, {18, 64},
                                          {193, 0}, {0, 0}, {300, 0}};
    for (const auto& [code, keycode] : firsts)
        EXPECT_EQ(us.KeycodeFor(code), keycode) << code;
    EXPECT_EQ(us.Level3Keycode(), 92);
}

// What the supported side presses, as text, on a keyboard listed by the test.
class RecordingKeycodes final : public input::KeycodeOutput {
public:
    void Keycode(int keycode, bool down) override { events << QStringLiteral("%1%2").arg(down ? "+" : "-").arg(keycode); }
    void LockModifiers(unsigned mask) override { events << QStringLiteral("lock %1").arg(mask); }
    QStringList events;
};

class KeyInjectionTest : public ::testing::Test {
protected:
    static std::vector<testing_support::KeyDef> BrazilKeys()
    {
        return {{37, "LCTL", XK_Control_L}, {64, "LALT", XK_Alt_L}, {108, "RALT", XK_ISO_Level3_Shift},
                {50, "LFSH", XK_Shift_L},   {24, "AD01", XK_q, XK_slash}, {38, "AC01", XK_a},
                {119, "DELE", XK_Delete},   {79, "KP7", XK_KP_Home}};
    }
    void Keys(std::initializer_list<std::pair<int, bool>> keys)
    {
        for (const auto& [vk, down] : keys)
            EXPECT_TRUE(injection.Key(vk, down)) << vk;
    }

    FixedKeyboardLayout layout{MapOf("br", BrazilKeys())};
    RecordingKeycodes out;
    input::KeyInjection injection{layout, out};
};

// Ctrl and Alt with a key of the third level type its character with AltGr;
// with any other key they stay a shortcut; let go in any order, nothing stays pressed.
TEST_F(KeyInjectionTest, CtrlAltTypesTheThirdLevelOrStaysAShortcut)
{
    const struct {
        std::vector<std::pair<int, bool>> keys;
        QStringList events;
    } cases[] = {
        {{{17, true}, {18, true}, {81, true}, {81, false}, {46, true}, {46, false}, {18, false}, {17, false}},
         {"+37", "+64", "-37", "-64", "+108", "+24", "-24", "-108", "+37", "+64", "+119", "-119", "-64", "-37"}},
        {{{17, true}, {18, true}, {81, true}, {18, false}, {17, false}, {81, false}, {65, true}, {65, false}},
         {"+37", "+64", "-37", "-64", "+108", "+24", "-108", "-24", "+38", "-38"}},
    };
    for (const auto& c : cases) {
        RecordingKeycodes fresh;
        input::KeyInjection keys{layout, fresh};
        for (const auto& [vk, down] : c.keys)
            EXPECT_TRUE(keys.Key(vk, down)) << vk;
        EXPECT_EQ(fresh.events, c.events);
    }
}

TEST_F(KeyInjectionTest, AReleaseLetsGoOfTheKeyItsPressPressedWhateverTheLayoutBecame)
{
    Keys({{65, true}});
    layout.Set(MapOf("fr", {{24, "AD01", XK_a}, {38, "AC01", XK_q}}));
    Keys({{65, true}, {65, false}, {65, true}, {65, false}});
    EXPECT_EQ(out.events, (QStringList{"+38", "+38", "-38", "+24", "-24"}));
}

TEST_F(KeyInjectionTest, KeypadCodesLockNumLockAndCodesWithoutAKeyAreRefused)
{
    Keys({{103, true}, {103, false}});
    EXPECT_FALSE(injection.Key(193, true));
    EXPECT_FALSE(injection.Key(0, true));
    EXPECT_TRUE(injection.Key(193, false));  // nothing pressed, nothing to release
    EXPECT_EQ(out.events, (QStringList{"lock 16", "+79", "-79"}));
}

}  // namespace
