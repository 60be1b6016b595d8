// Helpers of the on-line tests: the dedicated server as a child process on a
// free loopback port, and a small in-process ENet client that can send any
// bytes at all, well-formed or not.
#ifndef MD_TESTS_NET_ONLINE_H
#define MD_TESTS_NET_ONLINE_H

#include <arpa/inet.h>
#include <enet/enet.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/testsupport.h"
#include "wire/protocol.h"
#include "world/package.h"
#include "world/world.h"

// A fresh empty folder for a test's files, without moving into it.
inline std::string TempDir() {
    const char *tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/mdnet.XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    if (!mkdtemp(buf.data()))
        abort();
    return buf.data();
}

// Milliseconds on the monotonic clock.
inline long NowMs() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

// A dedicated server started for a test.
struct Server {
    pid_t pid = -1;
    std::string out, err;
    uint16_t port = 0;
};

// Starts the server on a free loopback port with the given extra options and
// waits (at most 20 s, for emulated runs) until it says where it listens.
inline bool StartServer(Server &s, const std::string &dir, const std::string &name,
                        const std::vector<std::string> &options) {
    std::vector<std::string> args = {BuildProgram("marrowdigger-server"),
                                     "--data",
                                     DataDir(),
                                     "--bind",
                                     "127.0.0.1",
                                     "--port",
                                     "0"};
    args.insert(args.end(), options.begin(), options.end());
    s.out = dir + "/" + name + ".out";
    s.err = dir + "/" + name + ".err";
    s.pid = StartProgram(args, s.out, s.err);
    if (s.pid < 0)
        return false;
    for (long start = NowMs(); NowMs() - start < 20000;) {
        std::string text = ReadFile(s.out);
        size_t at = text.find("listening on 127.0.0.1:");
        if (at != std::string::npos && text.find('\n', at) != std::string::npos) {
            s.port = (uint16_t)atoi(text.c_str() + at + strlen("listening on 127.0.0.1:"));
            return s.port != 0;
        }
        struct timespec ten = {0, 10 * 1000 * 1000};
        nanosleep(&ten, nullptr);
    }
    return false;
}

// Waits for the server to end by itself (at most timeout_ms); the exit
// status, or -1 when it had to be killed or died of a signal.
inline int WaitServer(Server &s, int timeout_ms) {
    bool timed_out = false;
    int status = WaitProgram(s.pid, timeout_ms, &timed_out);
    s.pid = -1;
    return !timed_out && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Exit status of a child that ended by itself within timeout_ms, else -1.
inline int ExitStatus(pid_t pid, int timeout_ms) {
    bool timed_out = false;
    int status = WaitProgram(pid, timeout_ms, &timed_out);
    return !timed_out && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Replays a record offline with the data folder data, a hash line every
// `every` turns, into dir/replay.out and dir/replay.err; the exit status.
inline int Replay(const std::string &rec, const std::string &data, int every,
                  const std::string &dir) {
    return ExitStatus(StartProgram({BuildProgram("marrowdigger-server"), "--data", data,
                                    "--hash-every", std::to_string(every), "--replay", rec},
                                   dir + "/replay.out", dir + "/replay.err"),
                      60000);
}

// Waits (at most timeout_ms) for text to appear in a file.
inline bool AwaitText(const std::string &path, const std::string &text, int timeout_ms) {
    for (long start = NowMs(); NowMs() - start < timeout_ms;) {
        if (ReadFile(path).find(text) != std::string::npos)
            return true;
        struct timespec ten = {0, 10 * 1000 * 1000};
        nanosleep(&ten, nullptr);
    }
    return false;
}

// The "turn T hash H" lines of a server's output, by turn.
inline std::map<unsigned, std::string> HashLines(const std::string &text) {
    std::map<unsigned, std::string> lines;
    std::istringstream in(text);
    std::string word, hash;
    unsigned t;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream l(line);
        if (l >> word && word == "turn" && l >> t >> word && word == "hash" && l >> hash)
            lines[t] = hash;
    }
    return lines;
}

// A count from the server's closing totals line, e.g. "garbage" or "turns".
inline long Total(const std::string &text, const std::string &name) {
    size_t at = text.find("marrowdigger-server: ");
    at = text.find(" turns;", at);
    if (at == std::string::npos)
        return -1;
    if (name == "turns") {
        size_t from = text.rfind(' ', at - 1);
        return atol(text.c_str() + from + 1);
    }
    size_t w = text.find(" " + name + " ", at);
    return w == std::string::npos ? -1 : atol(text.c_str() + w + name.size() + 2);
}

// An in-process ENet client that sends whatever a test gives it.
struct TestClient {
    ENetHost *host = nullptr;
    ENetPeer *peer = nullptr;
    int slot = -1;             // slot of the welcome, -1 before
    int refused = 0;           // reason of a refusal, 0 none
    uint64_t token = 0;        // token of the welcome
    uint32_t seq = 0;          // number of the last command sent
    uint32_t ack = 0;          // number of the last command applied, from the newest package
    uint8_t pkg[PACKAGE_COPY]; // newest package
    uint32_t packages = 0;     // packages received
    bool gone = false;         // the server ended the connection
    uint32_t bye = 0;          // its goodbye code
};

// Called whenever a client is served, for a test that has more to do then
// (a relay to run).
inline void (*pump_hook)() = nullptr;

// Starts ENet once per test process.
inline void EnetUp() {
    static bool up = false;
    if (!up && enet_initialize() == 0)
        up = true;
}

// Sends bytes to the server, reliably on channel 1 or not on channel 0.
inline void Send(TestClient &c, const std::vector<uint8_t> &m, bool reliable = true) {
    ENetPacket *p =
        enet_packet_create(m.data(), m.size(), reliable ? ENET_PACKET_FLAG_RELIABLE : 0);
    enet_peer_send(c.peer, reliable ? NET_CHANNEL_RELIABLE : NET_CHANNEL_PACKAGE, p);
    enet_host_flush(c.host);
}

// Serves the client's host once without waiting: packages, answers, the end.
inline void Pump(TestClient &c) {
    if (pump_hook)
        pump_hook();
    ENetEvent ev;
    while (c.host && !c.gone && enet_host_service(c.host, &ev, 0) > 0) {
        if (ev.type == ENET_EVENT_TYPE_DISCONNECT) {
            c.gone = true;
            c.bye = ev.data;
        } else if (ev.type == ENET_EVENT_TYPE_RECEIVE) {
            const uint8_t *d = ev.packet->data;
            size_t n = ev.packet->dataLength;
            if (n == MSG_PACKAGE_SIZE && d[0] == MSG_PACKAGE) {
                c.ack = GetBE32(d + 1);
                memcpy(c.pkg, d + MSG_PACKAGE_HEAD, PACKAGE_COPY);
                c.packages++;
            } else if (n == MSG_WELCOME_SIZE && d[0] == MSG_WELCOME) {
                c.slot = d[1];
                c.token = GetBE64(d + 8);
                c.seq = c.ack = GetBE32(d + 16);
            } else if (n == MSG_REFUSE_SIZE && d[0] == MSG_REFUSE) {
                c.refused = d[1];
            }
            enet_packet_destroy(ev.packet);
        }
    }
}

// Serves the client for ms milliseconds.
inline void PumpFor(TestClient &c, int ms) {
    for (long start = NowMs(); NowMs() - start < ms;) {
        Pump(c);
        struct timespec one = {0, 1000 * 1000};
        nanosleep(&one, nullptr);
    }
}

// Opens an ENet connection to port on 127.0.0.1 (nothing sent yet); waits
// at most timeout_ms for it.
inline bool Connect(TestClient &c, uint16_t port, int timeout_ms = 10000, int from = -1) {
    c = TestClient();
    EnetUp();
    ENetAddress me = {htonl(0x7F000101u + (uint32_t)from), 0}; // 127.0.1.1 + from
    c.host = enet_host_create(from >= 0 ? &me : nullptr, 1, NET_CHANNELS, 0, 0);
    ENetAddress a;
    enet_address_set_host_ip(&a, "127.0.0.1");
    a.port = port;
    c.peer = enet_host_connect(c.host, &a, NET_CHANNELS, 0);
    enet_peer_timeout(c.peer, ENET_PEER_TIMEOUT_LIMIT, NET_TIMEOUT_MIN, NET_TIMEOUT_MAX);
    ENetEvent ev;
    for (long start = NowMs(); NowMs() - start < timeout_ms;) {
        if (pump_hook)
            pump_hook();
        if (enet_host_service(c.host, &ev, pump_hook ? 1 : 10) > 0 &&
            ev.type == ENET_EVENT_TYPE_CONNECT)
            return true;
    }
    return false;
}

// Connects and sends a hello of the given version and token; waits at most
// timeout_ms for the welcome or the refusal. True when a slot was given.
// It connects from 127.0.1.1 + from, an address of its own (-1: any).
inline bool Join(TestClient &c, uint16_t port, uint16_t version = NET_VERSION,
                 int timeout_ms = 10000, uint64_t token = 0, int from = -1) {
    if (!Connect(c, port, timeout_ms, from))
        return false;
    std::vector<uint8_t> hello(MSG_HELLO_SIZE);
    NetMakeHello(hello.data(), token);
    PutBE16(&hello[5], version);
    Send(c, hello);
    for (long start = NowMs(); NowMs() - start < timeout_ms && c.slot < 0 && !c.refused;)
        PumpFor(c, 5);
    return c.slot >= 0;
}

// Calls serve until `total` more messages of an unknown type have been
// dropped (at most 2 s); gives the most that one call took.
inline uint32_t LargestBatch(void (*serve)(), uint32_t total) {
    uint32_t start = net_dropped[DROP_TYPE], most = 0;
    for (long t0 = NowMs(); net_dropped[DROP_TYPE] - start < total && NowMs() - t0 < 2000;) {
        uint32_t before = net_dropped[DROP_TYPE];
        serve();
        if (net_dropped[DROP_TYPE] - before > most)
            most = net_dropped[DROP_TYPE] - before;
    }
    EXPECT_EQ(net_dropped[DROP_TYPE] - start, total);
    return most;
}

// A command message with the given move code and number.
inline std::vector<uint8_t> MoveCommand(uint8_t move, uint32_t seq = 0) {
    std::vector<uint8_t> m(MSG_COMMAND_SIZE, 0);
    m[0] = MSG_COMMAND;
    PutBE32(&m[1], seq);
    m[MSG_COMMAND_HEAD] = 1;
    m[MSG_COMMAND_HEAD + 1] = move;
    return m;
}

// Sends the client's next command, with the given move code.
inline void Order(TestClient &c, uint8_t move) {
    Send(c, MoveCommand(move, ++c.seq));
}

// Gives the same move again each time the last one was applied, for at most
// timeout_ms or until done() holds.
template <class Done> void Walk(TestClient &c, uint8_t move, int timeout_ms, Done done) {
    for (long start = NowMs(); NowMs() - start < timeout_ms && !done() && !c.gone;) {
        if (NetSeqReached(c.ack, c.seq))
            Order(c, move);
        PumpFor(c, 5);
    }
}

// Goes away without a word, as a killed process does.
inline void Vanish(TestClient &c) {
    if (c.host)
        enet_host_destroy(c.host);
    c.host = nullptr;
    c.peer = nullptr;
}

#endif
