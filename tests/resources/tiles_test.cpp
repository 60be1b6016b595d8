// Tile definitions: header, codes, names, unknown colours and bounds.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "game/initall.h"
#include "resources/tiles.h"
#include "support/testsupport.h"

static const char kHeader[] = "MARROWDIGGER TILES v1 glyph-colour-block name\n";

static void LoadTilesText(const std::string &text) {
    EnterScratchDir();
    WriteFile("data/tiledata.cfg", text);
    LoadTiles();
}

TEST(LoadTiles, EntriesAndTileZero) {
    LoadTilesText(std::string(kHeader) + "#75 wall\n.20 floor");
    EXPECT_EQ(tiletypes, 2);
    EXPECT_EQ(tilechar[0], ' ');
    EXPECT_EQ(tilecolor[0], 7);
    EXPECT_EQ(tileblock[0], 5);
    EXPECT_STREQ(tilename[0], "wall");
    EXPECT_EQ(tilechar[1], '.');
    EXPECT_EQ(tilecolor[1], 2);
    EXPECT_EQ(tileblock[1], 0);
    EXPECT_STREQ(tilename[1], "floor");
    EXPECT_EQ(tilechar[2], 0);
    EXPECT_STREQ(tilename[2], "");

    // A final line end changes nothing; layout does not matter.
    LoadTilesText("a b c d e #75 wall .20 floor\n\n");
    EXPECT_EQ(tiletypes, 2);
    EXPECT_STREQ(tilename[1], "floor");
}

// Blocking value is the character minus '0', kept to 8 bits; colour letters
// must be upper case, else the colour decoded last (0 before any) is kept.
TEST(LoadTiles, BlockingAndColourCharacters) {
    LoadTilesText(std::string(kHeader) +
                  "Xa4 first %F5 second =a/ third *1~ fourth -z0 fifth ;E9 sixth");
    EXPECT_EQ(tilecolor[0], 0);
    EXPECT_EQ(tileblock[0], 4);
    EXPECT_EQ(tilecolor[1], 15);
    EXPECT_EQ(tileblock[1], 5);
    EXPECT_EQ(tilecolor[2], 15);
    EXPECT_EQ(tileblock[2], (uint8_t)('/' - 48)); // 255: blocks
    EXPECT_EQ(tilecolor[3], 1);
    EXPECT_EQ(tileblock[3], '~' - 48);
    EXPECT_EQ(tilecolor[4], 1);
    EXPECT_EQ(tilecolor[5], 14);
    EXPECT_EQ(tileblock[5], 9);
    EXPECT_EQ(tilechar[2], '=');
    EXPECT_EQ(tiletypes, 6);
}

// Short codes read their missing characters as the terminating zero: colour
// kept, blocking 208. Long codes use their first three characters; a huge
// header token is one token; long names keep 31 characters; a missing last
// name stays empty.
TEST(LoadTiles, OversizedAndShortTokens) {
    std::string huge(5000, 'h');
    LoadTilesText("h1 " + huge + " h3 h4 h5 #3 a . b %C7junk c =E2 " + std::string(40, 'n') +
                  " d .A1");
    EXPECT_EQ(tiletypes, 5);
    EXPECT_EQ(tilecolor[0], 3);
    EXPECT_EQ(tileblock[0], 208);
    EXPECT_STREQ(tilename[0], "a");
    EXPECT_EQ(tilechar[1], '.');
    EXPECT_EQ(tilecolor[1], 3);
    EXPECT_EQ(tileblock[1], 208);
    EXPECT_EQ(tilechar[2], '%');
    EXPECT_EQ(tilecolor[2], 12);
    EXPECT_EQ(tileblock[2], 7);
    EXPECT_STREQ(tilename[2], "c");
    EXPECT_EQ(tilechar[3], '=');
    EXPECT_EQ(std::string(tilename[3]), std::string(31, 'n'));
    EXPECT_EQ(tilechar[4], 'd'); // the token after the long name is the next code
    EXPECT_EQ(tilecolor[4], 14); // 'd' is no digit: E kept
    EXPECT_EQ(tileblock[4], 208);
    EXPECT_STREQ(tilename[4], ".A1");

    memset(tilename, 0, sizeof tilename);
    LoadTilesText("h1 h2 h3 h4 h5 #31 x .A1");
    EXPECT_EQ(tiletypes, 2);
    EXPECT_EQ(tilecolor[1], 10);
    EXPECT_STREQ(tilename[1], "");
}

// Entries past the 256th are not read: tile 0 is not overwritten and the
// count stays at 255.
TEST(LoadTiles, AtMost256Entries) {
    std::string text = kHeader;
    for (int i = 0; i < 300; i++)
        text +=
            "#" + std::string(1, "0123456789ABCDEF"[i % 16]) + "1 tile" + std::to_string(i) + "\n";
    LoadTilesText(text);
    EXPECT_EQ(tiletypes, 255);
    EXPECT_EQ(tilechar[0], ' ');
    EXPECT_STREQ(tilename[0], "tile0");
    EXPECT_EQ(tilecolor[0], 0);
    EXPECT_STREQ(tilename[255], "tile255");
    EXPECT_EQ(tilecolor[255], 15);
}

TEST(LoadTiles, MissingFileGivesEmptyTable) {
    EnterScratchDir();
    testing::internal::CaptureStderr();
    LoadTiles();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "marrowdigger: cannot open data/tiledata.cfg: No such file or directory\n");
    EXPECT_EQ(tiletypes, 0);
    EXPECT_EQ(tilechar[0], ' ');
    EXPECT_EQ(tileblock[0], 0);
    LoadTilesText("only three header");
    EXPECT_EQ(tiletypes, 0);
    EXPECT_EQ(tilechar[0], ' ');
}

// The shipped file defines the ten tiles the map uses.
TEST(LoadTiles, ShippedTiles) {
    LoadTiles();
    EXPECT_EQ(tiletypes, 10);
    EXPECT_EQ(tilechar[0], ' ');
    for (int i = 1; i < 10; i++)
        EXPECT_NE(tilename[i][0], 0) << i;
}
