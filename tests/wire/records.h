// Records made in the test the way the server makes them: the world runs
// here, each turn written before it runs.
#ifndef MD_WIRE_RECORDS_H
#define MD_WIRE_RECORDS_H

#include "math/zmath.h"
#include "net/online.h"
#include "wire/record.h"
#include "world/gameserver.h"
#include "world/mapload.h"
#include "world/worldhash.h"

// One turn: its number, the held slots and each slot's move (0: none).
struct Turn {
    uint32_t number;
    uint8_t held;
    uint8_t move[MAX_CLIENTS];
};

// Writes a record of the shipped data (the working folder); returns the
// file offset of each turn's first entry and of the end entry.
inline std::vector<long> WriteGame(const std::string &path, uint8_t players,
                                   const std::vector<Turn> &turns, int version = RECORD_VERSION) {
    LoadServerData();
    turn = npcs = rnd_seed = 0;
    memset(npc_vis, 0, sizeof npc_vis);
    StartWorld(players, SETUP_RESTART);
    std::vector<long> at;
    FILE *f = fopen(path.c_str(), "wb");
    EXPECT_TRUE(f && RecordHeader(f, DataHash(), players, SETUP_RESTART, version));
    for (const Turn &t : turns) {
        at.push_back(ftell(f));
        for (int i = 0; i < MAX_CLIENTS; i++) {
            net_client_msg[i * CLIENT_SLOT] = t.move[i] != 0;
            net_client_msg[i * CLIENT_SLOT + 1] = t.move[i];
        }
        EXPECT_TRUE(RecordTurn(f, t.number, t.held));
        ProcGameServer();
    }
    at.push_back(ftell(f));
    EXPECT_TRUE(RecordEnd(f, (uint32_t)turns.size()));
    fclose(f);
    return at;
}

#endif
