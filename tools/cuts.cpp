// Cut figures: the game's own client code (NetJoin and its frame steps)
// plays on a dedicated server on this machine through a UDP relay that is
// cut for a while, again and again; after each cut, whether the player came
// back in its own slot with its own token, and how long after the link came
// back. Cuts longer than a test can wait are measured here.
//
//   marrowdigger-cuts --port P [--cuts-s S,S,...]   (default 5,10,20,28)
//
// Only loopback addresses are used: the relay listens on 127.0.0.1 and
// passes everything on to the server's port there. Prints one line per cut
// and exits with status 1 when a cut shorter than the 30 s a lost slot is
// kept ended the player or cost it its slot or token.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "net/netclient.h"
#include "net/tokenfile.h"
#include "wire/protocol.h"

#define CUTS_MAX 16
#define BACK_MS 10000 // longest wait for the player to be back after a cut

static std::atomic<bool> cut{false}, stop{false};

// Milliseconds on the monotonic clock.
static long NowMs() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

// A UDP socket on 127.0.0.1 with a free port, -1 when there is none; gives the port.
static int LoopbackSocket(uint16_t *port) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || bind(fd, (sockaddr *)&a, sizeof a) != 0 ||
        getsockname(fd, (sockaddr *)&a, &len) != 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    *port = ntohs(a.sin_port);
    return fd;
}

// The relay: datagrams from the client (near) go to the server's port, those
// from the server (far) to the client that spoke last; none while cut.
static void Relay(int near, int far, uint16_t server) {
    sockaddr_in client = {}, to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(server);
    bool known = false;
    uint8_t buf[4096];
    while (!stop) {
        pollfd fds[2] = {{near, POLLIN, 0}, {far, POLLIN, 0}};
        poll(fds, 2, 5);
        for (int dir = 0; dir < 2; dir++)
            for (;;) {
                sockaddr_in from = {};
                socklen_t len = sizeof from;
                ssize_t n = recvfrom(dir ? far : near, buf, sizeof buf, MSG_DONTWAIT,
                                     (sockaddr *)&from, &len);
                if (n < 0)
                    break;
                if (dir == 0) {
                    client = from;
                    known = true;
                }
                if (cut || (dir == 1 && !known))
                    continue;
                const sockaddr_in *dest = dir ? &client : &to;
                sendto(dir ? near : far, buf, (size_t)n, 0, (const sockaddr *)dest, sizeof *dest);
            }
    }
}

// Runs the client's frames (5 ms apart, no pad) for ms milliseconds, or
// until done() holds.
template <class Done> static void Frames(long ms, Done done) {
    for (long start = NowMs(); NowMs() - start < ms && !done() && !net_client.lost;) {
        NetClientFrameStart();
        NetClientFrameEnd();
        usleep(5000);
    }
}

// Reads the list of cuts in seconds (1..60 each); their count, 0 when bad.
static int ReadCuts(const char *text, int *cuts) {
    int n = 0;
    for (const char *p = text; *p && n < CUTS_MAX; n++) {
        char *end;
        long s = strtol(p, &end, 10);
        if (end == p || s < 1 || s > 60 || (*end && *end != ','))
            return 0;
        cuts[n] = (int)s;
        p = *end ? end + 1 : end;
    }
    return n;
}

int main(int argc, char **argv) {
    int port = 0, cuts[CUTS_MAX], count = ReadCuts("5,10,20,28", cuts);
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--port"))
            port = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--cuts-s"))
            count = ReadCuts(argv[i + 1], cuts);
        else
            count = 0;
    }
    if (port < 1 || port > 65535 || count == 0 || argc % 2 == 0) {
        fprintf(stderr, "usage: marrowdigger-cuts --port P [--cuts-s S,S,...] (S 1..60)\n");
        return 2;
    }
    uint16_t near_port = 0, unused = 0;
    int near = LoopbackSocket(&near_port), far = LoopbackSocket(&unused);
    if (near < 0 || far < 0) {
        fprintf(stderr, "marrowdigger-cuts: no loopback socket for the relay\n");
        return 1;
    }
    std::thread relay(Relay, near, far, (uint16_t)port);
    char address[32], path[4096];
    snprintf(address, sizeof address, "127.0.0.1:%u", (unsigned)near_port);
    bool placed = TokenPath("127.0.0.1", near_port, 1, path, sizeof path);
    int failed = 0;
    if (!placed || !NetJoin("marrowdigger-cuts", address)) {
        fprintf(stderr, "marrowdigger-cuts: %s\n", placed ? "no join" : "no token folder");
        failed = count;
    }
    for (int k = 0; k < count && !failed; k++) {
        Frames(1000, [] { return false; });
        uint8_t slot = net_client.slot;
        uint64_t token = LoadToken("marrowdigger-cuts", path);
        cut = true;
        Frames(cuts[k] * 1000L, [] { return false; });
        cut = false;
        long back = NowMs();
        uint32_t seen = net_client.packages;
        Frames(BACK_MS, [&] { return !net_client.relinking && net_client.packages > seen; });
        bool kept = !net_client.lost && !net_client.relinking && net_client.slot == slot &&
                    LoadToken("marrowdigger-cuts", path) == token;
        if (kept)
            printf("cut of %d s: back in slot %u with its token %ld ms after the link came back\n",
                   cuts[k], (unsigned)slot, NowMs() - back);
        else
            printf("cut of %d s: %s\n", cuts[k],
                   net_client.lost ? "the player was ended" : "the slot or its token was lost");
        failed += !kept && cuts[k] * 1000 < NET_KEEP_MS;
        if (net_client.lost)
            break;
    }
    NetLeave();
    stop = true;
    relay.join();
    close(near);
    close(far);
    return failed ? 1 : 0;
}
