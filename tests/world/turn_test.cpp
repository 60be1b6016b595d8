// Server turn: client exchange, creature order, move tests, wandering draws.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "math/zmath.h"
#include "resources/tiles.h"
#include "support/testsupport.h"
#include "world/gameserver.h"
#include "world/serverhelpers.h"
#include "world/world.h"

static uint16_t Mark(int x, int y) {
    return npc_vis[CELL(x, y, 0)];
}

TEST(ServerTurn, MoveTablesFollowTheDirectionCodes) {
    const int dx[9] = {0, 0, 1, 1, 1, 0, -1, -1, -1}, dy[9] = {0, -1, -1, 0, 1, 1, 1, 0, -1};
    for (int m = 0; m < 9; m++) {
        EXPECT_EQ(table_movex[m], dx[m]);
        EXPECT_EQ(table_movey[m], dy[m]);
    }
}

TEST(ServerTurn, LowerNumberedLeavesFirstHigherNumberedStillHolds) {
    OpenLevel(40, 30);
    PutCreature(4, 10, 10);
    PutCreature(5, 9, 10);
    PutCreature(6, 20, 20);
    PutCreature(7, 21, 20);
    ProcNPC(); // first pass only lays the marks
    EXPECT_EQ(Mark(21, 20), 8);
    npc_move[4] = npc_move[5] = npc_move[6] = npc_move[7] = 3; // all step right
    ProcNPC();
    EXPECT_EQ(npc_x[4], 11);
    EXPECT_EQ(npc_x[5], 10); // entered the cell creature 4 left
    EXPECT_EQ(npc_x[6], 20); // creature 7 still held (21, 20)
    EXPECT_EQ(npc_x[7], 22);
    EXPECT_EQ(Mark(20, 20), 7);
    EXPECT_EQ(Mark(21, 20), 0);
    EXPECT_EQ(Mark(22, 20), 8);
    EXPECT_EQ(npcs, 4);
}

TEST(ServerTurn, NoMarksBeforeTheFirstPass) {
    OpenLevel(40, 30);
    PutCreature(6, 20, 20, 3);
    PutCreature(7, 21, 20);
    ProcNPC(); // creature 7 has not marked its cell yet
    EXPECT_EQ(npc_x[6], 21);
    EXPECT_EQ(npc_x[7], 21);
    EXPECT_EQ(Mark(21, 20), 8);
}

TEST(ServerTurn, SharedCellKeepsTheLastStepsMark) {
    OpenLevel(40, 30);
    for (int k = 0; k < 3; k++)
        PutCreature(k, 5, 5);
    ProcNPC();
    EXPECT_EQ(Mark(5, 5), 3);
    npc_move[2] = 3; // the last one leaves: the cell is cleared though 0 and 1 stand there
    PutCreature(3, 4, 5, 3);
    ProcNPC();
    EXPECT_EQ(npc_x[2], 6);
    EXPECT_EQ(npc_x[3], 5); // creature 3 entered the unmarked shared cell
    EXPECT_EQ(Mark(5, 5), 4);
    EXPECT_EQ(Mark(6, 5), 3);
}

TEST(ServerTurn, ThreeMoveTestsInOrder) {
    OpenLevel(10, 10);
    PutTile(5, 0, 1, 5); // wall
    PutTile(7, 0, 2, 4); // block value 4 is passable
    PutTile(9, 5, 1, 5); // wall beyond which the level ends
    const int start[8][2] = {{0, 0}, {9, 9}, {4, 0}, {8, 0}, {2, 9}, {2, 5}, {3, 5}, {8, 5}};
    for (int k = 0; k < 8; k++)
        PutCreature(k, start[k][0], start[k][1]);
    ProcNPC(); // lay the marks
    const uint8_t moves[8] = {7, 3, 3, 7, 5, 3, 0, 3};
    for (int k = 0; k < 8; k++)
        npc_move[k] = moves[k];
    ProcNPC();
    EXPECT_EQ(npc_x[0], 0); // x = -1 is outside
    EXPECT_EQ(npc_x[1], 9); // x = 10 is beyond mapsizex
    EXPECT_EQ(npc_x[2], 4); // wall
    EXPECT_EQ(npc_x[3], 7); // onto the block-4 tile
    EXPECT_EQ(npc_y[4], 9); // y = 10 is beyond mapsizey
    EXPECT_EQ(npc_x[5], 2); // creature 6's mark
    EXPECT_EQ(npc_x[7], 8); // wall at the level's last column
    ProcNPC();              // a kept move is tried again: creature 3 now meets the wall
    EXPECT_EQ(npc_x[3], 6);
    ProcNPC();
    EXPECT_EQ(npc_x[3], 6);
}

TEST(ServerTurn, DiagonalPassesBetweenTwoWalls) {
    OpenLevel(20, 20);
    PutTile(11, 10, 1, 9);
    PutTile(10, 11, 1, 9);
    PutCreature(0, 10, 10, 4); // down-right
    ProcNPC();
    EXPECT_EQ(npc_x[0], 11);
    EXPECT_EQ(npc_y[0], 11);
}

TEST(ServerTurn, MoveCodesAboveEightAreNoMove) {
    OpenLevel(20, 20);
    PutCreature(0, 5, 5);
    PutCreature(1, 8, 8, 9);
    PutCreature(2, 9, 9, 255);
    localclient[0] = 0;
    net_client_msg[1] = 200;
    ProcGameServer();
    EXPECT_EQ(npc_move[0], 200); // stored as sent, but not used as a step
    EXPECT_EQ(npc_x[0], 5);
    EXPECT_EQ(npc_y[0], 5);
    EXPECT_EQ(npc_x[1], 8);
    EXPECT_EQ(npc_x[2], 9);
    EXPECT_EQ(Mark(5, 5), 1);
    EXPECT_EQ(Mark(9, 9), 3);
}

TEST(ServerTurn, DisabledCreatureIsSkipped) {
    OpenLevel(20, 20);
    PutCreature(3, 4, 4, 3);
    npc_enabled[3] = 0;
    npc_vis[CELL(4, 4, 0)] = 99;
    ProcNPC();
    EXPECT_EQ(npc_x[3], 4);
    EXPECT_EQ(Mark(4, 4), 99);
    EXPECT_EQ(npcs, 0);
}

TEST(ServerTurn, WandererDrawsOnceToStayTwiceToMove) {
    OpenLevel(40, 30);
    rnd_seed = 0; // table[0] = 0x1E: 6, a move; table[1] = 0xC1: 1, code 2
    Proc_NPC_AI(4);
    EXPECT_EQ(npc_move[4], 2);
    EXPECT_EQ(rnd_seed, 2);
    int seven = 0;
    while ((table_rnd[seven] & 7) != 7)
        seven++;
    rnd_seed = (uint16_t)seven;
    npc_move[4] = 5;
    Proc_NPC_AI(4);
    EXPECT_EQ(npc_move[4], 0);
    EXPECT_EQ(rnd_seed, seven + 1);
}

TEST(ServerTurn, ExchangeCopiesPackageAndWholeCommandSlot) {
    OpenLevel(40, 30);
    PutCreature(0, 10, 10);
    localclient[0] = 0;
    memset(net_server_msg, 0xCD, sizeof net_server_msg);
    server_msg[400] = 0xAB; // beyond this package, within the 512 copied bytes
    server_msg[600] = 0xEE; // beyond the copy
    for (int b = 0; b < 128; b++)
        net_client_msg[b] = (uint8_t)(b + 100);
    net_client_msg[1] = 3;
    net_client_msg[128] = 0x55; // slot 1, never read
    turn = 41;
    ProcGameServer();
    EXPECT_EQ(net_server_msg[0], 41); // the package built before the increment
    EXPECT_EQ(net_server_msg[5], 10); // and before the move
    EXPECT_EQ(net_server_msg[400], 0xAB);
    EXPECT_EQ(net_server_msg[600], 0xCD);
    EXPECT_EQ(net_server_msg[2048], 0xCD);
    EXPECT_EQ(0, memcmp(client_msg, net_client_msg, 128));
    EXPECT_EQ(npc_x[0], 11);
    EXPECT_EQ(turn, 42u);
    ProcGameServer(); // the slot still holds the command: applied again
    EXPECT_EQ(npc_x[0], 12);
    EXPECT_EQ(net_server_msg[5], 11);
    EXPECT_EQ(net_client_msg[1], 3); // the server never clears it
}

TEST(ServerTurn, ClientPlayerCounts) {
    OpenLevel(40, 30);
    PutCreature(0, 10, 10);
    PutCreature(1, 12, 12);
    memset(net_server_msg, 0xCD, sizeof net_server_msg);
    localclient[0] = 0;
    localclient[1] = -1;
    net_client_msg[1] = 3;
    clientplayers = 0; // nobody served, creatures still move, turn still counts
    ProcGameServer();
    EXPECT_EQ(net_server_msg[0], 0xCD);
    EXPECT_EQ(npc_x[0], 10);
    EXPECT_EQ(turn, 1u);
    EXPECT_EQ(npcs, 2);
    clientplayers = 2; // slot 1 is empty: its package slot is kept
    ProcGameServer();
    EXPECT_EQ(net_server_msg[0], 1);
    EXPECT_EQ(net_server_msg[2048], 0xCD);
    EXPECT_EQ(npc_x[0], 11);
    clientplayers = 5; // only four slots exist
    localclient[1] = 1;
    localclient[2] = 1;
    localclient[3] = 1024; // not a creature: skipped
    net_client_msg[128 + 1] = 5;
    ProcGameServer();
    EXPECT_EQ(net_server_msg[2048 + 5], 12);
    EXPECT_EQ(net_server_msg[2 * 2048 + 6], 12);
    EXPECT_EQ(net_server_msg[3 * 2048], 0xCD);
    EXPECT_EQ(npc_y[1], 12); // slot 2's empty command came last and set move 0
    EXPECT_EQ(npc_move[1], 0);
}

// Replays the first turn after the restart with the shipped random table,
// independently of the server code, and compares every creature's position.
TEST(ServerTurn, FirstTurnSpreadFromTheSharedCell) {
    EnterScratchDir();
    std::string rows;
    for (int y = 0; y < 30; y++) {
        std::string row(40, '0');
        if (y == 0 || y == 29)
            row.assign(40, '1');
        row[0] = row[39] = '1';
        if (y == 13)
            row[21] = row[22] = row[23] = '1';
        if (y == 14)
            row[23] = '1';
        rows += row + "\n";
    }
    WriteFile("data/maptest.map", rows);
    tileblock[1] = 5;
    RestartServer();
    ProcGameServer();

    const int dx[9] = {0, 0, 1, 1, 1, 0, -1, -1, -1}, dy[9] = {0, -1, -1, 0, 1, 1, 1, 0, -1};
    int x[50], y[50], seed = 0;
    uint16_t occ[40][30] = {};
    for (int i = 0; i < 50; i++) {
        x[i] = i < 4 ? 2 * i + 2 : 22;
        y[i] = i < 4 ? i + 4 : 14;
    }
    for (int i = 0; i < 50; i++) {
        if (i >= 1 && i <= 3)
            continue; // disabled
        occ[x[i]][y[i]] = 0;
        int m = 0;
        if (i >= 4 && (table_rnd[seed++] & 7) != 7)
            m = (table_rnd[seed++] & 7) + 1;
        int nx = x[i] + dx[m], ny = y[i] + dy[m];
        if (m && nx >= 0 && nx < 40 && ny >= 0 && ny < 30 && rows[ny * 41 + nx] == '0' &&
            occ[nx][ny] == 0) {
            x[i] = nx;
            y[i] = ny;
        }
        occ[x[i]][y[i]] = (uint16_t)(i + 1);
    }
    int stayed = 0;
    for (int i = 4; i < 50; i++) {
        EXPECT_EQ(npc_x[i], x[i]) << "creature " << i;
        EXPECT_EQ(npc_y[i], y[i]) << "creature " << i;
        stayed += x[i] == 22 && y[i] == 14;
    }
    EXPECT_GT(stayed, 0);
    EXPECT_LT(stayed, 46);
    EXPECT_EQ(rnd_seed, seed);
    EXPECT_EQ(npcs, 47);
    for (int cx = 0; cx < 40; cx++)
        for (int cy = 0; cy < 30; cy++)
            EXPECT_EQ(Mark(cx, cy), occ[cx][cy]) << cx << "," << cy;
}
