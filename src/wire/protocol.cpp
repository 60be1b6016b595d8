// Shared pieces of on-line play: addresses, the hello and the
// drop counters.
#include "wire/protocol.h"

#include <stdlib.h>
#include <string.h>

#include "resources/number.h"

uint32_t net_dropped[DROP_KINDS];
const char *const net_drop_name[DROP_KINDS] = {"size", "type", "order", "hello", "garbage"};

bool NetSeqReached(uint32_t a, uint32_t b) {
    return (int32_t)(a - b) >= 0;
}

bool NetParseAddress(const char *text, char *host, size_t hostsize, uint16_t *port) {
    const char *colon = strrchr(text, ':');
    size_t len = colon ? (size_t)(colon - text) : strlen(text);
    if (len == 0 || len >= hostsize)
        return false;
    if (colon) {
        uint64_t p;
        if (!ParseNumber(colon + 1, 1, 65535, &p))
            return false;
        *port = (uint16_t)p;
    }
    memcpy(host, text, len);
    host[len] = 0;
    return true;
}

void NetMakeHello(uint8_t *out, uint64_t token) {
    NetMakeGreeting(out, MSG_HELLO);
    PutBE64(out + 7, token);
}

void NetMakeGreeting(uint8_t *out, uint8_t type) {
    out[0] = type;
    memcpy(out + 1, NET_MAGIC, 4);
    PutBE16(out + 5, NET_VERSION);
}

void NetMakeFollowAsk(uint8_t *out, uint64_t data_hash) {
    NetMakeGreeting(out, MSG_FOLLOW_ASK);
    PutBE64(out + 7, data_hash);
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
    case MSG_FOLLOW_ASK:
        return MSG_FOLLOW_ASK_SIZE;
    case MSG_FOLLOW:
        return MSG_FOLLOW_SIZE;
    case MSG_STREAM:
        return MSG_STREAM_MAX;
    case MSG_SNAPSHOT:
        return MSG_SNAPSHOT_MAX;
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
