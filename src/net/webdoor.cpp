// The WebSocket door on libwebsockets: the connection table with its send
// queues, the events handed to the server host, and the page's files served
// by GET from the web root only. libwebsockets parses HTTP and WebSocket and
// bounds the headers; the door bounds each request's time, each message,
// each send queue, the sockets still in HTTP (per address and in all) and
// each WebSocket connection's count per address, and checks each Origin.
#include "net/webdoor.h"

#include <arpa/inet.h>
#include <limits.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libwebsockets.h>

#include "resources/errorline.h"

#define DOOR_EVENTS NET_EVENTS_MAX             // messages waiting to be taken, at most
#define PING_S 3                               // a silent connection is pinged after this
#define HANGUP_S 10                            // and dropped after this: NET_TIMEOUT_MAX
#define DOOR_SOCKETS (4 * DOOR_CONNS)          // sockets of the door at once, listening included
#define HTTP_STATUS_REQ_HEADER_TOO_LARGE 431   // not among libwebsockets' names
#define DOOR_ASKING 32                         // sockets in HTTP at once (pages, handshakes)
#define DOOR_ASKING_PER_ADDRESS 8              // the same from one IPv4 address
#define DOOR_HEADER_READ (4 * DOOR_HEADER_MAX) // header bytes read: closed unanswered beyond
#define DOOR_ORIGINS 8                         // origins allowed besides the page's own
#define DOOR_ORIGIN_SIZE 128                   // bytes of one, its end included

// Stage of a door connection.
#define DOOR_FREE 0
#define DOOR_NEW 1    // open, its join not yet handed over
#define DOOR_OPEN 2   // open
#define DOOR_ENDING 3 // to be closed once its queue is written
#define DOOR_CLOSED 4 // closed, its closing not yet handed over

// One door connection.
struct DoorConn {
    struct lws *wsi;           // libwebsockets' connection, NULL once closed
    uint8_t stage;             // DOOR_FREE ..
    uint8_t end_code;          // goodbye code told when DOOR_ENDING
    int16_t code;              // goodbye code heard, -1 none
    uint32_t ipv4;             // the peer's address
    char where[48];            // and as text
    uint32_t head, used;       // send queue: start and bytes in use
    uint8_t queue[DOOR_QUEUE]; // messages, each a 2-byte length and its bytes
    uint32_t got;              // bytes of the message being received
    uint8_t in[DOOR_IN_MAX];   // the message being received
};

static struct lws_context *door;     // the door, or NULL
static char web_root[PATH_MAX];      // the web root, resolved
static int (*other_conns)(uint32_t); // the host's count of other connections per address
static DoorConn conns[DOOR_CONNS];
static DoorEvent pending[DOOR_EVENTS]; // messages received, in order
static uint32_t pending_head, pending_count;
static bool woken;                        // wake socket readable, or time up
static lws_sorted_usec_list_t wait_timer; // ends a DoorWait
static uint64_t frames_sent, frames_received, bytes_sent;
static uint8_t out[LWS_PRE + MSG_MAX_SIZE];          // one frame being written
static char origins[DOOR_ORIGINS][DOOR_ORIGIN_SIZE]; // --web-origin's, "" unused

// A socket in HTTP: a page fetch, or a request or handshake being read.
struct Asking {
    struct lws *wsi; // NULL: unused
    uint32_t ipv4;   // its peer's address
    uint64_t since;  // its request's start, lws_now_usecs(); 0 while answered
};
static Asking asking[DOOR_ASKING];

// Per-session data, zeroed by libwebsockets: the connection number + 1,
// 0 before it has one.
struct Session {
    int k1;
};

// The content type of a file by its ending; NULL for a file not served.
static const char *ContentType(const char *path) {
    static const char *const types[][2] = {
        {".html", "text/html"},        {".js", "application/javascript"},
        {".wasm", "application/wasm"}, {".data", "application/octet-stream"},
        {".png", "image/png"},         {".css", "text/css"},
        {".ico", "image/x-icon"},      {".json", "application/json"},
    };
    const char *dot = strrchr(path, '.');
    if (!dot || strchr(dot, '/'))
        return NULL;
    for (const auto &t : types)
        if (strcmp(dot, t[0]) == 0)
            return t[1];
    return NULL;
}

// The file a request path names inside the web root, resolved, into file;
// false for anything else: a path with "..", "%" or a backslash, a path
// that leaves the root through a symbolic link, no regular file, or a type
// not served.
static bool FileOf(const char *uri, char *file, size_t size) {
    if (uri[0] != '/' || strstr(uri, "..") || strchr(uri, '%') || strchr(uri, '\\'))
        return false;
    char want[PATH_MAX];
    int n = snprintf(want, sizeof want, "%s%s%s", web_root, uri,
                     uri[strlen(uri) - 1] == '/' ? "index.html" : "");
    if (n < 0 || (size_t)n >= sizeof want || !realpath(want, file))
        return false;
    size_t root = strlen(web_root);
    struct stat st;
    return strlen(file) < size && strncmp(file, web_root, root) == 0 && file[root] == '/' &&
           stat(file, &st) == 0 && S_ISREG(st.st_mode) && ContentType(file);
}

// The peer's IPv4 address and its text, from the socket.
static uint32_t PeerOf(struct lws *wsi, char *where, size_t size) {
    struct sockaddr_in a;
    socklen_t len = sizeof a;
    memset(&a, 0, sizeof a);
    if (getpeername(lws_get_socket_fd(wsi), (struct sockaddr *)&a, &len) != 0 ||
        a.sin_family != AF_INET) {
        snprintf(where, size, "?");
        return 0;
    }
    char ip[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &a.sin_addr, ip, sizeof ip);
    snprintf(where, size, "%s:%u", ip, (unsigned)ntohs(a.sin_port));
    return ntohl(a.sin_addr.s_addr);
}

// The entry of a socket in HTTP, or NULL.
static Asking *AskingOf(struct lws *wsi) {
    for (Asking &a : asking)
        if (a.wsi == wsi)
            return &a;
    return NULL;
}

// Sockets in HTTP from an address (0: all of them).
static int AskingFrom(uint32_t ipv4) {
    int n = 0;
    for (const Asking &a : asking)
        n += a.wsi && (ipv4 == 0 || a.ipv4 == ipv4);
    return n;
}

// Notes a new socket in HTTP; false when there is no room for it.
static bool AskingStart(struct lws *wsi) {
    char where[48];
    uint32_t ipv4 = PeerOf(wsi, where, sizeof where);
    for (Asking &a : asking)
        if (!a.wsi) {
            a.wsi = wsi;
            a.ipv4 = ipv4;
            a.since = (uint64_t)lws_now_usecs();
            return true;
        }
    return false;
}

// A socket leaves HTTP: closed, or a WebSocket connection now.
static void AskingEnd(struct lws *wsi) {
    Asking *a = AskingOf(wsi);
    if (a)
        a->wsi = NULL;
}

// Whether a new socket from a peer finds room in HTTP: within the
// address's share and the door's bound.
static bool AskingRoom(const struct sockaddr_storage *peer) {
    const struct sockaddr_in *a = (const struct sockaddr_in *)peer;
    uint32_t ipv4 = peer->ss_family == AF_INET ? ntohl(a->sin_addr.s_addr) : 0;
    return AskingFrom(0) < DOOR_ASKING && (ipv4 == 0 || AskingFrom(ipv4) < DOOR_ASKING_PER_ADDRESS);
}

// Ends an HTTP transaction: a kept-alive socket's next request has
// DOOR_HANDSHAKE_S from now. -1 to close.
static int Completed(struct lws *wsi) {
    if (lws_http_transaction_completed(wsi))
        return -1;
    Asking *a = AskingOf(wsi);
    if (a)
        a->since = (uint64_t)lws_now_usecs();
    return 0;
}

// Whether a request's Origin may use the door: none (no browser), the
// page's own (http or https with the request's Host) or one allowed by
// DoorAllowOrigins. Prints one line for a refused one.
static bool OriginAllowed(struct lws *wsi) {
    char origin[DOOR_ORIGIN_SIZE], host[DOOR_ORIGIN_SIZE], own[2 * DOOR_ORIGIN_SIZE];
    if (lws_hdr_total_length(wsi, WSI_TOKEN_ORIGIN) <= 0)
        return true;
    if (lws_hdr_copy(wsi, origin, sizeof origin, WSI_TOKEN_ORIGIN) > 0) {
        int n = lws_hdr_copy(wsi, host, sizeof host, WSI_TOKEN_HOST);
        static const char *const schemes[] = {"http://", "https://"};
        for (const char *scheme : schemes) {
            snprintf(own, sizeof own, "%s%s", scheme, host);
            if (n > 0 && strcmp(origin, own) == 0)
                return true;
        }
        for (const char *o : origins)
            if (*o && strcmp(origin, o) == 0)
                return true;
    } else {
        snprintf(origin, sizeof origin, "(too long)");
    }
    char where[48], shown[ECHO_SIZE];
    PeerOf(wsi, where, sizeof where);
    printf("door: refused origin %s (%s)\n", EchoText(origin, shown), where);
    fflush(stdout);
    return false;
}

// Bytes of a request's headers that libwebsockets knows by name, each
// line's name and separators counted as 4.
static int HeaderBytes(struct lws *wsi) {
    int n = 0;
    for (int t = 0; t < WSI_TOKEN_COUNT; t++) {
        int len = lws_hdr_total_length(wsi, (enum lws_token_indexes)t);
        n += len > 0 ? len + 4 : 0;
    }
    return n;
}

// Answers a request that must not go on (headers too large, a foreign
// Origin), else 0: the status was sent, 1; a hang-up, -1.
static int Refusal(struct lws *wsi) {
    if (HeaderBytes(wsi) > DOOR_HEADER_MAX)
        return lws_return_http_status(wsi, HTTP_STATUS_REQ_HEADER_TOO_LARGE, NULL) ? -1 : 1;
    if (!OriginAllowed(wsi))
        return lws_return_http_status(wsi, HTTP_STATUS_FORBIDDEN, NULL) ? -1 : 1;
    return 0;
}

// Answers an HTTP request: a GET of a file in the root, else a refusal.
static int Http(struct lws *wsi, const char *uri) {
    char file[PATH_MAX];
    Asking *a = AskingOf(wsi);
    if (a) // read: the answer is libwebsockets' to time
        a->since = 0;
    if (lws_hdr_total_length(wsi, WSI_TOKEN_GET_URI) <= 0) {
        lws_return_http_status(wsi, HTTP_STATUS_METHOD_NOT_ALLOWED, NULL);
        return -1;
    }
    if (Refusal(wsi))
        return -1;
    if (!FileOf(uri, file, sizeof file)) {
        lws_return_http_status(wsi, HTTP_STATUS_NOT_FOUND, NULL);
        return Completed(wsi);
    }
    int r = lws_serve_http_file(wsi, file, ContentType(file), NULL, 0);
    if (r < 0)
        return -1;
    return r > 0 ? Completed(wsi) : 0;
}

int DoorFrom(uint32_t ipv4) {
    int n = 0;
    for (const DoorConn &c : conns)
        n += c.stage != DOOR_FREE && c.ipv4 == ipv4;
    return n;
}

// A free connection number for a peer of that address, or -1 when the
// table is full or the address has its share.
static int FreeConn(uint32_t ipv4) {
    int others = other_conns ? other_conns(ipv4) : 0;
    if (DoorFrom(ipv4) + others >= NET_PER_ADDRESS)
        return -1;
    for (int k = 0; k < DOOR_CONNS; k++)
        if (conns[k].stage == DOOR_FREE)
            return k;
    return -1;
}

// Takes a piece of a received frame; false ends the connection (text,
// or more than the largest message, told by the frame's length at once).
static bool Receive(struct lws *wsi, DoorConn &c, int k, const uint8_t *in, size_t n) {
    if (!lws_frame_is_binary(wsi)) {
        lws_close_reason(wsi, LWS_CLOSE_STATUS_UNACCEPTABLE_OPCODE, NULL, 0);
        return false;
    }
    if (n > DOOR_IN_MAX - c.got || lws_remaining_packet_payload(wsi) > DOOR_IN_MAX - c.got - n) {
        lws_close_reason(wsi, LWS_CLOSE_STATUS_MESSAGE_TOO_LARGE, NULL, 0);
        return false;
    }
    memcpy(c.in + c.got, in, n);
    c.got += (uint32_t)n;
    if (!lws_is_final_fragment(wsi) || lws_remaining_packet_payload(wsi) > 0)
        return true;
    frames_received++;
    if (pending_count < DOOR_EVENTS) {
        DoorEvent &e = pending[(pending_head + pending_count++) % DOOR_EVENTS];
        e.type = DOOR_MESSAGE;
        e.conn = (uint8_t)k;
        e.code = 0;
        e.length = c.got;
        e.ipv4 = c.ipv4;
        memcpy(e.where, c.where, sizeof e.where);
        memcpy(e.data, c.in, c.got);
    }
    c.got = 0;
    return true;
}

// Writes the next queued message of a connection, or closes one that is
// ending with an empty queue. Returns -1 to close.
static int Write(struct lws *wsi, DoorConn &c) {
    if (c.used == 0) {
        if (c.stage != DOOR_ENDING)
            return 0;
        lws_close_reason(wsi, (enum lws_close_status)(DOOR_CLOSE_BASE + c.end_code), NULL, 0);
        return -1;
    }
    uint32_t n = (uint32_t)c.queue[c.head] << 8 | c.queue[(c.head + 1) % DOOR_QUEUE];
    for (uint32_t i = 0; i < n; i++)
        out[LWS_PRE + i] = c.queue[(c.head + 2 + i) % DOOR_QUEUE];
    c.head = (c.head + 2 + n) % DOOR_QUEUE;
    c.used -= 2 + n;
    if (lws_write(wsi, out + LWS_PRE, n, LWS_WRITE_BINARY) < (int)n)
        return -1;
    frames_sent++;
    bytes_sent += n;
    if (c.used || c.stage == DOOR_ENDING)
        lws_callback_on_writable(wsi);
    return 0;
}

// Ends the sockets whose request or handshake takes too long, silent
// ones and kept-alive ones included: libwebsockets' own time-outs start
// anew with parts of a request.
static void EndSlow() {
    uint64_t now = (uint64_t)lws_now_usecs();
    for (Asking &a : asking)
        if (a.wsi && a.since && now - a.since > DOOR_HANDSHAKE_S * (uint64_t)LWS_US_PER_SEC) {
            lws_set_timeout(a.wsi, PENDING_TIMEOUT_HTTP_CONTENT, LWS_TO_KILL_ASYNC);
            a.wsi = NULL;
        }
}

// The door connection of a session, or NULL: only the socket that holds it.
static DoorConn *ConnOf(struct lws *wsi, const Session *s) {
    int k = s ? s->k1 - 1 : -1;
    return k >= 0 && k < DOOR_CONNS && conns[k].wsi == wsi ? &conns[k] : NULL;
}

// The door's protocol: HTTP files, then the WebSocket connections.
static int DoorCallback(struct lws *wsi, enum lws_callback_reasons reason, void *user, void *in,
                        size_t len) {
    Session *s = (Session *)user;
    DoorConn *c = NULL;
    switch (reason) {
    case LWS_CALLBACK_FILTER_NETWORK_CONNECTION: // user: the peer's address
        return AskingRoom(&((const lws_filter_network_conn_args *)user)->cli_addr) ? 0 : 1;
    case LWS_CALLBACK_SERVER_NEW_CLIENT_INSTANTIATED:
        // Its request, handshake included, has DOOR_HANDSHAKE_S.
        return AskingStart(wsi) ? 0 : -1;
    case LWS_CALLBACK_HTTP:
        return Http(wsi, (const char *)in);
    case LWS_CALLBACK_CLOSED_HTTP:
    case LWS_CALLBACK_WSI_DESTROY:
        AskingEnd(wsi);
        return 0;
    case LWS_CALLBACK_HTTP_FILE_COMPLETION:
        return Completed(wsi);
    case LWS_CALLBACK_HTTP_BODY:
        return -1;                          // GET has no body
    case LWS_CALLBACK_HTTP_CONFIRM_UPGRADE: // only to WebSocket: no HTTP/2 (h2c)
        if (strcmp((const char *)in, "websocket") != 0)
            return lws_return_http_status(wsi, HTTP_STATUS_NOT_IMPLEMENTED, NULL) ? -1 : 1;
        return Refusal(wsi);
    case LWS_CALLBACK_FILTER_PROTOCOL_CONNECTION: {
        char where[48];
        return FreeConn(PeerOf(wsi, where, sizeof where)) < 0 ? 1 : 0;
    }
    case LWS_CALLBACK_ESTABLISHED: {
        char where[48];
        uint32_t ipv4 = PeerOf(wsi, where, sizeof where);
        int k = FreeConn(ipv4);
        if (k < 0)
            return -1;
        s->k1 = k + 1;
        AskingEnd(wsi); // the idle checks take over
        DoorConn &n = conns[k];
        n.wsi = wsi;
        n.stage = DOOR_NEW;
        n.code = -1;
        n.ipv4 = ipv4;
        memcpy(n.where, where, sizeof where);
        n.head = n.used = n.got = 0;
        return 0;
    }
    case LWS_CALLBACK_RECEIVE:
        if (!(c = ConnOf(wsi, s)) || c->stage == DOOR_ENDING)
            return c ? 0 : -1;
        return Receive(wsi, *c, s->k1 - 1, (const uint8_t *)in, len) ? 0 : -1;
    case LWS_CALLBACK_WS_PEER_INITIATED_CLOSE:
        if ((c = ConnOf(wsi, s)) && len >= 2) {
            int code = ((const uint8_t *)in)[0] << 8 | ((const uint8_t *)in)[1];
            c->code = (int16_t)(code >= DOOR_CLOSE_BASE && code < DOOR_CLOSE_BASE + 256
                                    ? code - DOOR_CLOSE_BASE
                                    : -1);
        }
        return 0;
    case LWS_CALLBACK_SERVER_WRITEABLE:
        return (c = ConnOf(wsi, s)) ? Write(wsi, *c) : -1;
    case LWS_CALLBACK_CLOSED:
        if ((c = ConnOf(wsi, s))) { // one never handed over goes unseen
            c->wsi = NULL;
            c->stage = c->stage == DOOR_NEW ? DOOR_FREE : DOOR_CLOSED;
            s->k1 = 0;
        }
        return 0;
    default:
        return 0;
    }
}

// The wake socket's protocol: its readiness ends the wait, the host reads it.
static int WakeCallback(struct lws *, enum lws_callback_reasons reason, void *, void *, size_t) {
    if (reason == LWS_CALLBACK_RAW_RX_FILE)
        woken = true;
    return 0;
}

static const struct lws_protocols protocols[] = {
    {"marrowdigger", DoorCallback, sizeof(Session), DOOR_IN_MAX, 0, NULL, 0},
    {NULL, NULL, 0, 0, 0, NULL, 0},
};
// The wake socket's, on a vhost of its own that listens nowhere, so that
// no client can ask for it.
static const struct lws_protocols wake_protocols[] = {
    {"md-wake", WakeCallback, 0, 0, 0, NULL, 0},
    {NULL, NULL, 0, 0, 0, NULL, 0},
};

// Idle connections are pinged and, still silent, dropped.
static const lws_retry_bo_t idle_policy = {NULL, 0, 0, PING_S, HANGUP_S, 0};

bool DoorOpen(const char *addr, uint16_t port, const char *root, int wake_fd,
              int (*others)(uint32_t), uint16_t *bound) {
    char shown[ECHO_SIZE];
    struct stat st;
    if (!realpath(root, web_root) || stat(web_root, &st) != 0 || !S_ISDIR(st.st_mode)) {
        ErrorLine("no web root folder at %s", EchoText(root, shown));
        return false;
    }
    lws_set_log_level(0, NULL);
    struct lws_context_creation_info info;
    memset(&info, 0, sizeof info);
    info.port = port;
    info.iface = addr && *addr ? addr : NULL;
    info.protocols = protocols;
    info.gid = info.uid = -1;
    info.options = LWS_SERVER_OPTION_DISABLE_IPV6;
    info.max_http_header_data = DOOR_HEADER_READ;
    info.max_http_header_pool = DOOR_ASKING;
    info.timeout_secs = DOOR_HANDSHAKE_S;
    info.timeout_secs_ah_idle = DOOR_HANDSHAKE_S;
    info.keepalive_timeout = DOOR_HANDSHAKE_S;
    info.fd_limit_per_thread = DOOR_SOCKETS;
    info.retry_and_idle_policy = &idle_policy;
    door = lws_create_context(&info);
    struct lws_vhost *vh = door ? lws_get_vhost_by_name(door, "default") : NULL;
    struct lws_context_creation_info wake;
    memset(&wake, 0, sizeof wake);
    wake.port = CONTEXT_PORT_NO_LISTEN;
    wake.vhost_name = "md-wake";
    wake.protocols = wake_protocols;
    struct lws_vhost *wake_vh = vh ? lws_create_vhost(door, &wake) : NULL;
    if (!wake_vh || lws_get_vhost_listen_port(vh) <= 0) {
        ErrorLine("cannot listen for browsers on %s:%u", info.iface ? info.iface : "0.0.0.0",
                  (unsigned)port);
        DoorClose();
        return false;
    }
    int fd = wake_fd >= 0 ? dup(wake_fd) : -1; // the door closes its copy
    lws_sock_file_fd_type desc;
    desc.filefd = fd;
    if (fd >= 0 &&
        !lws_adopt_descriptor_vhost(wake_vh, LWS_ADOPT_RAW_FILE_DESC, desc, "md-wake", NULL))
        close(fd);
    other_conns = others;
    memset(conns, 0, sizeof conns);
    memset(asking, 0, sizeof asking);
    pending_head = pending_count = 0;
    *bound = (uint16_t)lws_get_vhost_listen_port(vh);
    return true;
}

// Whether text[0..n) is an origin: "http://" or "https://" and a host,
// perhaps with a port; no path, space or control character.
static bool IsOrigin(const char *text, size_t n) {
    size_t scheme = strncmp(text, "http://", 7) == 0    ? 7
                    : strncmp(text, "https://", 8) == 0 ? 8
                                                        : 0;
    if (!scheme || n <= scheme || n >= DOOR_ORIGIN_SIZE)
        return false;
    for (size_t i = scheme; i < n; i++)
        if (text[i] == '/' || (uint8_t)text[i] <= ' ' || text[i] == 0x7f)
            return false;
    return true;
}

bool DoorAllowOrigins(const char *list) {
    for (const char *at = list;; at++) {
        size_t n = strcspn(at, ",");
        int k = 0;
        while (k < DOOR_ORIGINS && origins[k][0])
            k++;
        if (!IsOrigin(at, n)) {
            char entry[DOOR_ORIGIN_SIZE], shown[ECHO_SIZE];
            snprintf(entry, sizeof entry, "%.*s", (int)(n < sizeof entry ? n : sizeof entry - 1),
                     at);
            ErrorLine("'%s' is no origin such as https://example.org or http://host:8080",
                      EchoText(entry, shown));
            return false;
        }
        if (k == DOOR_ORIGINS) {
            ErrorLine("more than %d origins for --web-origin", DOOR_ORIGINS);
            return false;
        }
        memcpy(origins[k], at, n);
        origins[k][n] = 0;
        at += n;
        if (!*at)
            return true;
    }
}

bool DoorIsOpen() {
    return door != NULL;
}

// The wait's time is up. Timers run before libwebsockets' poll, so the
// poll is cut short too.
static void TimeUp(lws_sorted_usec_list_t *) {
    woken = true;
    lws_cancel_service(door);
}

// Whether an event is waiting.
static bool Ready() {
    if (pending_count)
        return true;
    for (const DoorConn &c : conns)
        if (c.stage == DOOR_NEW || c.stage == DOOR_CLOSED)
            return true;
    return false;
}

void DoorWait(uint32_t ms) {
    if (!door)
        return;
    woken = false;
    memset(&wait_timer, 0, sizeof wait_timer); // not scheduled: fired or cancelled
    lws_sul_schedule(door, 0, &wait_timer, TimeUp, (lws_usec_t)ms * LWS_US_PER_MS);
    while (!woken && !Ready())
        if (lws_service(door, 0) < 0)
            break;
    lws_sul_cancel(&wait_timer);
    EndSlow();
}

bool DoorNext(DoorEvent *ev) {
    for (int k = 0; k < DOOR_CONNS; k++) {
        DoorConn &c = conns[k];
        if (c.stage != DOOR_NEW)
            continue;
        c.stage = DOOR_OPEN;
        ev->type = DOOR_JOINED;
        ev->conn = (uint8_t)k;
        ev->ipv4 = c.ipv4;
        memcpy(ev->where, c.where, sizeof ev->where);
        return true;
    }
    if (pending_count) {
        memcpy(ev, &pending[pending_head], sizeof *ev);
        pending_head = (pending_head + 1) % DOOR_EVENTS;
        pending_count--;
        return true;
    }
    for (int k = 0; k < DOOR_CONNS; k++) {
        DoorConn &c = conns[k];
        if (c.stage != DOOR_CLOSED)
            continue;
        c.stage = DOOR_FREE;
        ev->type = DOOR_GONE;
        ev->conn = (uint8_t)k;
        ev->code = c.code;
        ev->ipv4 = c.ipv4;
        memcpy(ev->where, c.where, sizeof ev->where);
        return true;
    }
    return false;
}

bool DoorLive(int k) {
    return door && k >= 0 && k < DOOR_CONNS && conns[k].wsi &&
           (conns[k].stage == DOOR_NEW || conns[k].stage == DOOR_OPEN);
}

bool DoorSend(int k, const uint8_t *msg, size_t n, bool droppable) {
    if (!DoorLive(k) || n > MSG_MAX_SIZE)
        return false;
    DoorConn &c = conns[k];
    if (c.used + 2 + n > DOOR_QUEUE) {
        if (!droppable) { // a reader this far behind is lost
            lws_set_timeout(c.wsi, PENDING_TIMEOUT_CLOSE_SEND, LWS_TO_KILL_ASYNC);
            c.stage = DOOR_ENDING;
        }
        return false;
    }
    uint32_t at = (c.head + c.used) % DOOR_QUEUE;
    c.queue[at] = (uint8_t)(n >> 8);
    c.queue[(at + 1) % DOOR_QUEUE] = (uint8_t)n;
    for (size_t i = 0; i < n; i++)
        c.queue[(at + 2 + i) % DOOR_QUEUE] = msg[i];
    c.used += (uint32_t)(2 + n);
    lws_callback_on_writable(c.wsi);
    return true;
}

uint32_t DoorQueued(int k) {
    return k >= 0 && k < DOOR_CONNS ? conns[k].used : 0;
}

void DoorEnd(int k, uint8_t code) {
    if (!DoorLive(k))
        return;
    conns[k].stage = DOOR_ENDING;
    conns[k].end_code = code;
    lws_callback_on_writable(conns[k].wsi);
}

uint64_t DoorFramesSent() {
    return frames_sent;
}

uint64_t DoorFramesReceived() {
    return frames_received;
}

uint64_t DoorBytesSent() {
    return bytes_sent;
}

void DoorClose() {
    if (door)
        lws_context_destroy(door);
    door = NULL;
    memset(conns, 0, sizeof conns);
    pending_head = pending_count = 0;
}
