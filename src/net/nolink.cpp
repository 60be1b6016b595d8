// The link driver of a build without a network stack (the WebAssembly
// build, until its WebSocket link comes): joining or following a server
// says so in one line, so the game plays alone and watches records only.
// Linked instead of link.cpp, netclient.cpp and follower.cpp.
#include <stdio.h>

#include "net/follower.h"
#include "net/netclient.h"
#include "world/world.h"

NetClientState net_client;
FollowState following;

// The one line of a join that cannot be.
static bool NoLink(const char *who, const char *address) {
    fprintf(stderr, "%s: cannot reach %.80s: this build has no network link\n", who, address);
    return false;
}

bool NetJoin(const char *who, const char *address) {
    return NoLink(who, address);
}

void NetClientStart() {}
void NetClientFrameStart() {}
void NetClientFrameEnd() {}

const char *NetClientNote() {
    return NULL;
}
void NetLeave() {}

bool NetFollow(const char *who, const char *address) {
    return NoLink(who, address);
}

int FollowNext(uint64_t *) {
    return FOLLOW_LOST;
}

void FollowClockStart() {}

uint32_t FollowMs() {
    return 0;
}

void FollowLeave() {}

bool FollowInStep(uint64_t server_hash, uint64_t world_hash) {
    return server_hash == world_hash;
}
