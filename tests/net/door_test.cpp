// The server's WebSocket door from outside, over raw TCP: files only from
// the web root, WebSocket players beside ENet players, and bad peers
// (malformed or oversized frames, slow or huge handshakes, the message
// fuzzer's corpus) that must neither stop the server nor be told success.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/followers.h"
#include "net/online.h"
#include "net/webdoor.h"

namespace {

// A TCP connection to the door from a loopback address, else -1.
int Dial(uint16_t port, const char *from = "127.0.0.1") {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {}, local = {};
    local.sin_family = a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    inet_pton(AF_INET, from, &local.sin_addr);
    if (fd >= 0 && (bind(fd, (sockaddr *)&local, sizeof local) != 0 ||
                    connect(fd, (sockaddr *)&a, sizeof a) != 0)) {
        close(fd);
        return -1;
    }
    return fd;
}

// Reads up to n bytes within ms; "" at a close or time-out.
std::string ReadSome(int fd, size_t n, int ms) {
    pollfd p = {fd, POLLIN, 0};
    std::string got(n, '\0');
    ssize_t r = poll(&p, 1, ms) == 1 ? read(fd, &got[0], n) : -1;
    return r > 0 ? got.substr(0, (size_t)r) : "";
}

// Reads until the end of the HTTP head (or close, or ms); the head.
std::string ReadHead(int fd, int ms) {
    std::string head;
    for (long start = NowMs();
         head.find("\r\n\r\n") == std::string::npos && NowMs() - start < ms;) {
        std::string more = ReadSome(fd, 1, ms);
        if (more.empty())
            break;
        head += more;
    }
    return head;
}

// The request line and headers of a WebSocket handshake.
std::string Upgrade(const std::string &extra = "") {
    return "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n" +
           extra + "\r\n";
}

// One masked client frame, its first byte (FIN and opcode) as given.
std::string Frame(uint8_t first, const std::string &payload) {
    std::string f(1, (char)first);
    const bool masked = true;
    uint8_t m = 0x80;
    size_t n = payload.size();
    if (n < 126) {
        f += (char)(m | n);
    } else {
        f += (char)(m | 126);
        f += (char)(n >> 8);
        f += (char)n;
    }
    const char key[4] = {0x11, 0x22, 0x33, 0x44};
    if (masked)
        f.append(key, 4);
    for (size_t i = 0; i < n; i++)
        f += (char)(payload[i] ^ (masked ? key[i % 4] : 0));
    return f;
}

bool Put(int fd, const std::string &bytes) {
    return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == (ssize_t)bytes.size();
}

// A WebSocket connection made through the handshake, else -1.
int Open(uint16_t port, const char *from = "127.0.0.1") {
    int fd = Dial(port, from);
    if (fd >= 0 && (!Put(fd, Upgrade()) || ReadHead(fd, 3000).find(" 101 ") == std::string::npos)) {
        close(fd);
        return -1;
    }
    return fd;
}

// The next server frame within ms, read to its last byte: its opcode, -1
// at a close or time-out.
int NextFrame(int fd, std::string *p, int ms) {
    std::string h = ReadSome(fd, 2, ms); // whole: the door writes a frame at once
    if (h.size() < 2)
        return -1;
    size_t n = (uint8_t)h[1] & 127, wide = n == 126 ? 2 : n == 127 ? 8 : 0;
    n = wide ? 0 : n;
    for (char b : wide ? ReadSome(fd, wide, 1000) : "")
        n = n << 8 | (uint8_t)b;
    for (p->clear(); p->size() < n && n < (1u << 24);) {
        std::string more = ReadSome(fd, n - p->size(), 1000);
        if (more.empty())
            return -1;
        *p += more;
    }
    return (uint8_t)h[0] & 15;
}

// The payload of the next server frame, or "" at a close, a close frame or
// a time-out.
std::string NextMessage(int fd, int ms) {
    std::string p;
    int op = NextFrame(fd, &p, ms);
    return op >= 0 && op != 8 ? p : "";
}

// The close code a connection is ended with within ms, -1 none.
int CloseCode(int fd, int ms) {
    std::string p;
    for (int op = 0; op >= 0; op = NextFrame(fd, &p, ms))
        if (op == 8)
            return p.size() >= 2 ? (uint8_t)p[0] << 8 | (uint8_t)p[1] : 0;
    return -1;
}

// Whether the server ends the connection within ms (a close frame or EOF).
bool Closed(int fd, int ms) {
    for (long start = NowMs(); NowMs() - start < ms;) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 50) != 1)
            continue;
        char b[4096];
        ssize_t r = read(fd, b, sizeof b);
        if (r <= 0 || ((uint8_t)b[0] == 0x88))
            return true;
    }
    return false;
}

std::string Hello() {
    std::string h(MSG_HELLO_SIZE, '\0');
    h[0] = MSG_HELLO;
    memcpy(&h[1], NET_MAGIC, 4);
    h[6] = NET_VERSION;
    return h;
}

// A spectator's ask for the server's data.
std::string FollowAsk() {
    std::string m(MSG_FOLLOW_ASK_SIZE, '\0');
    NetMakeFollowAsk((uint8_t *)&m[0], DataHash());
    return m;
}

// A WebSocket connection from a loopback address that sent one message.
int Sent(uint16_t port, const char *from, const std::string &message) {
    int fd = Open(port, from);
    EXPECT_TRUE(fd >= 0 && Put(fd, Frame(0x82, message))) << from;
    return fd;
}

// A door server on a free port with a web root beside a secret file, a
// turn every turn_ms.
template <int turn_ms> struct DoorAt : ::testing::Test {
    Server s;
    uint16_t web = 0;
    std::string dir = TempDir();
    void SetUp() override {
        if (!MD_DOOR) // a cross build without the ARM libwebsockets
            GTEST_SKIP() << "this build has no WebSocket door";
        ASSERT_EQ(mkdir((dir + "/site").c_str(), 0755), 0);
        WriteFile(dir + "/site/index.html", "the page");
        WriteFile(dir + "/secret.html", "SECRET");
        // A link out of the root into a folder whose path starts as the root's.
        ASSERT_EQ(mkdir((dir + "/site-out").c_str(), 0755), 0);
        WriteFile(dir + "/site-out/secret.html", "SECRET");
        ASSERT_EQ(
            symlink((dir + "/site-out/secret.html").c_str(), (dir + "/site/out.html").c_str()), 0);
        ASSERT_TRUE(StartServer(
            s, dir, "server",
            {"--turn-ms", std::to_string(turn_ms), "--turns", "4000", "--hash-every", "0",
             "--spectators", "12", "--web-port", "0", "--web-root", dir + "/site", "--web-origin",
             "https://ok.example,http://b.example:8080", "--web-origin", "http://c.example"}));
        std::string out = ReadFile(s.out);
        size_t at = out.find("join at http://127.0.0.1:");
        ASSERT_NE(at, std::string::npos) << out;
        web = (uint16_t)atoi(out.c_str() + at + strlen("join at http://127.0.0.1:"));
    }
    void TearDown() override {
        if (s.pid > 0)
            kill(s.pid, SIGTERM);
        if (s.pid > 0)
            WaitServer(s, 10000);
    }
    // A good player still gets in: a welcome to a hello; its slot.
    int GoodJoin() {
        int fd = Open(web);
        std::string w = fd >= 0 && Put(fd, Frame(0x82, Hello())) ? NextMessage(fd, 3000) : "";
        if (fd >= 0)
            close(fd);
        return w.size() == MSG_WELCOME_SIZE && w[0] == MSG_WELCOME ? w[1] : -1;
    }
};

using DoorTest = DoorAt<50>;

struct Fetch {
    std::string request;
    bool served;
};

TEST_F(DoorTest, ServesGetFromTheRootOnly) {
    const Fetch table[] = {
        {"GET / HTTP/1.1", true},
        {"GET /index.html HTTP/1.1", true},
        {"GET /out.html HTTP/1.1", false}, // a symbolic link out of the root
        {"GET /../secret.html HTTP/1.1", false},
        {"GET /%2e%2e/secret.html HTTP/1.1", false},
        {"GET /%2E%2E/%2e%2e/etc/passwd HTTP/1.1", false},
        {"GET /..%2fsecret.html HTTP/1.1", false},
        {"GET /nothere.html HTTP/1.1", false},
        {"POST /index.html HTTP/1.1", false},
        {"PUT /new.html HTTP/1.1", false},
        {"GET / HTTP/1.1\r\nOrigin: http://x", true}, // the page's own
        {"GET / HTTP/1.1\r\nOrigin: http://c.example", true},
        {"GET / HTTP/1.1\r\nOrigin: http://evil.example", false},
        {"GET / HTTP/1.1\r\nOrigin: http://x.evil.example", false},
        {"GET / HTTP/1.1\r\nCookie: " + std::string(DOOR_HEADER_MAX - 200, 'c'), true},
        {"GET / HTTP/1.1\r\nCookie: " + std::string(DOOR_HEADER_MAX + 100, 'c'), false},
    };
    for (const Fetch &f : table) {
        int fd = Dial(web);
        ASSERT_GE(fd, 0);
        Put(fd, f.request + "\r\nHost: x\r\nContent-Length: 0\r\n\r\n");
        std::string head = ReadHead(fd, 3000), body = ReadSome(fd, 100, 500);
        close(fd);
        EXPECT_EQ(head.find(" 200 ") != std::string::npos, f.served) << f.request.substr(0, 99);
        EXPECT_EQ((head + body).find("SECRET"), std::string::npos) << f.request;
    }
    EXPECT_TRUE(AwaitText(s.out, "door: refused origin http://evil.example (127.0.0.1:", 3000));
    EXPECT_EQ(ReadFile(dir + "/site/index.html"), "the page");
    EXPECT_FALSE(access((dir + "/site/new.html").c_str(), F_OK) == 0);
}

TEST_F(DoorTest, WebSocketAndEnetPlayersShareTheSlots) {
    EnetUp();
    TestClient enet;
    ASSERT_TRUE(Join(enet, s.port));
    EXPECT_EQ(enet.slot, 0);
    int fd = Open(web);
    ASSERT_GE(fd, 0);
    Put(fd, Frame(0x82, Hello()));
    std::string w = NextMessage(fd, 3000);
    ASSERT_EQ(w.size(), (size_t)MSG_WELCOME_SIZE);
    EXPECT_EQ(w[1], 1);
    ASSERT_TRUE(AwaitText(s.out, "slot 1 joined (127.0.0.1:", 3000));
    std::string p = NextMessage(fd, 3000);
    EXPECT_EQ(p.size(), (size_t)MSG_PACKAGE_SIZE);
    // Its token brings it back into its slot after a lost connection.
    std::string again = Hello();
    memcpy(&again[7], &w[8], 8);
    close(fd);
    ASSERT_TRUE(AwaitText(s.out, "slot 1 lost", 3000));
    fd = Open(web);
    Put(fd, Frame(0x82, again));
    w = NextMessage(fd, 3000);
    ASSERT_EQ(w.size(), (size_t)MSG_WELCOME_SIZE);
    EXPECT_EQ(w[1], 1);
    // The goodbye frees it at once.
    Put(fd, Frame(0x88, std::string("\x0f\xa2", 2))); // close code 4002: leaving
    EXPECT_TRUE(AwaitText(s.out, "slot 1 left", 3000));
    close(fd);
    std::string taken = Hello(); // the ENet player's token taken to the door ends it
    PutBE64((uint8_t *)&taken[7], enet.token);
    fd = Sent(web, "127.0.0.1", taken);
    EXPECT_TRUE(AwaitText(s.out, "slot 0 replaced by a new connection (127.0.0.1:", 3000));
    close(fd);
    enet_host_destroy(enet.host);
}

// Bad frames, each on a fresh connection after a handshake, and their close code.
struct BadFrame {
    const char *what;
    std::string bytes;
    int code;
};

TEST_F(DoorTest, BadFramesEndTheirConnectionOnly) {
    std::string big(DOOR_IN_MAX + 1, 'x');
    big[0] = MSG_HELLO;
    std::string huge_len = std::string("\x82\xff", 2) + std::string(8, '\x7f');
    const BadFrame table[] = {
        {"text frame", Frame(0x81, Hello()), 1003},
        {"oversized frame", Frame(0x82, big), 1009},
        {"oversized in pieces", Frame(0x02, big.substr(0, 1000)) + Frame(0x80, big.substr(1000)),
         1009},
        {"reserved bits", Frame(0xf2, Hello()), 1002},
        {"64-bit length", huge_len + "\x11\x22\x33\x44" + "abcd", 1009},
        {"unknown opcode", Frame(0x83, Hello()), 1002},
        {"continuation first", Frame(0x80, Hello()), 1002},
    };
    for (const BadFrame &b : table) {
        int fd = Open(web);
        ASSERT_GE(fd, 0) << b.what;
        Put(fd, b.bytes);
        EXPECT_EQ(CloseCode(fd, 3000), b.code) << b.what;
        close(fd);
    }
    EXPECT_EQ(ReadFile(s.out).find("joined"), std::string::npos) << ReadFile(s.out);
    EXPECT_EQ(GoodJoin(), 0);
}

TEST_F(DoorTest, SlowOrHugeHandshakesAreCutOff) {
    int slow = Dial(web);
    ASSERT_GE(slow, 0);
    Put(slow, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n"); // and nothing more
    int huge = Dial(web);
    ASSERT_GE(huge, 0);
    Put(huge, Upgrade("X-Filler: " + std::string(4 * DOOR_HEADER_MAX, 'a') + "\r\n"));
    EXPECT_EQ(ReadHead(huge, 3000).find(" 101 "), std::string::npos);
    EXPECT_EQ(GoodJoin(), 0); // served meanwhile
    EXPECT_TRUE(Closed(slow, 4000 + DOOR_HANDSHAKE_S * 1000));
    close(slow);
    close(huge);
}

TEST_F(DoorTest, EachAddressHasItsShare) {
    std::vector<int> fds;
    for (int i = 0; i < NET_PER_ADDRESS; i++)
        fds.push_back(Open(web));
    for (int fd : fds)
        EXPECT_GE(fd, 0);
    EXPECT_EQ(Open(web), -1); // one more from the same address is refused
    for (int fd : fds)
        close(fd);
}

TEST_F(DoorTest, FuzzCorpusOverFramesLeavesTheServerServing) {
    int sent = 0;
    for (const char *set : {"netserver", "clientmsg"}) {
        std::string folder = std::string(MD_SOURCE_DIR) + "/fuzz/corpus/" + set;
        DIR *d = opendir(folder.c_str());
        ASSERT_NE(d, nullptr) << folder;
        for (dirent *e = readdir(d); e; e = readdir(d)) {
            std::string bytes = ReadFile(folder + "/" + e->d_name);
            int fd = e->d_name[0] == '.' ? -1 : Open(web);
            for (size_t at = 0; fd >= 0 && at < bytes.size(); at += 64)
                Put(fd, Frame(0x82, bytes.substr(at, 64)));
            if (fd >= 0) { // leaving, so a slot taken is free again
                Put(fd, Frame(0x88, std::string("\x0f\xa2", 2)));
                sent++;
                close(fd);
            }
        }
        closedir(d);
    }
    EXPECT_GE(sent, 10);
    struct timespec rest = {0, 300 * 1000 * 1000};
    nanosleep(&rest, nullptr);
    EXPECT_EQ(kill(s.pid, 0), 0);
    EXPECT_GE(GoodJoin(), 0);
}

TEST_F(DoorTest, ARefusedConnectionTouchesOnlyItself) {
    // Four players and twelve spectators, alternating, fill the table, two
    // addresses' shares; a third address's connection and one over a share
    // are refused.
    std::vector<int> in;
    const char *from[] = {"127.0.0.2", "127.0.0.3"};
    for (int i = 0; i < DOOR_CONNS; i++)
        in.push_back(Sent(web, from[i % 2], i < MAX_CLIENTS ? Hello() : FollowAsk()));
    ASSERT_TRUE(AwaitText(s.out, "slot 3 joined", 5000));
    EXPECT_EQ(Open(web, "127.0.0.4"), -1);
    EXPECT_EQ(Open(web, from[0]), -1);
    std::string p; // once the frames already come are taken, each gets more
    for (int fd : in)
        while (NextFrame(fd, &p, 0) >= 0) {
        }
    for (int fd : in)
        EXPECT_EQ(NextFrame(fd, &p, 5000), 2) << fd;
    EXPECT_EQ(ReadFile(s.out).find(" lost"), std::string::npos) << ReadFile(s.out);
    for (int fd : in)
        close(fd);
}

TEST_F(DoorTest, TheShareOfAnAddressCountsBothCarriers) {
    EnetUp();
    std::vector<TestClient> c(3); // two players and one more
    for (int i = 0; i < 2; i++)
        ASSERT_TRUE(Join(c[i], s.port));
    std::vector<int> in; // spectators: kept
    for (size_t i = 2; i < NET_PER_ADDRESS; i++)
        in.push_back(Sent(web, "127.0.0.1", FollowAsk()));
    EXPECT_EQ(Open(web), -1);                  // the door sees the ENet peers
    EXPECT_FALSE(Connect(c[2], s.port, 2000)); // and ENet the door's connections
    close(in.back());
    in.pop_back();
    ASSERT_TRUE(AwaitText(s.out, "spectator left", 3000));
    enet_host_destroy(c[2].host);
    EXPECT_TRUE(Connect(c[2], s.port, 5000));
    for (int fd : in)
        close(fd);
    for (TestClient &t : c)
        enet_host_destroy(t.host);
}

// The door's send queue, in this process, holds messages to its last byte,
// each with a 2-byte length, and not one byte more.
TEST_F(DoorTest, TheSendQueueHoldsMessagesToItsLastByte) {
    uint16_t port = 0;
    ASSERT_TRUE(DoorOpen("127.0.0.1", 0, dir.c_str(), -1, nullptr, &port));
    int fd = Dial(port), k = -1;
    Put(fd, Upgrade());
    static DoorEvent ev;
    for (long start = NowMs(); k < 0 && NowMs() - start < 5000;)
        if (DoorWait(10), DoorNext(&ev) && ev.type == DOOR_JOINED)
            k = ev.conn;
    static const uint8_t m[1000] = {};
    const size_t fit = DOOR_QUEUE / (sizeof m + 2), rest = DOOR_QUEUE - fit * (sizeof m + 2);
    for (size_t i = 0; i < fit; i++)
        EXPECT_TRUE(DoorSend(k, m, sizeof m, true));
    EXPECT_FALSE(DoorSend(k, m, rest - 1, true));
    EXPECT_TRUE(DoorSend(k, m, rest - 2, true));
    EXPECT_FALSE(DoorSend(k, m, 1, true));
    DoorClose();
    close(fd);
}

using FastDoorTest = DoorAt<5>;

TEST_F(FastDoorTest, ABrowserSpectatorFarBehindIsNotDropped) {
    // Four players whose commands change every turn make a fast stream: a
    // spectator that joins finds far more than its window to catch up on.
    std::vector<int> players;
    for (int i = 0; i < MAX_CLIENTS; i++)
        players.push_back(Sent(web, i < 2 ? "127.0.0.2" : "127.0.0.3", Hello()));
    std::string command = (char)MSG_COMMAND + std::string(MSG_COMMAND_SIZE - 1, '\0');
    for (uint32_t seq = 1; seq < 200; seq++) {
        PutBE32((uint8_t *)&command[1], seq);
        for (int fd : players) {
            for (int i = 0; i < CLIENT_SLOT; i++) // every byte changes
                command[MSG_COMMAND_HEAD + i] = (char)(seq * 7 + (uint32_t)(fd * i));
            Put(fd, Frame(0x82, command));
        }
        SleepFor(5);
    }
    players.push_back(Sent(web, "127.0.0.1", FollowAsk()));
    int spectator = players.back();
    std::string p;
    int op = 0;
    for (long start = NowMs(); NowMs() - start < 3000 && (op == 0 || op == 2 || op == 9);)
        op = NextFrame(spectator, &p, 2000); // binary, or 9: a ping
    EXPECT_TRUE(op == 2 || op == 9) << op << ": a close frame, EOF or silence";
    EXPECT_EQ(ReadFile(s.out).find("spectator left"), std::string::npos) << ReadFile(s.out);
    // The players' queues have run across their ends: their packages whole.
    for (int n = 0; n < 200 && NextFrame(players[0], &p, 3000) == 2; n++)
        ASSERT_TRUE(p[0] == MSG_WELCOME || (p.size() == MSG_PACKAGE_SIZE && p[0] == MSG_PACKAGE))
            << n;
    for (int fd : players)
        close(fd);
}

} // namespace
