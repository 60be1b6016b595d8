// Map file format, its bounds, and the restart's starting state.
#include <gtest/gtest.h>

#include <string>

#include "resources/tiles.h"
#include "support/testsupport.h"
#include "world/gameserver.h"
#include "world/world.h"

static void LoadMapText(const std::string &text) {
    EnterScratchDir();
    WriteFile("data/maptest.map", text);
    LoadDemoMap();
}

static std::string Rows(int n, const std::string &row) {
    std::string s;
    for (int i = 0; i < n; i++)
        s += row + "\n";
    return s;
}

TEST(MapLoad, ThreeRowsWithOrWithoutFinalLineEndOrOnOneLine) {
    const char *files[3] = {"111\n101\n111\n", "111\n101\n111", "  111 101\t111  "};
    for (const char *text : files) {
        map[CELL(1, 1, 0)] = 7;
        tilechar[0] = '#';
        LoadMapText(text);
        EXPECT_EQ(mapsizex[0], 2) << text;
        EXPECT_EQ(mapsizey[0], 2) << text;
        for (int x = 0; x < 3; x++)
            for (int y = 0; y < 3; y++)
                EXPECT_EQ(map[CELL(x, y, 0)], (x == 1 && y == 1) ? 0 : 1) << text;
        EXPECT_EQ(tilechar[0], ' ');
    }
}

TEST(MapLoad, RowEndsAtFirstNonDigitAndWidthComesFromLastRow) {
    map[CELL(3, 1, 0)] = 8;
    LoadMapText("9876543\n12a45\n");
    EXPECT_EQ(map[CELL(0, 1, 0)], 1);
    EXPECT_EQ(map[CELL(1, 1, 0)], 2);
    EXPECT_EQ(map[CELL(2, 1, 0)], 0);
    EXPECT_EQ(map[CELL(3, 1, 0)], 8); // never reached
    EXPECT_EQ(map[CELL(6, 0, 0)], 3); // beyond the width but stored
    EXPECT_EQ(mapsizex[0], 1);
    EXPECT_EQ(mapsizey[0], 1);
    EXPECT_EQ(mapsizex[1], 0);
}

TEST(MapLoad, LastRowWithoutDigitsKeepsOneColumn) {
    LoadMapText("555\n555\nxyz\n");
    EXPECT_EQ(mapsizex[0], 0);
    EXPECT_EQ(mapsizey[0], 2);
    EXPECT_EQ(map[CELL(0, 2, 0)], 0);
}

TEST(MapLoad, OverlongTokensStayOneRow) {
    std::string huge = std::string(100, '3') + std::string(900, 'x');
    LoadMapText(huge + "\n" + std::string(5000, 'q') + " 44\n");
    EXPECT_EQ(mapsizey[0], 2);
    EXPECT_EQ(mapsizex[0], 1);
    EXPECT_EQ(map[CELL(99, 0, 0)], 3);
    EXPECT_EQ(map[CELL(100, 0, 0)], 0);
    EXPECT_EQ(map[CELL(1, 2, 0)], 4);
    EXPECT_EQ(map[CELL(0, 1, 0)], 0);
}

TEST(MapLoad, LongRowsAreCutAtTheWorldEdge) {
    // 300 digits: the token keeps 255 of them, the grid 128.
    LoadMapText(std::string(300, '6') + "\n" + std::string(300, '2') + "\n");
    EXPECT_EQ(mapsizex[0], 127);
    EXPECT_EQ(mapsizey[0], 1);
    EXPECT_EQ(map[CELL(127, 0, 0)], 6);
    EXPECT_EQ(map[CELL(127, 1, 0)], 2);
    EXPECT_EQ(map[CELL(0, 2, 0)], 0);
}

TEST(MapLoad, RowsBeyond128AreIgnored) {
    // The file ends, in effect, after row 127: the width is that row's.
    LoadMapText(Rows(127, "11") + "1\n" + Rows(72, "22222"));
    EXPECT_EQ(mapsizey[0], 127);
    EXPECT_EQ(mapsizex[0], 0);
    EXPECT_EQ(map[CELL(0, 127, 0)], 1);
    EXPECT_EQ(map[CELL(1, 127, 0)], 0);
}

TEST(MapLoad, MissingOrEmptyFileGivesSingleCellLevel) {
    EnterScratchDir();
    tilechar[0] = '#';
    mapsizex[0] = 5;
    testing::internal::CaptureStderr();
    LoadDemoMap();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("data/maptest.map"), std::string::npos);
    EXPECT_EQ(err.find('\n'), err.size() - 1);
    EXPECT_EQ(mapsizex[0], 0);
    EXPECT_EQ(mapsizey[0], 0);
    EXPECT_EQ(tilechar[0], ' ');

    WriteFile("data/maptest.map", " \n\t\n");
    mapsizey[0] = 5;
    testing::internal::CaptureStderr();
    LoadDemoMap();
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("data/maptest.map"), std::string::npos);
    EXPECT_EQ(mapsizey[0], 0);
}

TEST(Restart, DefaultOnePlayerAndTheWanderers) {
    EnterScratchDir();
    WriteFile("data/maptest.map", Rows(30, std::string(40, '0')));
    tilechar[0] = 'X';
    RestartServer();
    EXPECT_EQ(tilechar[0], ' ');
    EXPECT_EQ(mapsizex[0], 39);
    EXPECT_EQ(mapsizey[0], 29);
    const int16_t slots[4] = {0, -1, -1, -1};
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(localclient[i], slots[i]);
    EXPECT_EQ(npc_enabled[0], 1);
    EXPECT_EQ(npc_playercontrol[0], 1);
    EXPECT_EQ(npc_char[0], '@');
    EXPECT_EQ(npc_color[0], 1);
    EXPECT_EQ(npc_sight[0], 6);
    EXPECT_EQ(npc_x[0], 2);
    EXPECT_EQ(npc_y[0], 4);
    for (int k = 1; k < 4; k++)
        EXPECT_EQ(npc_enabled[k], 0);
    for (int k = 4; k < 50; k++) {
        EXPECT_EQ(npc_enabled[k], 1);
        EXPECT_EQ(npc_playercontrol[k], 0);
        EXPECT_EQ(npc_char[k], 'w');
        EXPECT_EQ(npc_color[k], 15);
        EXPECT_EQ(npc_sight[k], 6);
        EXPECT_EQ(npc_x[k], 22);
        EXPECT_EQ(npc_y[k], 14);
    }
    EXPECT_EQ(npc_enabled[50], 0);
    EXPECT_EQ(npc_vis[CELL(22, 14, 0)], 0);
    EXPECT_EQ(npc_vis[CELL(2, 4, 0)], 0);
    EXPECT_EQ(turn, 0u);
    EXPECT_EQ(npcs, 0);
}

TEST(Restart, ClientPlayerCounts) {
    EnterScratchDir();
    WriteFile("data/maptest.map", "000\n");
    clientplayers = 0;
    RestartServer();
    EXPECT_EQ(npc_enabled[0], 0);
    EXPECT_EQ(localclient[0], 0);

    clientplayers = 2;
    RestartServer();
    EXPECT_EQ(npc_playercontrol[1], 2);
    EXPECT_EQ(npc_x[1], 4);
    EXPECT_EQ(npc_y[1], 5);
    EXPECT_EQ(localclient[1], -1);

    clientplayers = 5; // at most four player creatures
    RestartServer();
    EXPECT_EQ(npc_playercontrol[3], 4);
    EXPECT_EQ(npc_x[3], 8);
    EXPECT_EQ(npc_y[3], 7);
    EXPECT_EQ(npc_playercontrol[4], 0);
    EXPECT_EQ(npc_char[4], 'w');
}
