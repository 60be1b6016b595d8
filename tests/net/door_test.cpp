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

#include "net/online.h"
#include "net/webdoor.h"

namespace {

// A TCP connection to the door, -1 when it could not be made.
int Dial(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && connect(fd, (sockaddr *)&a, sizeof a) != 0) {
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
    return write(fd, bytes.data(), bytes.size()) == (ssize_t)bytes.size();
}

// A WebSocket connection made through the handshake, else -1.
int Open(uint16_t port) {
    int fd = Dial(port);
    if (fd >= 0 && (!Put(fd, Upgrade()) || ReadHead(fd, 3000).find(" 101 ") == std::string::npos)) {
        close(fd);
        return -1;
    }
    return fd;
}

// The payload of the next server frame (unmasked, at most 64 KiB), or ""
// at a close, a close frame or a time-out.
std::string NextMessage(int fd, int ms) {
    std::string h = ReadSome(fd, 2, ms);
    if (h.size() == 1)
        h += ReadSome(fd, 1, ms);
    if (h.size() < 2 || ((uint8_t)h[0] & 15) == 8)
        return "";
    size_t n = (uint8_t)h[1] & 127;
    if (n == 126) {
        std::string l = ReadSome(fd, 2, ms);
        n = l.size() == 2 ? (size_t)(uint8_t)l[0] << 8 | (uint8_t)l[1] : 0;
    }
    std::string p;
    while (p.size() < n) {
        std::string more = ReadSome(fd, n - p.size(), ms);
        if (more.empty())
            return "";
        p += more;
    }
    return p;
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

// A door server on a free port with a web root beside a secret file.
struct DoorTest : ::testing::Test {
    Server s;
    uint16_t web = 0;
    std::string dir = TempDir();
    void SetUp() override {
        if (!MD_DOOR) // a cross build without the ARM libwebsockets
            GTEST_SKIP() << "this build has no WebSocket door";
        ASSERT_EQ(mkdir((dir + "/site").c_str(), 0755), 0);
        WriteFile(dir + "/site/index.html", "the page");
        WriteFile(dir + "/secret.html", "SECRET");
        ASSERT_EQ(symlink((dir + "/secret.html").c_str(), (dir + "/site/out.html").c_str()), 0);
        ASSERT_TRUE(
            StartServer(s, dir, "server",
                        {"--turn-ms", "50", "--turns", "4000", "--hash-every", "0", "--spectators",
                         "2", "--web-port", "0", "--web-root", dir + "/site"}));
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

struct Fetch {
    const char *request;
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
    };
    for (const Fetch &f : table) {
        int fd = Dial(web);
        ASSERT_GE(fd, 0);
        Put(fd, std::string(f.request) + "\r\nHost: x\r\nContent-Length: 0\r\n\r\n");
        std::string head = ReadHead(fd, 3000), body = ReadSome(fd, 100, 500);
        close(fd);
        EXPECT_EQ(head.find(" 200 ") != std::string::npos, f.served) << f.request << "\n" << head;
        EXPECT_EQ((head + body).find("SECRET"), std::string::npos) << f.request;
    }
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
    enet_host_destroy(enet.host);
}

// Bad frames, each on a fresh connection after a handshake.
struct BadFrame {
    const char *what;
    std::string bytes;
};

TEST_F(DoorTest, BadFramesEndTheirConnectionOnly) {
    std::string big(DOOR_IN_MAX + 1, 'x');
    big[0] = MSG_HELLO;
    std::string huge_len = std::string("\x82\xff", 2) + std::string(8, '\x7f');
    const BadFrame table[] = {
        {"text frame", Frame(0x81, Hello())},
        {"oversized frame", Frame(0x82, big)},
        {"oversized in pieces", Frame(0x02, big.substr(0, 1000)) + Frame(0x80, big.substr(1000))},
        {"reserved bits", Frame(0xf2, Hello())},
        {"64-bit length", huge_len + "\x11\x22\x33\x44"},
        {"unknown opcode", Frame(0x83, Hello())},
        {"continuation first", Frame(0x80, Hello())},
    };
    for (const BadFrame &b : table) {
        int fd = Open(web);
        ASSERT_GE(fd, 0) << b.what;
        Put(fd, b.bytes);
        EXPECT_TRUE(Closed(fd, 3000)) << b.what;
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
    Put(huge, Upgrade("X-Filler: " + std::string(8000, 'a') + "\r\n"));
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

} // namespace
