// The client view against the cell-by-cell loop it replaced, on random
// packages, level sizes, screen geometries, memories and pads.
#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <vector>

#include "client/clientref.h"
#include "client/gameclient.h"
#include "console/render.h"
#include "console/sfont.h"
#include "support/testsupport.h"
#include "world/world.h"

namespace {

// Everything the client view reads or writes, level 0 of the memory only.
struct ClientState {
    std::vector<uint8_t> glyph, colour, back, memory, command;
    uint8_t cx, cy;
    int32_t camx, camy, x, y, turnnow, turnlast;

    void Take() {
        glyph.assign(scch, scch + CON_CELLS);
        colour.assign(sccl, sccl + CON_CELLS);
        back.assign(sccb, sccb + CON_CELLS);
        memory.resize(WORLD_X * WORLD_Y);
        for (int i = 0; i < WORLD_X * WORLD_Y; i++)
            memory[i] = map_memory[i * 100];
        command.assign(net_client_msg, net_client_msg + CLIENT_SLOT);
        cx = cursor_x;
        cy = cursor_y;
        camx = camerax[0];
        camy = cameray[0];
        x = playerx[0];
        y = playery[0];
        turnnow = playerturn[0];
        turnlast = playerlastturn[0];
    }
    void Put() const {
        memcpy(scch, glyph.data(), CON_CELLS);
        memcpy(sccl, colour.data(), CON_CELLS);
        memcpy(sccb, back.data(), CON_CELLS);
        for (int i = 0; i < WORLD_X * WORLD_Y; i++)
            map_memory[i * 100] = memory[i];
        memcpy(net_client_msg, command.data(), CLIENT_SLOT);
        cursor_x = cx;
        cursor_y = cy;
        camerax[0] = camx;
        cameray[0] = camy;
        playerx[0] = x;
        playery[0] = y;
        playerturn[0] = turnnow;
        playerlastturn[0] = turnlast;
    }
};

void Fill(std::mt19937_64 &rng, uint8_t *p, size_t n) {
    for (size_t i = 0; i < n; i += 8) {
        uint64_t v = rng();
        memcpy(p + i, &v, n - i < 8 ? n - i : 8);
    }
}

void RandomCase(std::mt19937_64 &rng) {
    Screen_Width = 320;
    Screen_Height = 240;
    charx = chary = rng() % 2 ? 8 : 16;
    if (rng() % 4 == 0) {
        charx = (uint16_t)(rng() % 41);
        chary = (uint16_t)(rng() % 41);
    }
    if (rng() % 8 == 0) {
        Screen_Width = (uint16_t)(rng() % 2100);
        Screen_Height = (uint16_t)(rng() % 2100);
    }
    mapsizex[0] = (uint16_t)(rng() % 4 ? rng() % 128 : rng() % 300);
    mapsizey[0] = (uint16_t)(rng() % 4 ? rng() % 128 : rng() % 300);
    Fill(rng, net_server_msg, SERVER_SLOT);
    uint8_t *pkg = net_server_msg;
    pkg[4] = (uint8_t)(rng() % 4 ? rng() % 7 : rng() % 12);
    pkg[5] = (uint8_t)(rng() % 4 ? rng() % (mapsizex[0] + 1) : rng());
    pkg[6] = (uint8_t)(rng() % 4 ? rng() % (mapsizey[0] + 1) : rng());
    for (int p = 9; p < SERVER_SLOT; p += 2)
        if (rng() % 4 == 0)
            pkg[p] = 0; // hidden cells
    Fill(rng, scch, CON_CELLS);
    Fill(rng, sccl, CON_CELLS);
    Fill(rng, sccb, CON_CELLS);
    for (int i = 0; i < WORLD_X * WORLD_Y; i++)
        map_memory[i * 100] = rng() % 3 ? 0 : (uint8_t)rng();
    Fill(rng, net_client_msg, CLIENT_SLOT);
    controlpad[0].dir = (uint8_t)(rng() % 3 ? 255 : rng() % 8);
    playerlastturn[0] = rng() % 2 ? PackageTurn(pkg) : (int32_t)rng();
    camerax[0] = (int32_t)rng();
    cameray[0] = (int32_t)rng();
}

TEST(ClientFast, MatchesTheReferenceOnRandomPackagesLevelsAndScreens) {
    std::mt19937_64 rng(301);
    ClientState start, want, got;
    for (int c = 0, cases = RandomCases(300); c < cases; c++) {
        RandomCase(rng);
        start.Take();
        ReferenceProcClient();
        want.Take();
        start.Put();
        ProcClient();
        got.Take();
        SCOPED_TRACE(testing::Message()
                     << "case " << c << ": cell " << charx << "x" << chary << ", screen "
                     << Screen_Width << "x" << Screen_Height << ", level " << mapsizex[0] << "x"
                     << mapsizey[0] << ", player " << (int)net_server_msg[5] << ","
                     << (int)net_server_msg[6] << " sight " << (int)net_server_msg[4]);
        for (int i = 0; i < CON_CELLS; i++) {
            if (got.glyph[i] == want.glyph[i] && got.colour[i] == want.colour[i] &&
                got.back[i] == want.back[i])
                continue;
            FAIL() << "column " << i / 256 << ", row " << i % 256 << ": glyph, colour, background "
                   << (int)got.glyph[i] << " " << (int)got.colour[i] << " " << (int)got.back[i]
                   << ", want " << (int)want.glyph[i] << " " << (int)want.colour[i] << " "
                   << (int)want.back[i];
        }
        ASSERT_TRUE(got.memory == want.memory);
        ASSERT_TRUE(got.command == want.command);
        ASSERT_EQ(got.cx, want.cx);
        ASSERT_EQ(got.cy, want.cy);
        ASSERT_EQ(got.camx, want.camx);
        ASSERT_EQ(got.camy, want.camy);
        ASSERT_EQ(got.x, want.x);
        ASSERT_EQ(got.y, want.y);
        ASSERT_EQ(got.turnnow, want.turnnow);
        ASSERT_EQ(got.turnlast, want.turnlast);
    }
}

} // namespace
