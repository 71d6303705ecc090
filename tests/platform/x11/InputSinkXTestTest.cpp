// The supported side's XTest sink, observed from another X client: clicks
// and drags on the test display; and, between two private X servers with the
// same layout, what the technician types is what the supported side reads.
#include "core/input/CommandEncoder.h"
#include "core/input/KeyCapture.h"
#include "core/input/KeyTable.h"
#include "core/input/modRemoteInput.h"
#include "platform/x11/InputSinkXTest.h"
#include "platform/x11/XkbKeyboardLayout.h"
#include "support/SettableClock.h"
#include "support/WaitUntil.h"
#include "support/XvfbDisplay.h"

#include <QProcess>
#include <chrono>
#include <clocale>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

// After the test framework: Xlib defines None, Bool, Status, True, False.
#include "support/XScreen.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

using testing_support::WaitUntil;
using testing_support::XScreen;
using testing_support::XvfbDisplay;

// The technician's command lines, carried out at once on the supported side.
class DirectLink final : public input::CommandLink, public input::RemoteCommandTarget {
public:
    explicit DirectLink(input::InputSink& sink) : commands_(sink, *this)
    {
        session_.PapelTela = session::kTecnico;
        session_.TelaConectada = true;
    }
    const session::SessionRecord& Session() const override { return session_; }
    bool SocketConnected() const override { return true; }
    void Send(const QByteArray& line) override
    {
        if (const auto error = commands_.ExecuteRemoteCommand(QString::fromLatin1(line.chopped(1))))
            log << *error;
    }
    void SolicitarEncerrarTelaRemota() override {}
    void EncerradaPeloOutro() override {}
    void AplicarQualidadeRemota(int, int) override {}
    void LogEvent(const QString& message) override { log << message; }

    QStringList log;

private:
    session::SessionRecord session_;
    input::modRemoteInput commands_;
};

class InputSinkXTestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(probe.Ready()) << "no X server on DISPLAY";
        QString error;
        sink = platform::InputSinkXTest::Open(nullptr, &error);
        ASSERT_TRUE(sink) << error.toStdString();
        link.emplace(*sink);
    }
    void TearDown() override { EXPECT_TRUE(!link || link->log.isEmpty()) << link->log.join(", ").toStdString(); }

    void Run(const char* line) { link->Send(QByteArray(line) + '\n'); }

    XScreen probe;
    std::unique_ptr<platform::InputSinkXTest> sink;
    std::optional<DirectLink> link;
};

TEST_F(InputSinkXTestTest, ClicksPressAndReleaseWhereTheyPoint)
{
    struct Case {
        const char* line;
        unsigned int xButton;
        int x, y;
    };
    for (const Case& c : {Case{"CMD:CK:300:400:1", 1, 300, 400}, Case{"CMD:CK:301:402:2", 3, 301, 402},
                          Case{"CMD:CK:302:404:4", 1, 302, 404}}) {
        const auto start = std::chrono::steady_clock::now();
        Run(c.line);
        // The button is held for the click's 80 ms.
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80));
        const auto press = probe.Next(ButtonPress);
        const auto release = probe.Next(ButtonRelease);
        ASSERT_TRUE(press && release) << c.line;
        EXPECT_EQ(std::pair(press->xbutton.button, release->xbutton.button), std::pair(c.xButton, c.xButton)) << c.line;
        for (const XButtonEvent& at : {press->xbutton, release->xbutton})
            EXPECT_EQ(std::pair(at.x_root, at.y_root), std::pair(c.x, c.y)) << c.line;
    }
}

TEST_F(InputSinkXTestTest, AMoveLeavesTheButtonsAloneADragHoldsOneUntilItsRelease)
{
    Run("CMD:MM:100:200:1");
    ASSERT_TRUE(probe.MotionTo(100, 200));
    EXPECT_EQ(probe.Buttons(), 0u);

    Run("CMD:MD:50:60:1");
    const auto press = probe.Next(ButtonPress);
    ASSERT_TRUE(press);
    EXPECT_EQ(std::pair(press->xbutton.x_root, press->xbutton.y_root), std::pair(50, 60));
    EXPECT_EQ(probe.Buttons(), static_cast<unsigned int>(Button1Mask));

    Run("CMD:MM:70:80:1");
    ASSERT_TRUE(probe.MotionTo(70, 80));
    EXPECT_EQ(probe.Buttons(), static_cast<unsigned int>(Button1Mask));

    Run("CMD:MU:90:100:1");
    const auto release = probe.Next(ButtonRelease);
    ASSERT_TRUE(release);
    EXPECT_EQ(std::pair(release->xbutton.x_root, release->xbutton.y_root), std::pair(90, 100));
    EXPECT_EQ(probe.Buttons(), 0u);
}

TEST(InputSinkXTestOpenTest, AMissingDisplayIsReportedNotFatal)
{
    QString error;
    EXPECT_FALSE(platform::InputSinkXTest::Open(":4095", &error));
    EXPECT_TRUE(error.contains(QStringLiteral(":4095"))) << error.toStdString();
}

bool Printable(KeySym keysym)
{
    const bool keypadOperator = keysym == XK_KP_Divide || keysym == XK_KP_Multiply || keysym == XK_KP_Subtract
        || keysym == XK_KP_Add;
    return (keysym != NoSymbol && keysym < 0xfe00) || (keysym >= XK_dead_grave && keysym <= XK_dead_greek)
        || keypadOperator || (keysym >= 0x1000100 && keysym < 0x1110000);
}

struct Layout {
    const char* layout;
    const char* variant;
    QString compositions;  // of "áãâàçüñ", those the layout types
};

class KeyboardLayoutsTest : public ::testing::TestWithParam<Layout> {
protected:
    static void SetUpTestSuite()
    {
        std::setlocale(LC_CTYPE, "C.UTF-8");
        XSetLocaleModifiers("@im=none");  // Xlib's own compose, as in a plain X session
        tecnicoServer = new XvfbDisplay(320, 240, "/dev/null");
        clienteServer = new XvfbDisplay(320, 240, "/dev/null");
        // Opened once: every change of layout below must reach them while they run.
        sink = platform::InputSinkXTest::Open(clienteServer->Name().c_str(), nullptr).release();
        keyboard = platform::XkbKeyboardLayout::Open(tecnicoServer->Name().c_str(), nullptr).release();
    }
    static void TearDownTestSuite()
    {
        delete sink;
        delete keyboard;
        delete tecnicoServer;
        delete clienteServer;
    }

    void SetUp() override
    {
        for (const XvfbDisplay* server : {tecnicoServer, clienteServer}) {
            ASSERT_TRUE(server->Ready()) << "Xvfb did not start";
            ASSERT_EQ(QProcess::execute("setxkbmap", {"-display", QString::fromStdString(server->Name()), "-model",
                                                      "pc105", "-layout", GetParam().layout, "-variant",
                                                      GetParam().variant}), 0);
        }
        tecnico = std::make_unique<XScreen>(tecnicoServer->Name().c_str());
        cliente = std::make_unique<XScreen>(clienteServer->Name().c_str());
        ASSERT_TRUE(tecnico->HasInputMethod() && cliente->HasInputMethod()) << "no window or input method";
        XAutoRepeatOff(tecnico->display());
        XAutoRepeatOff(cliente->display());
        ASSERT_TRUE(sink && keyboard);
        link = std::make_unique<DirectLink>(*sink);
        encoder = std::make_unique<input::CommandEncoder>(*link, clock);
        capture = std::make_unique<input::KeyCapture>(*encoder, keyboard);
        Display* d = tecnico->display();
        level3 = XKeysymToKeycode(d, XK_ISO_Level3_Shift);
        shift = XKeysymToKeycode(d, XK_Shift_L);
        space = XKeysymToKeycode(d, XK_space);
    }

    // Presses and releases on the technician's server, in this order (a
    // negative keycode is a release), then a space, which ends any dead key;
    // then the supported side must have typed the same and hold no key.
    void Type(const std::vector<int>& keys)
    {
        for (const int key : keys)
            XTestFakeKeyEvent(tecnico->display(), std::abs(key), key > 0, CurrentTime);
        XTestFakeKeyEvent(tecnico->display(), space, True, CurrentTime);
        XTestFakeKeyEvent(tecnico->display(), space, False, CurrentTime);
        XFlush(tecnico->display());
        for (std::size_t i = 0; i < keys.size() + 2; ++i) {
            const auto event = tecnico->Next(0);
            ASSERT_TRUE(event) << "the technician's key events did not arrive";
            const XKeyEvent& key = event->xkey;
            key.type == KeyPress ? capture->KeyDown(static_cast<int>(key.keycode), key.state)
                                 : capture->KeyUp(static_cast<int>(key.keycode));
        }
        const bool same = WaitUntil([&] { return cliente->Pump(), cliente->text == tecnico->text && !cliente->AnyKeyDown(); });
        ASSERT_TRUE(same) << "keys " << ::testing::PrintToString(keys) << " typed \"" << tecnico->text.right(8).toStdString()
                          << "\" read \"" << cliente->text.right(8).toStdString() << "\""
                          << (cliente->AnyKeyDown() ? ", a key held" : "");
    }

    // The key at `level`: Shift for the odd levels, AltGr for the upper two;
    // the modifiers let go first (in the order pressed) or after the key.
    std::vector<int> AtLevel(int keycode, int level, bool modifiersFirst) const
    {
        std::vector<int> keys;
        if (level >= 2)
            keys.push_back(level3);
        if (level % 2)
            keys.push_back(shift);
        const std::size_t modifiers = keys.size();
        keys.push_back(keycode);
        if (!modifiersFirst)
            keys.push_back(-keycode);
        for (std::size_t i = 0; i < modifiers; ++i)
            keys.push_back(-keys[modifiersFirst ? i : modifiers - 1 - i]);
        if (modifiersFirst)
            keys.push_back(-keycode);
        return keys;
    }

    static inline XvfbDisplay* tecnicoServer = nullptr;
    static inline XvfbDisplay* clienteServer = nullptr;
    static inline platform::InputSinkXTest* sink = nullptr;
    static inline input::KeyboardLayout* keyboard = nullptr;
    std::unique_ptr<XScreen> tecnico;
    std::unique_ptr<XScreen> cliente;
    std::unique_ptr<DirectLink> link;
    testing_support::SettableClock clock;
    std::unique_ptr<input::CommandEncoder> encoder;
    std::unique_ptr<input::KeyCapture> capture;
    int level3 = 0, shift = 0, space = 0;
};

TEST_P(KeyboardLayoutsTest, TheSupportedSideTypesWhatTheTechnicianTypes)
{
    Display* d = tecnico->display();
    XkbDescPtr names = XkbAllocKeyboard();
    ASSERT_TRUE(names && XkbGetNames(d, XkbKeyNamesMask, names) == Success && names->names->keys);
    std::vector<int> deadKeys;  // keycode and level, as keycode * 4 + level
    for (int keycode = 8; keycode < 256 && !HasFatalFailure(); ++keycode) {
        // The keys of a PC keyboard: the server's extra keypad keys (parentheses, plus-minus) have no virtual key.
        const std::string name(names->names->keys[keycode].name, strnlen(names->names->keys[keycode].name, 4));
        if (!input::FindKeyPosition(name) || !Printable(XkbKeycodeToKeysym(d, static_cast<KeyCode>(keycode), 0, 0)))
            continue;
        for (int level = 0; level < 4; ++level) {
            const KeySym keysym = XkbKeycodeToKeysym(d, static_cast<KeyCode>(keycode), 0, level);
            // AltGr with a key that has no third level is Ctrl+Alt there, a shortcut and no character.
            if (level < 2 || (level3 != 0 && XkbKeycodeToKeysym(d, static_cast<KeyCode>(keycode), 0, 2) != NoSymbol))
                Type(AtLevel(keycode, level, level % 2 == 1));
            if (keysym >= XK_dead_grave && keysym <= XK_dead_cedilla)
                deadKeys.push_back(keycode * 4 + level);
        }
    }
    for (const int dead : deadKeys) {
        const int keycode = dead / 4, level = dead % 4;
        for (const KeySym letter : {XK_a, XK_c, XK_n, XK_u}) {
            if (HasFatalFailure())
                return;
            std::vector<int> keys = AtLevel(keycode, level, false);
            const int base = XKeysymToKeycode(d, letter);
            keys.insert(keys.end(), {base, -base});
            Type(keys);
        }
    }
    XkbFreeKeyboard(names, 0, True);
    QString typed;
    for (const QChar c : QStringLiteral("áãâàçüñ"))
        if (tecnico->text.contains(c))
            typed += c;
    EXPECT_EQ(typed, GetParam().compositions);
    EXPECT_TRUE(link->log.isEmpty()) << link->log.join(", ").toStdString();
}

INSTANTIATE_TEST_SUITE_P(Layouts, KeyboardLayoutsTest,
                         ::testing::Values(Layout{"us", "", ""}, Layout{"br", "abnt2", "áãâàçüñ"},
                                           Layout{"pt", "", "áãâàçüñ"}, Layout{"gb", "", "áãâàçüñ"},
                                           Layout{"de", "", "áâàçü"}, Layout{"fr", "", "áâàçü"},
                                           Layout{"es", "", "áãâàçüñ"}, Layout{"latam", "", "áâàçüñ"}),
                         [](const auto& info) { return std::string(info.param.layout); });

}  // namespace
