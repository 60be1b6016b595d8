// A link that drops in the middle of play: the game's own client code keeps
// going, shows that it is getting back in, and gets its slot back with its
// token, its creature where it was; after a restart of the server it says
// so, keeps the new game's token and plays on in the new game.
#include "client/gameclient.h"
#include "console/render.h"
#include "console/sfont.h"
#include "net/netclient.h"
#include "net/relay.h"
#include "net/tokenfile.h"
#include "platform/platform.h"

namespace {

// One frame of the client as the game runs it, the pad showing dir.
void ClientFrame(uint8_t dir) {
    NetClientFrameStart();
    controlpad[0].dir = dir;
    ProcClient();
    NetClientFrameEnd();
    if (net_client.relinking)
        ShowStatusNote("reconnecting");
    struct timespec five = {0, 5 * 1000 * 1000};
    nanosleep(&five, nullptr);
}

// Frames until the player's x in the newest package differs from x, at most
// timeout_ms.
void FramesUntilMoved(uint8_t x, int timeout_ms) {
    for (long start = NowMs(); NowMs() - start < timeout_ms && net_client.package[PACKAGE_X] == x;)
        ClientFrame(255);
}

// The text of screen row y (the status row by default).
std::string StatusRow(int y = 29) {
    std::string row;
    for (int q = 0; q < 40; q++)
        row += (char)scch[q * 256 + y];
    return row;
}

TEST(Reconnect, ACutOfThreeSecondsEndsInTheSameSlotWithTheCreatureWhereItWas) {
    std::string dir = TempDir();
    setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "server", {"--players", "2", "--turn-ms", "100"}));
    DelayRelay relay;
    StartRelay(relay, s.port, 20);
    ASSERT_TRUE(NetJoin("reconnect", ("127.0.0.1:" + std::to_string(relay.port)).c_str()));
    NetClientStart();
    Screen_Width = 320;
    Screen_Height = 240;
    charx = chary = 8;
    for (long start = NowMs(); NowMs() - start < 3000 && net_client.packages == 0;)
        ClientFrame(255);
    uint8_t x = net_client.package[PACKAGE_X];
    ClientFrame(2); // a step right
    FramesUntilMoved(x, 3000);
    ASSERT_NE(net_client.package[PACKAGE_X], x);
    x = net_client.package[PACKAGE_X];
    uint8_t y = net_client.package[PACKAGE_Y], slot = net_client.slot;

    relay.cut = true;
    bool relinked = false, shown = false;
    for (long start = NowMs(); NowMs() - start < 3000;) {
        ClientFrame(255);
        relinked = relinked || net_client.relinking;
        shown = shown ||
                (net_client.relinking && StatusRow().find("reconnecting") != std::string::npos);
    }
    relay.cut = false;
    long back = NowMs(), took = -1;
    uint32_t seen = net_client.packages;
    for (; NowMs() - back < 10000 && !net_client.lost; ClientFrame(255))
        if (!net_client.relinking && net_client.packages > seen + 1) {
            took = NowMs() - back;
            break;
        }
    printf("reconnect: link back after a 3 s cut, playing again %ld ms later\n", took);
    EXPECT_TRUE(relinked);
    EXPECT_TRUE(shown);
    EXPECT_GE(took, 0);
    EXPECT_FALSE(net_client.lost);
    EXPECT_EQ(net_client.slot, slot);
    EXPECT_EQ(net_client.package[PACKAGE_X], x);
    EXPECT_EQ(net_client.package[PACKAGE_Y], y);
    // Commands go on as before.
    ClientFrame(6); // a step back left
    FramesUntilMoved(x, 3000);
    EXPECT_EQ(net_client.package[PACKAGE_X], x - 1);

    kill(s.pid, SIGTERM);
    for (long start = NowMs(); !net_client.lost && !net_client.relinking && NowMs() - start < 5000;)
        ClientFrame(255);
    NetLeave();
    EXPECT_EQ(WaitServer(s, 10000), 0);
    StopRelay(relay);
    std::string out = ReadFile(s.out);
    EXPECT_EQ(out.find("slot 1"), std::string::npos) << out;
}

// The server, killed or stopped (the service's restart), comes back on its
// port: the player waits for it, saying how on the status row.
class Restart : public testing::TestWithParam<int> {};

TEST_P(Restart, ARestartedServerIsNamedAndTheNewGameIsPlayed) {
    const int sig = GetParam();
    std::string dir = TempDir();
    setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "first", {"--players", "2", "--turn-ms", "100"}));
    uint16_t port = s.port;
    ASSERT_TRUE(NetJoin("restart", ("127.0.0.1:" + std::to_string(port)).c_str()));
    NetClientStart();
    Screen_Width = 320;
    Screen_Height = 240;
    charx = chary = 8;
    char path[4096];
    ASSERT_TRUE(TokenPath("127.0.0.1", port, 1, path, sizeof path));
    std::string token = ReadFile(path);
    for (long start = NowMs(); NowMs() - start < 3000 && net_client.packages == 0;)
        ClientFrame(255);
    for (int k = 0; k < 3; k++) { // three taps: the command numbers move on
        uint8_t x = net_client.package[PACKAGE_X];
        ClientFrame(2);
        FramesUntilMoved(x, 3000);
    }
    kill(s.pid, sig);
    EXPECT_EQ(WaitServer(s, 5000), sig == SIGTERM ? 0 : -1);
    ASSERT_TRUE(StartServer(
        s, dir, "second", {"--players", "2", "--turn-ms", "100", "--port", std::to_string(port)}));
    ASSERT_EQ(s.port, port);
    testing::internal::CaptureStderr();
    bool back = false;
    std::string note, waiting;
    for (long start = NowMs(); NowMs() - start < 15000 && !back && !net_client.lost;) {
        ClientFrame(255);
        if (net_client.relinking && NetClientNote())
            waiting = NetClientNote();
        if (NetClientNote() && !net_client.relinking) {
            ShowStatusNote(NetClientNote());
            note = StatusRow(28).substr(2) + "|" + StatusRow(29).substr(27);
            back = true;
        }
    }
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(back) << err;
    const char *stopped = "the server stopped; waiting for it to come back";
    EXPECT_EQ(waiting, sig == SIGTERM ? stopped : "reconnecting");
    EXPECT_EQ(err, std::string(sig == SIGTERM ? "restart: " + std::string(stopped) + "\n" : "") +
                       "restart: the server restarted: you are player 1 in a new game\n");
    EXPECT_EQ(note, "the server restarted: you are player 1|in a new game");
    std::string fresh = ReadFile(path);
    EXPECT_NE(fresh, token);
    EXPECT_EQ(fresh.size(), token.size());
    // The new game takes this player's commands from the first on.
    uint8_t x = net_client.package[PACKAGE_X];
    for (long start = NowMs(); NowMs() - start < 3000 && net_client.packages < 2;)
        ClientFrame(255);
    x = net_client.package[PACKAGE_X];
    ClientFrame(2);
    FramesUntilMoved(x, 3000);
    EXPECT_EQ(net_client.package[PACKAGE_X], x + 1);
    kill(s.pid, SIGTERM);
    for (long start = NowMs(); !net_client.lost && !net_client.relinking && NowMs() - start < 5000;)
        ClientFrame(255);
    NetLeave();
    EXPECT_EQ(WaitServer(s, 10000), 0);
}

INSTANTIATE_TEST_SUITE_P(KilledOrStopped, Restart, testing::Values(SIGKILL, SIGTERM));

// A game killed after three commands and started again with its token numbers
// its commands on from the server's count: three taps in quick succession
// are three moves, none overwriting another. When it quits, the slot of the
// full server goes to the next player at once.
TEST(Reconnect, ARestartedGameNumbersOnAndAQuitFreesTheSlot) {
    std::string dir = TempDir();
    setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "server", {"--players", "1", "--turn-ms", "100"}));
    TestClient before, next;
    ASSERT_TRUE(Join(before, s.port));
    Walk(before, 3, 5000, [&] { return before.seq >= 3 && NetSeqReached(before.ack, before.seq); });
    Vanish(before);
    char path[4096];
    ASSERT_TRUE(TokenPath("127.0.0.1", s.port, 1, path, sizeof path));
    ASSERT_TRUE(SaveToken("restart", path, before.token));
    ASSERT_TRUE(NetJoin("restart", ("127.0.0.1:" + std::to_string(s.port)).c_str()));
    NetClientStart();
    for (long start = NowMs(); NowMs() - start < 3000 && net_client.packages < 2;)
        ClientFrame(255);
    uint8_t x = net_client.package[PACKAGE_X];
    for (int tap = 0; tap < 6; tap++)
        ClientFrame(tap % 2 ? 255 : 6);
    for (long start = NowMs(); NowMs() - start < 1500;)
        ClientFrame(255);
    EXPECT_EQ(net_client.package[PACKAGE_X], x - 3);
    NetLeave();
    EXPECT_TRUE(Join(next, s.port));
    kill(s.pid, SIGTERM);
    EXPECT_EQ(WaitServer(s, 10000), 0);
}

} // namespace
