// The packages sent as soon as a turn ends are, byte for byte, those the
// next turn builds, and making them leaves the world and the turn's own
// packages as they would have been.
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "game/initall.h"
#include "math/zmath.h"
#include "world/fov.h"
#include "world/gameserver.h"
#include "world/world.h"

namespace {

TEST(NextPackages, EqualTheNextTurnsForAThousandTurnsOfEveryCreature) {
    LoadTiles();
    clientplayers = MAX_CLIENTS;
    RestartServer();
    for (int i = 0; i < MAX_CLIENTS; i++)
        localclient[i] = (int16_t)i;
    for (int k = MAX_CLIENTS; k < MAX_NPCS; k++) {
        PlaceWanderer(k);
        npc_playercontrol[k] = 0;
    }
    static uint8_t next[MAX_CLIENTS * PACKAGE_COPY];
    static uint8_t msg_before[SERVER_SLOT];
    static int8_t vis_before[sizeof vis];
    std::vector<uint16_t> occupancy(WORLD_CELLS);
    uint32_t draw = 99;
    int differed = 0;
    for (int t = 0; t < 1000; t++) {
        // The players' commands, as a server would have them now.
        for (int i = 0; i < MAX_CLIENTS; i++) {
            draw = draw * 1103515245u + 12345u;
            net_client_msg[i * CLIENT_SLOT + 1] = (uint8_t)((draw >> 16) % 9);
        }
        memcpy(msg_before, server_msg, sizeof msg_before);
        memcpy(vis_before, vis, sizeof vis_before);
        int16_t x0 = npc_x[700], y0 = npc_y[700];
        uint16_t seed = rnd_seed;
        bool whole = t % 100 == 0;
        if (whole)
            memcpy(occupancy.data(), npc_vis, sizeof npc_vis);
        PrepareNextPackages(next);
        ASSERT_EQ(memcmp(msg_before, server_msg, sizeof msg_before), 0) << t;
        ASSERT_EQ(memcmp(vis_before, vis, sizeof vis_before), 0) << t;
        ASSERT_TRUE(npc_x[700] == x0 && npc_y[700] == y0 && rnd_seed == seed &&
                    turn == (uint32_t)t);
        if (whole) {
            ASSERT_EQ(memcmp(occupancy.data(), npc_vis, sizeof npc_vis), 0) << t;
        }
        ProcGameServer();
        for (int i = 0; i < MAX_CLIENTS; i++) {
            ASSERT_EQ(
                memcmp(next + i * PACKAGE_COPY, net_server_msg + i * SERVER_SLOT, PACKAGE_COPY), 0)
                << "turn " << t << " slot " << i;
        }
        differed += memcmp(next, next + PACKAGE_COPY, PACKAGE_COPY) != 0;
    }
    EXPECT_EQ(differed, 1000); // each slot has its own package
    EXPECT_GT(npcs, 1000);
}

} // namespace
