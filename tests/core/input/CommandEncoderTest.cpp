#include "core/input/CommandEncoder.h"
#include "core/input/KeyCapture.h"
#include "core/input/PointMapping.h"
#include "support/FixedKeyboardLayout.h"
#include "support/SettableClock.h"

#include <QList>
#include <gtest/gtest.h>

namespace {

using input::CommandEncoder;
using input::MapearPontoRemoto;
using input::RemoteGeometry;

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
    void SolicitarEncerrarTelaRemota() override { ++endRequests; }

    session::SessionRecord session;
    bool connected = true;
    QList<QByteArray> sent;
    int endRequests = 0;
};

class CommandEncoderTest : public ::testing::Test {
protected:
    void Mouse(const char* action, int x, int y, int button = 1)
    {
        encoder.RemoteMouseFromView(QString::fromLatin1(action), x, y, button, 800, 600);
    }

    RecordingLink link;
    testing_support::SettableClock clock;
    CommandEncoder encoder{link, clock};
};

using Lines = QList<QByteArray>;

TEST(PointMappingTest, MapsTheFittedPictureBackToTheRemoteDesktop)
{
    const RemoteGeometry hd{0, 0, 1920, 1080};
    auto centre = MapearPontoRemoto(400, 300, 800, 600, hd);
    ASSERT_TRUE(centre);
    EXPECT_EQ(centre->x, 960);
    EXPECT_EQ(centre->y, 540);

    auto farEdge = MapearPontoRemoto(800, 525, 800, 600, hd);
    ASSERT_TRUE(farEdge);
    EXPECT_EQ(farEdge->x, 1920);
    EXPECT_EQ(farEdge->y, 1080);

    auto leftOfPrimary = MapearPontoRemoto(400, 300, 800, 600, {-1920, 0, 3840, 1080});
    ASSERT_TRUE(leftOfPrimary);
    EXPECT_EQ(leftOfPrimary->x, 0);
    EXPECT_EQ(leftOfPrimary->y, 542);
}

TEST(PointMappingTest, FailsInTheBandsWithoutGeometryAndOnOverflow)
{
    const RemoteGeometry hd{0, 0, 1920, 1080};
    EXPECT_FALSE(MapearPontoRemoto(10, 10, 800, 600, hd));
    EXPECT_FALSE(MapearPontoRemoto(400, 526, 800, 600, hd));
    EXPECT_FALSE(MapearPontoRemoto(400, 300, 800, 600, {0, 0, 0, 1080}));
    EXPECT_FALSE(MapearPontoRemoto(400, 300, 0, 600, hd));
    EXPECT_FALSE(MapearPontoRemoto(800, 300, 800, 600, {2147483000, 0, 1920, 1080}));
    EXPECT_FALSE(MapearPontoRemoto(-2147483647, 300, 800, 600, {0, 0, 1920, 1080}));
}

TEST_F(CommandEncoderTest, AClickTravelsAsOneCkAtTheReleasePoint)
{
    Mouse("MD", 400, 300);
    Mouse("MU", 400, 300);
    Mouse("MD", 400, 300, 2);
    Mouse("MU", 400, 300, 2);
    EXPECT_EQ(link.sent, (Lines{"CMD:CK:960:540:1\n", "CMD:CK:960:540:2\n"}));
}

TEST_F(CommandEncoderTest, APressThatWandersAtMostFourPixelsStaysAClick)
{
    Mouse("MD", 400, 300);
    clock.Advance(0.1f);
    Mouse("MM", 401, 300);  // 2.4 remote pixels
    Mouse("MU", 401, 300);
    EXPECT_EQ(link.sent, (Lines{"CMD:CK:962:540:1\n"}));
    EXPECT_FLOAT_EQ(encoder.Mouse().LastMoveAt, clock.Timer());
}

TEST_F(CommandEncoderTest, APressThatMovesFurtherBecomesADrag)
{
    Mouse("MD", 400, 300);
    clock.Advance(0.1f);
    Mouse("MM", 403, 300);  // 7.2 remote pixels
    EXPECT_TRUE(encoder.Mouse().Dragging);
    clock.Advance(0.1f);
    Mouse("MM", 410, 300);
    Mouse("MU", 410, 300);
    EXPECT_EQ(link.sent, (Lines{"CMD:MD:960:540:1\n", "CMD:MM:967:540:1\n", "CMD:MM:984:540:1\n",
                                "CMD:MU:984:540:1\n"}));
    EXPECT_FALSE(encoder.Mouse().Dragging);
}

TEST_F(CommandEncoderTest, ADragReleasedOverABandEndsAtThePicturesEdge)
{
    Mouse("MD", 400, 300);
    clock.Advance(0.1f);
    Mouse("MM", 420, 300);
    Mouse("MU", 420, 10);
    Mouse("MU", 420, 10);  // no drag any more: a release in the band is nothing
    EXPECT_EQ(link.sent, (Lines{"CMD:MD:960:540:1\n", "CMD:MM:1008:540:1\n", "CMD:MU:1008:0:1\n"}));
}

TEST_F(CommandEncoderTest, MovesCloserThanFortyMillisecondsAreDropped)
{
    Mouse("MM", 400, 300, 0);
    clock.Advance(0.02f);
    Mouse("MM", 500, 300, 0);
    clock.Advance(0.03f);
    Mouse("MM", 600, 300, 0);
    EXPECT_EQ(link.sent, (Lines{"CMD:MM:960:540:0\n", "CMD:MM:1440:540:0\n"}));

    clock.Set(86399.99f);  // across midnight
    Mouse("MM", 400, 300, 0);
    clock.Set(0.01f);
    Mouse("MM", 500, 300, 0);
    clock.Set(0.05f);
    Mouse("MM", 600, 300, 0);
    EXPECT_EQ(link.sent.size(), 4);
}

TEST_F(CommandEncoderTest, PointsOnTheFarEdgeAreClampedIntoTheDesktop)
{
    Mouse("MD", 800, 525);
    Mouse("MU", 800, 525);
    link.session.RemoteLeft = -1920;
    link.session.RemoteWidth = 3840;
    encoder.SendMouseCommand(QStringLiteral("MM"), -5000, -3, 0);
    EXPECT_EQ(link.sent, (Lines{"CMD:CK:1919:1079:1\n", "CMD:MM:-1920:0:0\n"}));
}

TEST_F(CommandEncoderTest, TheBlackBandsSendNothing)
{
    Mouse("MD", 10, 10);
    Mouse("MU", 10, 10);
    Mouse("MM", 10, 590, 0);
    EXPECT_TRUE(link.sent.isEmpty());
}

TEST_F(CommandEncoderTest, NothingLeavesWithoutAValidatedTechnicianLink)
{
    link.session.TelaConectada = false;
    Mouse("MU", 400, 300);
    encoder.RemoteKeyFromView(QStringLiteral("KD"), 65);
    link.session.TelaConectada = true;
    link.session.PapelTela = session::kCliente;
    Mouse("MU", 400, 300);
    link.session.PapelTela = session::kTecnico;
    link.connected = false;
    Mouse("MU", 400, 300);
    link.session.RemoteWidth = 0;
    link.connected = true;
    Mouse("MU", 400, 300);
    EXPECT_TRUE(link.sent.isEmpty());
}

TEST_F(CommandEncoderTest, KeyCodesOutsideOneTo255SendNothing)
{
    encoder.RemoteKeyFromView(QStringLiteral("KD"), 0);
    encoder.RemoteKeyFromView(QStringLiteral("KD"), 256);
    encoder.RemoteKeyFromView(QStringLiteral("KD"), -1);
    encoder.RemoteKeyFromView(QStringLiteral("KD"), 255);
    EXPECT_EQ(link.sent, (Lines{"CMD:KD:255:0:1\n"}));
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
}

TEST_F(KeyCaptureTest, FocusLossReleasesEveryHeldKeyLastPressedFirst)
{
    Down(Shift);
    Down(AltGr, 1);
    Down(Q, 0x81);
    link.sent.clear();
    keys.ReleaseAll();
    keys.ReleaseAll();
    EXPECT_EQ(link.sent, (Lines{"CMD:KU:81:0:1\n", "CMD:KU:18:0:1\n", "CMD:KU:17:0:1\n", "CMD:KU:16:0:1\n"}));

    layout = nullptr;  // no layout: no key is sent
    Down(A);
    EXPECT_EQ(link.sent.size(), 4);
}

TEST_F(CommandEncoderTest, TheRelayRouteSendsTheSameBytesOnlyForATechnicianRelay)
{
    link.session.RotaAutomatica = true;
    link.session.RelayAtivo = true;
    link.connected = false;
    encoder.RemoteKeyFromView(QStringLiteral("KD"), 65);  // gate open, relay socket not connected
    EXPECT_TRUE(link.sent.isEmpty());

    link.connected = true;
    encoder.RemoteKeyFromView(QStringLiteral("KD"), 65);
    EXPECT_TRUE(link.sent.isEmpty());  // PapelRelay not set

    link.session.PapelRelay = session::kTecnico;
    encoder.RemoteKeyFromView(QStringLiteral("KD"), 65);
    encoder.SendCommandTcp(QStringLiteral("ck"), 5, 6, 2);
    EXPECT_EQ(link.sent, (Lines{"CMD:KD:65:0:1\n", "CMD:CK:5:6:2\n"}));
}

}  // namespace
