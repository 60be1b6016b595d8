// The WebSocket door on libwebsockets: the connection table with its send
// queues, the events handed to the server host, and the page's files served
// by GET from the web root only. libwebsockets parses HTTP and WebSocket and
// bounds the headers and the handshake time; the door bounds each message,
// each send queue and each connection's count per address.
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

#define DOOR_EVENTS NET_EVENTS_MAX    // messages waiting to be taken, at most
#define PING_S 3                      // a silent connection is pinged after this
#define HANGUP_S 10                   // and dropped after this: NET_TIMEOUT_MAX
#define DOOR_SOCKETS (4 * DOOR_CONNS) // sockets of the door at once, listening included

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
static uint8_t out[LWS_PRE + MSG_MAX_SIZE]; // one frame being written
static struct lws *asking[DOOR_SOCKETS];    // connections still in their request or handshake
static uint64_t asking_since[DOOR_SOCKETS]; // since when, lws_now_usecs()

// Per-session data: the connection number, -1 before it has one.
struct Session {
    int k;
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

// Answers an HTTP request: a GET of a file in the root, else a refusal.
static int Http(struct lws *wsi, const char *uri) {
    char file[PATH_MAX];
    if (lws_hdr_total_length(wsi, WSI_TOKEN_GET_URI) <= 0) {
        lws_return_http_status(wsi, HTTP_STATUS_METHOD_NOT_ALLOWED, NULL);
        return -1;
    }
    if (!FileOf(uri, file, sizeof file)) {
        lws_return_http_status(wsi, HTTP_STATUS_NOT_FOUND, NULL);
        return lws_http_transaction_completed(wsi) ? -1 : 0;
    }
    int r = lws_serve_http_file(wsi, file, ContentType(file), NULL, 0);
    if (r < 0)
        return -1;
    return r > 0 && lws_http_transaction_completed(wsi) ? -1 : 0;
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
// or more than the largest message).
static bool Receive(struct lws *wsi, DoorConn &c, int k, const uint8_t *in, size_t n) {
    if (!lws_frame_is_binary(wsi)) {
        lws_close_reason(wsi, LWS_CLOSE_STATUS_UNACCEPTABLE_OPCODE, NULL, 0);
        return false;
    }
    if (n > DOOR_IN_MAX - c.got) {
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

// Notes a connection in its request (since: now) or out of it (since: 0).
static void Asking(struct lws *wsi, uint64_t since) {
    int free_at = -1;
    for (int i = 0; i < DOOR_SOCKETS; i++) {
        if (asking[i] == wsi) {
            asking[i] = since ? wsi : NULL;
            return;
        }
        if (!asking[i] && free_at < 0)
            free_at = i;
    }
    if (since && free_at >= 0) {
        asking[free_at] = wsi;
        asking_since[free_at] = since;
    }
}

// Ends the connections whose request or handshake takes too long, silent
// ones included: libwebsockets' own time-out starts with the first byte.
static void EndSlow() {
    uint64_t now = (uint64_t)lws_now_usecs();
    for (int i = 0; i < DOOR_SOCKETS; i++)
        if (asking[i] && now - asking_since[i] > DOOR_HANDSHAKE_S * (uint64_t)LWS_US_PER_SEC) {
            lws_set_timeout(asking[i], PENDING_TIMEOUT_HTTP_CONTENT, LWS_TO_KILL_ASYNC);
            asking[i] = NULL;
        }
}

// The door's protocol: HTTP files, then the WebSocket connections.
static int DoorCallback(struct lws *wsi, enum lws_callback_reasons reason, void *user, void *in,
                        size_t len) {
    Session *s = (Session *)user;
    DoorConn *c = s && s->k >= 0 && s->k < DOOR_CONNS ? &conns[s->k] : NULL;
    switch (reason) {
    case LWS_CALLBACK_HTTP:
        Asking(wsi, 0);
        return Http(wsi, (const char *)in);
    case LWS_CALLBACK_CLOSED_HTTP:
    case LWS_CALLBACK_WSI_DESTROY:
        Asking(wsi, 0);
        return 0;
    case LWS_CALLBACK_HTTP_FILE_COMPLETION:
        return lws_http_transaction_completed(wsi) ? -1 : 0;
    case LWS_CALLBACK_HTTP_BODY:
        return -1; // GET has no body
    case LWS_CALLBACK_SERVER_NEW_CLIENT_INSTANTIATED:
        // Its request, handshake included, has DOOR_HANDSHAKE_S.
        Asking(wsi, (uint64_t)lws_now_usecs());
        return 0;
    case LWS_CALLBACK_FILTER_PROTOCOL_CONNECTION: {
        char where[48];
        return FreeConn(PeerOf(wsi, where, sizeof where)) < 0 ? 1 : 0;
    }
    case LWS_CALLBACK_ESTABLISHED: {
        char where[48];
        uint32_t ipv4 = PeerOf(wsi, where, sizeof where);
        int k = FreeConn(ipv4);
        s->k = k;
        if (k < 0)
            return -1;
        Asking(wsi, 0); // the idle checks take over
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
        if (!c || c->stage == DOOR_ENDING)
            return c ? 0 : -1;
        return Receive(wsi, *c, s->k, (const uint8_t *)in, len) ? 0 : -1;
    case LWS_CALLBACK_WS_PEER_INITIATED_CLOSE:
        if (c && len >= 2) {
            int code = ((const uint8_t *)in)[0] << 8 | ((const uint8_t *)in)[1];
            c->code = (int16_t)(code >= DOOR_CLOSE_BASE && code < DOOR_CLOSE_BASE + 256
                                    ? code - DOOR_CLOSE_BASE
                                    : -1);
        }
        return 0;
    case LWS_CALLBACK_SERVER_WRITEABLE:
        return c ? Write(wsi, *c) : -1;
    case LWS_CALLBACK_CLOSED:
        if (c) { // one never handed over goes unseen
            c->wsi = NULL;
            c->stage = c->stage == DOOR_NEW ? DOOR_FREE : DOOR_CLOSED;
            s->k = -1;
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
    info.max_http_header_data = DOOR_HEADER_MAX;
    info.max_http_header_pool = DOOR_CONNS;
    info.timeout_secs = DOOR_HANDSHAKE_S;
    info.keepalive_timeout = DOOR_HANDSHAKE_S;
    info.fd_limit_per_thread = DOOR_SOCKETS;
    info.retry_and_idle_policy = &idle_policy;
    door = lws_create_context(&info);
    struct lws_vhost *vh = door ? lws_get_vhost_by_name(door, "default") : NULL;
    if (!vh || lws_get_vhost_listen_port(vh) <= 0) {
        ErrorLine("cannot listen for browsers on %s:%u", info.iface ? info.iface : "0.0.0.0",
                  (unsigned)port);
        DoorClose();
        return false;
    }
    int fd = wake_fd >= 0 ? dup(wake_fd) : -1; // the door closes its copy
    lws_sock_file_fd_type desc;
    desc.filefd = fd;
    if (fd >= 0 && !lws_adopt_descriptor_vhost(vh, LWS_ADOPT_RAW_FILE_DESC, desc, "md-wake", NULL))
        close(fd);
    other_conns = others;
    memset(conns, 0, sizeof conns);
    memset(asking, 0, sizeof asking);
    pending_head = pending_count = 0;
    *bound = (uint16_t)lws_get_vhost_listen_port(vh);
    return true;
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
