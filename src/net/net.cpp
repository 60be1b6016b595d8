// Shared pieces of on-line play: byte order, addresses, the hello and the
// drop counters.
#include "net/net.h"

#include <stdlib.h>
#include <string.h>

uint32_t net_dropped[DROP_KINDS];
const char *const net_drop_name[DROP_KINDS] = {"size", "type", "order", "hello", "garbage"};

uint16_t NetGet16(const uint8_t *p) {
    return (uint16_t)((p[0] << 8) | p[1]);
}

void NetPut16(uint8_t *p, uint16_t v) {
    p[0] = (uint8_t)(v >> 8);
    p[1] = (uint8_t)v;
}

uint32_t NetGet32(const uint8_t *p) {
    return ((uint32_t)NetGet16(p) << 16) | NetGet16(p + 2);
}

void NetPut32(uint8_t *p, uint32_t v) {
    NetPut16(p, (uint16_t)(v >> 16));
    NetPut16(p + 2, (uint16_t)v);
}

uint64_t NetGet64(const uint8_t *p) {
    return ((uint64_t)NetGet32(p) << 32) | NetGet32(p + 4);
}

void NetPut64(uint8_t *p, uint64_t v) {
    NetPut32(p, (uint32_t)(v >> 32));
    NetPut32(p + 4, (uint32_t)v);
}

bool NetSeqReached(uint32_t a, uint32_t b) {
    return (int32_t)(a - b) >= 0;
}

bool NetParseAddress(const char *text, char *host, size_t hostsize, uint16_t *port) {
    const char *colon = strrchr(text, ':');
    size_t len = colon ? (size_t)(colon - text) : strlen(text);
    if (len == 0 || len >= hostsize)
        return false;
    if (colon) {
        const char *digits = colon + 1;
        size_t nd = strlen(digits);
        if (nd == 0 || nd > 5 || strspn(digits, "0123456789") != nd)
            return false;
        long p = strtol(digits, NULL, 10);
        if (p < 1 || p > 65535)
            return false;
        *port = (uint16_t)p;
    }
    memcpy(host, text, len);
    host[len] = 0;
    return true;
}

void NetMakeHello(uint8_t *out, uint64_t token) {
    NetMakeGreeting(out, MSG_HELLO);
    NetPut64(out + 7, token);
}

void NetMakeGreeting(uint8_t *out, uint8_t type) {
    out[0] = type;
    memcpy(out + 1, NET_MAGIC, 4);
    NetPut16(out + 5, NET_VERSION);
}

size_t NetMessageSize(uint8_t type) {
    switch (type) {
    case MSG_HELLO:
        return MSG_HELLO_SIZE;
    case MSG_WELCOME:
        return MSG_WELCOME_SIZE;
    case MSG_REFUSE:
        return MSG_REFUSE_SIZE;
    case MSG_PACKAGE:
        return MSG_PACKAGE_SIZE;
    case MSG_COMMAND:
        return MSG_COMMAND_SIZE;
    case MSG_SPECTATE:
        return MSG_SPECTATE_SIZE;
    case MSG_FOLLOW:
        return MSG_FOLLOW_SIZE;
    case MSG_STREAM:
        return MSG_STREAM_MAX;
    }
    return 0;
}

void NetCountDrop(const uint8_t *msg, size_t n) {
    size_t size = n > 0 ? NetMessageSize(msg[0]) : 0;
    if (n == 0 || (size && n != size))
        net_dropped[DROP_SIZE]++;
    else if (!size)
        net_dropped[DROP_TYPE]++;
    else
        net_dropped[DROP_ORDER]++;
}
