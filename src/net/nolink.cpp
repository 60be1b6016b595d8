// The link driver of a program without a network (the WebAssembly headless
// runner and the page's scripted game): joining or following a server says
// so in one line, so the program plays alone and watches records only.
// Linked instead of link.cpp or linkweb.cpp.
#include <stdio.h>

#include "net/link.h"

uint32_t LinkNow() {
    return 0;
}

bool LinkConnect(NetLink &, const char *who, const char *address) {
    fprintf(stderr, "%s: cannot reach %.80s: this program has no network link\n", who, address);
    return false;
}

void LinkSend(NetLink &, const uint8_t *, size_t) {}
void LinkFlush(NetLink &) {}
void LinkGreet(NetLink &, const uint8_t *, size_t) {}

int LinkAwait(NetLink &, int (*)(const uint8_t *, size_t), uint8_t *, size_t) {
    return 0;
}

bool LinkNext(NetLink &, LinkEvent *) {
    return false;
}

bool LinkUp(const NetLink &) {
    return false;
}

void LinkDrop(NetLink &) {}
void LinkForget(NetLink &) {}
void LinkRetry(NetLink &) {}
void LinkPlayerTimeouts(NetLink &) {}

uint32_t LinkSilentMs(const NetLink &) {
    return 0;
}

void LinkClose(NetLink &) {}
