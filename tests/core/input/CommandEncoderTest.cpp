#include "core/input/CommandEncoder.h"
#include "core/input/KeyCapture.h"
#include "core/input/PointMapping.h"
#include "support/FixedKeyboardLayout.h"
#include "support/SettableClock.h"

#include <QList>
#include <gtest/gtest.h>

namespace {

using input::MapearPontoRemoto;
using input::RemoteGeometry;
using Lines = QList<QByteArray>;

// Stands in for the main window: its session record, its socket state, and
// the lines handed to the socket.
class RecordingLink final : public input::CommandLink {
public:
    RecordingLink()
    {
        session.PapelTela = session::kTecnico;
        session.TelaConectada = true;
        session.RemoteWidth = 1920;
        session.RemoteHeight = 1080;
    }
    const session::SessionRecord& Session() const override { return session; }
    bool SocketConnected() const override { return connected; }
    void Send(const QByteArray& line) override { sent.append(line); }
    void SolicitarEncerrarTelaRemota() override {}

    session::SessionRecord session;
    bool connected = true;
    QList<QByteArray> sent;
};

class CommandEncoderTest : public ::testing::Test {
protected:
    void Mouse(const char* action, int x, int y, int button = 1)
    {
        encoder.RemoteMouseFromView(QString::fromLatin1(action), x, y, button, 800, 600);
    }
    void Key(int vk) { encoder.RemoteKeyFromView(QStringLiteral("KD"), vk); }

    RecordingLink link;
    testing_support::SettableClock clock;
    input::CommandEncoder encoder{link, clock};
};

// The centre and the bands are the encoder table's below.
TEST(PointMappingTest, MapsTheFittedPictureBackToTheRemoteDesktopOrFails)
{
    const RemoteGeometry hd{0, 0, 1920, 1080};
    const struct {
        int x, y, viewW;
        RemoteGeometry remote;
        std::optional<std::pair<int, int>> at;
    } cases[] = {
        {800, 525, 800, hd, {{1920, 1080}}},                     // the far edge
        {400, 300, 800, {-1920, 0, 3840, 1080}, {{0, 542}}},    // left of the primary screen
        {400, 526, 800, hd, {}},                                 // the black bands
        {400, 300, 800, {0, 0, 0, 1080}, {}},                    // no geometry
        {400, 300, 0, hd, {}},
        {800, 300, 800, {2147483000, 0, 1920, 1080}, {}},        // overflow
        {-2147483647, 300, 800, hd, {}},
    };
    for (const auto& c : cases) {
        const auto got = MapearPontoRemoto(c.x, c.y, c.viewW, 600, c.remote);
        EXPECT_EQ(got ? std::optional(std::pair(got->x, got->y)) : std::nullopt, c.at) << c.x << "," << c.y;
    }
}

// Mouse events in the 800 × 600 view of a 1920 × 1080 desktop, each after the
// clock moved on by `later` seconds, and the lines they send.
TEST_F(CommandEncoderTest, TurnsMouseEventsIntoCommandsByTheTable)
{
    struct Step {
        const char* action;
        int x, y, button;
        float later;
    };
    const struct {
        const char* why;
        float start;
        std::vector<Step> steps;
        Lines sent;
    } cases[] = {
        {"a click travels as one CK at the release point", 36000, {{"MD", 400, 300, 1, 0}, {"MU", 400, 300, 1, 0},
         {"MD", 400, 300, 2, 0}, {"MU", 400, 300, 2, 0}}, {"CMD:CK:960:540:1\n", "CMD:CK:960:540:2\n"}},
        {"a press that wanders 2.4 remote pixels stays a click", 36000,
         {{"MD", 400, 300, 1, 0}, {"MM", 401, 300, 1, 0.1f}, {"MU", 401, 300, 1, 0}}, {"CMD:CK:962:540:1\n"}},
        {"7.2 pixels make a drag", 36000,
         {{"MD", 400, 300, 1, 0}, {"MM", 403, 300, 1, 0.1f}, {"MM", 410, 300, 1, 0.1f}, {"MU", 410, 300, 1, 0}},
         {"CMD:MD:960:540:1\n", "CMD:MM:967:540:1\n", "CMD:MM:984:540:1\n", "CMD:MU:984:540:1\n"}},
        {"a drag released over a band ends at the picture's edge; a second release is nothing", 36000,
         {{"MD", 400, 300, 1, 0}, {"MM", 420, 300, 1, 0.1f}, {"MU", 420, 10, 1, 0}, {"MU", 420, 10, 1, 0}},
         {"CMD:MD:960:540:1\n", "CMD:MM:1008:540:1\n", "CMD:MU:1008:0:1\n"}},
        {"moves closer than 40 ms are dropped", 36000,
         {{"MM", 400, 300, 0, 0}, {"MM", 500, 300, 0, 0.02f}, {"MM", 600, 300, 0, 0.03f}},
         {"CMD:MM:960:540:0\n", "CMD:MM:1440:540:0\n"}},
        {"across midnight too", 86399.99f,
         {{"MM", 400, 300, 0, 0}, {"MM", 500, 300, 0, 0.02f}, {"MM", 600, 300, 0, 0.04f}},
         {"CMD:MM:960:540:0\n", "CMD:MM:1440:540:0\n"}},
        {"the far edge is clamped into the desktop", 36000, {{"MD", 800, 525, 1, 0}, {"MU", 800, 525, 1, 0}},
         {"CMD:CK:1919:1079:1\n"}},
        {"the black bands send nothing", 36000,
         {{"MD", 10, 10, 1, 0}, {"MU", 10, 10, 1, 0}, {"MM", 10, 590, 0, 0}}, {}},
    };
    for (const auto& c : cases) {
        link.sent.clear();
        clock.Set(c.start);
        input::CommandEncoder fresh{link, clock};
        for (const Step& s : c.steps) {
            clock.Advance(s.later);
            fresh.RemoteMouseFromView(QString::fromLatin1(s.action), s.x, s.y, s.button, 800, 600);
        }
        EXPECT_EQ(link.sent, c.sent) << c.why;
    }
    link.sent.clear();
    link.session.RemoteLeft = -1920;
    link.session.RemoteWidth = 3840;
    encoder.SendMouseCommand(QStringLiteral("MM"), -5000, -3, 0);
    EXPECT_EQ(link.sent, Lines{"CMD:MM:-1920:0:0\n"});
}

TEST_F(CommandEncoderTest, NothingLeavesWithoutAValidatedTechnicianLinkOrAKeyCodeOutsideOneTo255)
{
    link.session.TelaConectada = false;
    Mouse("MU", 400, 300);
    Key(65);
    link.session.TelaConectada = true;
    link.session.PapelTela = session::kCliente;
    Mouse("MU", 400, 300);
    link.session.PapelTela = session::kTecnico;
    link.connected = false;
    Mouse("MU", 400, 300);
    link.session.RemoteWidth = 0;
    link.connected = true;
    Mouse("MU", 400, 300);
    for (const int vk : {0, 256, -1, 255})
        Key(vk);
    EXPECT_EQ(link.sent, (Lines{"CMD:KD:255:0:1\n"}));
}

TEST_F(CommandEncoderTest, TheRelayRouteSendsTheSameBytesOnlyForATechnicianRelay)
{
    link.session.RotaAutomatica = link.session.RelayAtivo = true;
    link.connected = false;
    Key(65);  // gate open, relay socket not connected
    link.connected = true;
    Key(65);  // PapelRelay not set
    EXPECT_TRUE(link.sent.isEmpty());
    link.session.PapelRelay = session::kTecnico;
    Key(65);
    encoder.SendCommandTcp(QStringLiteral("ck"), 5, 6, 2);
    EXPECT_EQ(link.sent, (Lines{"CMD:KD:65:0:1\n", "CMD:CK:5:6:2\n"}));
}

// The technician's keys by keycode on a Brazilian keyboard: AltGr is RALT.
class KeyCaptureTest : public CommandEncoderTest {
protected:
    enum Keycode { A = 38, Shift = 50, Q = 24, AltGr = 108 };
    void Down(int keycode, unsigned state = 0) { keys.KeyDown(keycode, state); }
    void Up(int keycode) { keys.KeyUp(keycode); }

    testing_support::FixedKeyboardLayout keyboard{testing_support::MapOf(
        "br", {{A, "AC01", XK_a}, {Shift, "LFSH", XK_Shift_L}, {Q, "AD01", XK_q, XK_slash},
               {AltGr, "RALT", XK_ISO_Level3_Shift}})};
    input::KeyboardLayout* layout = &keyboard;
    input::KeyCapture keys{encoder, layout};
};

// Letting go of every held key when the focus leaves is the ui remote-input test's.
TEST_F(KeyCaptureTest, AReleaseCarriesItsPressCodesWhateverWasLetGoFirst)
{
    Down(AltGr);
    Down(Q, 0x80);
    Up(AltGr);
    Up(Q);
    Down(Shift);
    Down(A, 1);
    Down(A, 1);  // auto-repeat
    Up(Shift);
    Up(A);
    Up(A);  // a release without a press sends nothing
    EXPECT_EQ(link.sent, (Lines{"CMD:KD:17:0:1\n", "CMD:KD:18:0:1\n", "CMD:KD:81:0:1\n", "CMD:KU:18:0:1\n",
                                "CMD:KU:17:0:1\n", "CMD:KU:81:0:1\n", "CMD:KD:16:0:1\n", "CMD:KD:65:0:1\n",
                                "CMD:KD:65:0:1\n", "CMD:KU:16:0:1\n", "CMD:KU:65:0:1\n"}));
    layout = nullptr;  // no layout: no key is sent
    Down(A);
    EXPECT_EQ(link.sent.size(), 11);
}

}  // namespace
