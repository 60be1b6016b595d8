// The page's link driver: the browser's WebSocket (Emscripten's
// emscripten/websocket.h) to the server's door. The browser hands over its
// events between frames; they wait in a fixed queue until LinkNext takes
// them. The waits of a join yield to the browser (ASYNCIFY). A server given
// as "HOST[:PORT]" is reached at ws://HOST:PORT/, one given as a ws:// or
// wss:// URL as it is.
#include <emscripten.h>
#include <emscripten/websocket.h>
#include <stdio.h>
#include <string.h>

#include "net/link.h"

#define SLICE_MS 10   // a join's wait for the browser's events
#define GOODBYE_MS 50 // time given to the goodbye before the socket goes
#define EVENTS_MAX 64 // events waiting, at most; more end the link as lost
#define URL_SIZE 300

// One link's socket and the events it has had.
struct WebLink {
    uint8_t used;                  // taken by a NetLink
    EMSCRIPTEN_WEBSOCKET_T socket; // 0 none
    uint8_t open;                  // the socket is open
    uint32_t heard;                // LinkNow() when the server was last heard
    LinkEvent events[EVENTS_MAX];  // waiting, oldest at first
    uint32_t first, count;         // the queue
    char url[URL_SIZE];            // where the server is
};

static WebLink web_links[2]; // the player's and the follower's

// The page is going away: every open link says the goodbye (NET_LEAVE), so
// that a player's slot is freed at once. Called by the page's pagehide.
extern "C" EMSCRIPTEN_KEEPALIVE void LinkPageHide() {
    for (WebLink &w : web_links)
        if (w.socket && w.open)
            emscripten_websocket_close(w.socket, 4000 + NET_LEAVE, "");
}

uint32_t LinkNow() {
    return (uint32_t)(uint64_t)emscripten_get_now();
}

static WebLink *Web(const NetLink &link) {
    return (WebLink *)link.host;
}

// A new event at the end of a link's queue, or NULL when it is full.
static LinkEvent *Push(WebLink *w, int type) {
    if (w->count == EVENTS_MAX)
        return NULL;
    LinkEvent *e = &w->events[(w->first + w->count++) % EVENTS_MAX];
    e->type = type;
    e->code = 0;
    e->length = 0;
    return e;
}

static EM_BOOL Opened(int, const EmscriptenWebSocketOpenEvent *, void *user) {
    WebLink *w = (WebLink *)user;
    w->open = 1;
    w->heard = LinkNow();
    Push(w, LINK_CONNECTED);
    return EM_TRUE;
}

static EM_BOOL Message(int, const EmscriptenWebSocketMessageEvent *m, void *user) {
    WebLink *w = (WebLink *)user;
    w->heard = LinkNow();
    if (m->isText || m->numBytes > MSG_MAX_SIZE) {
        NetCountDrop(m->data, m->numBytes);
        return EM_TRUE;
    }
    LinkEvent *e = Push(w, LINK_MESSAGE);
    if (!e) { // a page this far behind has lost the game
        emscripten_websocket_close(w->socket, 1000, "");
        return EM_TRUE;
    }
    e->length = m->numBytes;
    memcpy(e->data, m->data, m->numBytes);
    return EM_TRUE;
}

static EM_BOOL Closed(int, const EmscriptenWebSocketCloseEvent *c, void *user) {
    WebLink *w = (WebLink *)user;
    if (!w->socket)
        return EM_TRUE;
    w->open = 0;
    LinkEvent *e = Push(w, LINK_GONE);
    if (!e) { // the last place goes to the closing
        w->count--;
        e = Push(w, LINK_GONE);
    }
    e->code = c->code >= 4000 && c->code < 4256 ? c->code - 4000u : 0;
    return EM_TRUE;
}

// Opens a socket to the link's URL; whether the browser took it.
static bool OpenSocket(NetLink &link) {
    WebLink *w = Web(link);
    EmscriptenWebSocketCreateAttributes attr;
    emscripten_websocket_init_create_attributes(&attr);
    attr.url = w->url;
    attr.protocols = NULL;
    w->open = 0;
    w->first = w->count = 0;
    w->socket = emscripten_websocket_new(&attr);
    if (w->socket <= 0) {
        w->socket = 0;
        return false;
    }
    emscripten_websocket_set_onopen_callback(w->socket, w, Opened);
    emscripten_websocket_set_onmessage_callback(w->socket, w, Message);
    emscripten_websocket_set_onclose_callback(w->socket, w, Closed);
    link.peer = w;
    return true;
}

// Lets the socket go, with the goodbye code when it is open.
static void CloseSocket(NetLink &link, unsigned short code) {
    WebLink *w = Web(link);
    if (!w || !w->socket)
        return;
    EMSCRIPTEN_WEBSOCKET_T s = w->socket;
    w->socket = 0;
    if (w->open)
        emscripten_websocket_close(s, code, "");
    emscripten_websocket_delete(s);
    w->open = 0;
    link.peer = NULL;
}

// Says once a second, after JOIN_TELL_MS, how long the join has tried;
// nothing once its time is over (the line that ends it comes then).
static void Tell(NetLink &link) {
    if ((int32_t)(link.deadline - LinkNow()) <= 0)
        return;
    uint32_t tried = (LinkNow() - (link.deadline - NET_CONNECT_MS)) / 1000;
    if (tried * 1000 < JOIN_TELL_MS || tried <= link.told)
        return;
    link.told = tried;
    fprintf(stderr, "%s: joining %s: no answer yet after %u s\n", link.who, link.shown,
            (unsigned)tried);
}

bool LinkConnect(NetLink &link, const char *who, const char *address) {
    link.who = who;
    link.told = 0;
    WebLink *w = web_links[0].used ? &web_links[1] : &web_links[0];
    memset(w, 0, sizeof *w);
    w->used = 1;
    link.port = NET_DEFAULT_PORT;
    if (strncmp(address, "ws://", 5) == 0 || strncmp(address, "wss://", 6) == 0) {
        snprintf(w->url, sizeof w->url, "%s", address);
        snprintf(link.name, sizeof link.name, "%s", address);
    } else if (NetParseAddress(address, link.name, sizeof link.name, &link.port)) {
        snprintf(w->url, sizeof w->url, "ws://%s:%u/", link.name, (unsigned)link.port);
    } else {
        EchoText(address, link.shown);
        fprintf(stderr, "%s: '%s' is no server address (HOST or HOST:PORT)\n", who, link.shown);
        return false;
    }
    EchoText(link.name, link.shown);
    link.host = w;
    link.deadline = LinkNow() + NET_CONNECT_MS;
    if (OpenSocket(link)) {
        while (!w->open && w->socket && w->count == 0 && (int32_t)(link.deadline - LinkNow()) > 0) {
            emscripten_sleep(SLICE_MS);
            Tell(link);
        }
        if (w->open) {
            w->first = w->count = 0; // the connection is known
            EM_ASM(if (!Module.mdLinkHide) {
                Module.mdLinkHide = true;
                window.addEventListener(
                    'pagehide', function() { _LinkPageHide(); });
            });
            return true;
        }
    }
    fprintf(stderr, "%s: cannot reach the server at %s (no WebSocket door there?)\n", who,
            link.shown);
    CloseSocket(link, 1000);
    w->used = 0;
    link.host = NULL;
    return false;
}

void LinkSend(NetLink &link, const uint8_t *bytes, size_t n) {
    WebLink *w = Web(link);
    if (w && w->open)
        emscripten_websocket_send_binary(w->socket, (void *)bytes, (uint32_t)n);
}

void LinkFlush(NetLink &) {}

// The WebSocket's TCP carries the greeting through loss by itself: sent once.
void LinkGreet(NetLink &link, const uint8_t *bytes, size_t n) {
    LinkSend(link, bytes, n);
    link.greeting_size = 1;
}

bool LinkNext(NetLink &link, LinkEvent *ev) {
    WebLink *w = Web(link);
    if (!w || w->count == 0)
        return false;
    memcpy(ev, &w->events[w->first], sizeof *ev);
    w->first = (w->first + 1) % EVENTS_MAX;
    w->count--;
    if (ev->type == LINK_GONE) {
        EMSCRIPTEN_WEBSOCKET_T s = w->socket;
        w->socket = 0;
        if (s)
            emscripten_websocket_delete(s);
        link.peer = NULL;
    }
    return true;
}

int LinkAwait(NetLink &link, int (*accept)(const uint8_t *msg, size_t n), uint8_t *answer,
              size_t room) {
    static LinkEvent ev;
    while ((int32_t)(link.deadline - LinkNow()) > 0) {
        if (!LinkNext(link, &ev)) {
            emscripten_sleep(SLICE_MS);
            if (link.greeting_size)
                Tell(link);
            continue;
        }
        if (ev.type == LINK_GONE)
            return 0;
        if (ev.type != LINK_MESSAGE)
            continue;
        int type = accept(ev.data, ev.length);
        if (type) {
            memcpy(answer, ev.data, ev.length < room ? ev.length : room);
            link.greeting_size = 0;
            return type;
        }
        NetCountDrop(ev.data, ev.length);
    }
    return 0;
}

bool LinkUp(const NetLink &link) {
    return link.peer != NULL;
}

void LinkDrop(NetLink &link) {
    CloseSocket(link, 1000);
}

void LinkForget(NetLink &link) {
    CloseSocket(link, 1000);
}

void LinkRetry(NetLink &link) {
    CloseSocket(link, 1000);
    if (!OpenSocket(link))
        Push(Web(link), LINK_GONE);
}

void LinkPlayerTimeouts(NetLink &) {}

uint32_t LinkSilentMs(const NetLink &link) {
    WebLink *w = Web(link);
    return w && w->open ? LinkNow() - w->heard : 0;
}

void LinkClose(NetLink &link) {
    if (!link.host)
        return;
    CloseSocket(link, 4000 + NET_LEAVE);
    emscripten_sleep(GOODBYE_MS);
    Web(link)->used = 0;
    link.host = NULL;
}
