// The packages the next turn will build, made as soon as a turn ends so that
// a remote player sees the turn's moves without waiting for the next one.
#include <string.h>

#include "world/fov.h"
#include "world/gameserver.h"
#include "world/world.h"

void PrepareNextPackages(uint8_t *out) {
    // The next turn's packages keep stale bytes of the ones built before them
    // in server_msg, so the scratch buffers are put back as they were.
    static uint8_t saved_msg[SERVER_SLOT];
    static int8_t saved_vis[sizeof vis];
    memcpy(saved_msg, server_msg, sizeof saved_msg);
    memcpy(saved_vis, vis, sizeof saved_vis);
    for (int i = 0; i < MAX_CLIENTS; i++) {
        int n = ServedCreature(i);
        if (n < 0)
            continue;
        PreparePackage((unsigned short)n);
        memcpy(out + i * PACKAGE_COPY, server_msg, PACKAGE_COPY);
    }
    memcpy(server_msg, saved_msg, sizeof saved_msg);
    memcpy(vis, saved_vis, sizeof saved_vis);
}
