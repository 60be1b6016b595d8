// A UDP relay for the on-line tests: one client on one side, the server on
// the other, every datagram held for a fixed delay each way, a share of them
// dropped at random each way, and a switch that cuts the link. It runs on a thread of its own so
// that a client can block in its join while the relay carries the traffic. It can drop the first
// datagrams of each kind it counts.
#ifndef MD_TESTS_NET_RELAY_H
#define MD_TESTS_NET_RELAY_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <thread>
#include <vector>

#include "net/online.h"

// Datagrams the relay counts: toward the server ENet CONNECTs, hellos and all
// without a CONNECT (hellos too); all toward the client.
enum { SEEN_CONNECT, SEEN_HELLO, SEEN_OTHER, SEEN_BACK, SEEN_KINDS };

struct DelayRelay {
    int near = -1, far = -1;              // sockets facing the client and the server
    uint16_t port = 0;                    // where the client connects
    std::atomic<uint16_t> server_port{0}; // the server (a restarted one may move)
    int delay_ms = 0;                     // each way
    std::atomic<int> loss{0};             // percent dropped each way
    uint32_t draw = 12345;                // fixed sequence of draws for the losses
    std::atomic<bool> cut{false};         // drop everything while set

    int drop[SEEN_KINDS] = {};              // the first datagrams of each kind dropped
    std::atomic<int> seen[SEEN_KINDS] = {}; // datagrams of each kind seen, dropped or not
    std::atomic<bool> stop{false};
    std::thread thread;
    struct Held {
        long due;
        int dir; // 0 toward the server, 1 toward the client
        std::vector<uint8_t> bytes;
    };
};

// A UDP socket on 127.0.0.1 with a free port; gives the port.
inline int LoopbackSocket(uint16_t *port) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, (sockaddr *)&a, sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, (sockaddr *)&a, &len);
    *port = ntohs(a.sin_port);
    return fd;
}

// Whether a datagram toward the server starts with an ENet CONNECT command.
inline bool CarriesConnect(const uint8_t *d, size_t n) {
    size_t head = n >= 2 && (d[0] & (ENET_PROTOCOL_HEADER_FLAG_SENT_TIME >> 8)) ? 4 : 2;
    return n > head && (d[head] & ENET_PROTOCOL_COMMAND_MASK) == ENET_PROTOCOL_COMMAND_CONNECT;
}

// Counts a datagram going dir (0 toward the server); whether it is one of
// the first the relay is set to drop.
inline bool FixedDrop(DelayRelay *r, int dir, const uint8_t *d, size_t n) {
    static const uint8_t hello[5] = {MSG_HELLO, 'M', 'D', 'G', 'O'}; // its type and mark
    if (dir == 1)
        return ++r->seen[SEEN_BACK] <= r->drop[SEEN_BACK];
    if (CarriesConnect(d, n))
        return ++r->seen[SEEN_CONNECT] <= r->drop[SEEN_CONNECT];
    bool other = ++r->seen[SEEN_OTHER] <= r->drop[SEEN_OTHER];
    return (memmem(d, n, hello, sizeof hello) && ++r->seen[SEEN_HELLO] <= r->drop[SEEN_HELLO]) ||
           other;
}

// The relay's loop: take what arrives on either side, pass it on once its
// delay is over. The client is whoever spoke to the near side last, so a
// client that starts again on a new port is followed.
inline void RelayLoop(DelayRelay *r) {
    std::deque<DelayRelay::Held> queue;
    sockaddr_in client = {};
    bool known = false;
    uint8_t buf[4096];
    while (!r->stop) {
        pollfd fds[2] = {{r->near, POLLIN, 0}, {r->far, POLLIN, 0}};
        poll(fds, 2, 1);
        for (int dir = 0; dir < 2; dir++) {
            for (;;) {
                sockaddr_in from = {};
                socklen_t len = sizeof from;
                ssize_t n = recvfrom(dir ? r->far : r->near, buf, sizeof buf, MSG_DONTWAIT,
                                     (sockaddr *)&from, &len);
                if (n < 0)
                    break;
                if (dir == 0) {
                    client = from;
                    known = true;
                }
                r->draw = r->draw * 1103515245u + 12345u;
                bool fixed = FixedDrop(r, dir, buf, (size_t)n);
                if (!r->cut && !fixed && (int)((r->draw >> 16) % 100) >= r->loss)
                    queue.push_back(
                        {NowMs() + r->delay_ms, dir, std::vector<uint8_t>(buf, buf + n)});
            }
        }
        while (!queue.empty() && queue.front().due <= NowMs()) {
            const DelayRelay::Held &h = queue.front();
            sockaddr_in to = client;
            if (h.dir == 0) {
                to = {};
                to.sin_family = AF_INET;
                to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                to.sin_port = htons(r->server_port);
            }
            if (!r->cut && (h.dir == 0 || known))
                sendto(h.dir ? r->near : r->far, h.bytes.data(), h.bytes.size(), 0, (sockaddr *)&to,
                       sizeof to);
            queue.pop_front();
        }
    }
}

// Opens the relay's sockets and starts its thread.
inline void StartRelay(DelayRelay &r, uint16_t server_port, int delay_ms, int loss = 0) {
    r.loss = loss;
    uint16_t unused;
    r.near = LoopbackSocket(&r.port);
    r.far = LoopbackSocket(&unused);
    r.server_port = server_port;
    r.delay_ms = delay_ms;
    r.thread = std::thread(RelayLoop, &r);
}

// Stops the thread and closes the sockets.
inline void StopRelay(DelayRelay &r) {
    r.stop = true;
    if (r.thread.joinable())
        r.thread.join();
    close(r.near);
    close(r.far);
}

#endif
