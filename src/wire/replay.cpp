// Replay of a record offline: the world restarted as the record says, then
// every recorded turn run with its commands.
#include "wire/replay.h"

#include <stdio.h>

#include "resources/errorline.h"
#include "wire/record.h"
#include "world/gameserver.h"
#include "world/mapload.h"
#include "world/world.h"
#include "world/worldhash.h"

int ReplayRecord(FILE *f, const char *name, int every) {
    const char *who = error_program;
    int players, setup;
    if (!RecordReadHeader(f, who, name, &players, &setup))
        return 1;
    StartWorld(players, setup);
    for (;;) {
        int r = RecordReadTurn(f, players);
        if (r == RECORD_DONE) {
            FinalHashLine(every);
            return 0;
        }
        if (r != RECORD_TURN) {
            HashLine();
            fprintf(stderr, "%s: %s is %s at turn %u\n", who, name, RecordFault(r), turn);
            return 1;
        }
        ProcGameServer();
        if (every > 0 && turn % (uint32_t)every == 0)
            HashLine();
    }
}
