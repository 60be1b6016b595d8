// Checks the shipped data tree (the working directory of the tests) with a
// small reader of its own, apart from the game's loaders: a broken data file
// must fail here even if a loader would quietly accept it.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Reads a whole file as bytes; an empty result if it cannot be opened.
std::string ReadAll(const char *path) {
    std::string out;
    FILE *f = fopen(path, "rb");
    if (!f)
        return out;
    int c;
    while ((c = fgetc(f)) != EOF)
        out.push_back(static_cast<char>(c));
    fclose(f);
    return out;
}

// Splits text into tokens at spaces, tabs and line ends.
std::vector<std::string> Tokens(const std::string &text) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (!cur.empty())
                out.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty())
        out.push_back(cur);
    return out;
}

bool IsUpperHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

int HexValue(char c) {
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

struct Tile {
    std::string code;
    std::string name;
};

// The tile entries after the five header tokens.
std::vector<Tile> ShippedTiles() {
    std::vector<std::string> tok = Tokens(ReadAll("data/tiledata.cfg"));
    std::vector<Tile> tiles;
    for (size_t i = 5; i + 1 < tok.size(); i += 2)
        tiles.push_back({tok[i], tok[i + 1]});
    return tiles;
}

} // namespace

TEST(ShippedData, ClientConfigHoldsThreeNumbers) {
    std::vector<std::string> tok = Tokens(ReadAll("client/client.cfg"));
    ASSERT_GE(tok.size(), 3u);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(tok[i].find_first_not_of("0123456789"), std::string::npos) << tok[i];
    EXPECT_EQ(tok[0], "320");
    EXPECT_EQ(tok[1], "240");
}

TEST(ShippedData, PaletteHasSixteenUpperCaseColours) {
    std::vector<std::string> tok = Tokens(ReadAll("client/palette.cfg"));
    ASSERT_GE(tok.size(), 16u);
    int rgb[16][3];
    for (int n = 0; n < 16; n++) {
        ASSERT_EQ(tok[n].size(), 6u) << "colour " << n;
        for (char c : tok[n])
            ASSERT_TRUE(IsUpperHex(c)) << "colour " << n << ": " << tok[n];
        for (int ch = 0; ch < 3; ch++) // blue, green, red in the file
            rgb[n][2 - ch] = HexValue(tok[n][2 * ch]) * 16 + HexValue(tok[n][2 * ch + 1]);
    }
    // The screen's background is colour 0.
    EXPECT_EQ(rgb[0][0] + rgb[0][1] + rgb[0][2], 0);
    // Remembered cells use colour 2 at half brightness: it must stay legible.
    int brightest = 0;
    for (int ch = 0; ch < 3; ch++)
        brightest = std::max(brightest, rgb[2][ch] * 8 / 16);
    EXPECT_GE(brightest, 80);
    // Title, player, status lines and the wanderers must stand out on black.
    EXPECT_GE(std::max(rgb[1][0], std::max(rgb[1][1], rgb[1][2])), 200);
    EXPECT_GE(std::max(rgb[15][0], std::max(rgb[15][1], rgb[15][2])), 200);
}

TEST(ShippedData, StringTableStartsWithTheMenuLabels) {
    std::string text = ReadAll("data/str.dat");
    std::vector<std::string> strings;
    std::string cur;
    bool inside = false;
    for (char c : text) {
        if (c == '\'') {
            if (inside)
                strings.push_back(cur);
            cur.clear();
            inside = !inside;
        } else if (inside) {
            cur.push_back(c);
        }
    }
    EXPECT_FALSE(inside) << "a string is left open at the end of the file";
    ASSERT_GE(strings.size(), 5u);
    const char *labels[5] = {" SINGLEPLAYER      ", " MULTIPLAYER GAME  ", " REPLAY DIRECTORY  ",
                             " SYSTEM CONFIG     ", " EXIT GAME         "};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(strings[i], labels[i]) << "slot " << i;
    EXPECT_LE(strings.size(), 256u);
    for (const std::string &s : strings)
        EXPECT_LE(s.size(), 63u) << s;
}

TEST(ShippedData, TileFileHasHeaderAndTenWellFormedTiles) {
    std::vector<std::string> tok = Tokens(ReadAll("data/tiledata.cfg"));
    ASSERT_GE(tok.size(), 5u + 2 * 10);
    EXPECT_EQ((tok.size() - 5) % 2, 0u) << "a tile entry lacks its name";
    std::vector<Tile> tiles = ShippedTiles();
    ASSERT_GE(tiles.size(), 10u);
    ASSERT_LE(tiles.size(), 256u);
    for (size_t t = 0; t < tiles.size(); t++) {
        const Tile &tile = tiles[t];
        ASSERT_EQ(tile.code.size(), 3u) << "tile " << t << ": " << tile.code;
        EXPECT_TRUE(IsUpperHex(tile.code[1])) << "tile " << t << ": " << tile.code;
        EXPECT_TRUE(tile.code[2] >= '0' && tile.code[2] <= '9') << "tile " << t;
        EXPECT_LE(tile.name.size(), 31u) << "tile " << t;
    }
    // Walls must block, floors must not.
    EXPECT_GT(tiles[2].code[2] - '0', 4) << tiles[2].name;
    EXPECT_LE(tiles[1].code[2] - '0', 4) << tiles[1].name;
}

TEST(ShippedData, MapIsRectangularAndFullyReachable) {
    std::vector<Tile> tiles = ShippedTiles();
    ASSERT_GE(tiles.size(), 10u);
    std::vector<std::string> rows = Tokens(ReadAll("data/maptest.map"));
    ASSERT_GE(rows.size(), 40u);
    ASSERT_LE(rows.size(), 128u);
    const size_t width = rows[0].size();
    ASSERT_GE(width, 60u);
    ASSERT_LE(width, 128u);
    for (size_t y = 0; y < rows.size(); y++) {
        ASSERT_EQ(rows[y].size(), width) << "row " << y;
        for (size_t x = 0; x < width; x++) {
            char c = rows[y][x];
            ASSERT_TRUE(c >= '0' && c <= '9') << "cell " << x << "," << y;
            ASSERT_LT(static_cast<size_t>(c - '0'), tiles.size()) << "cell " << x << "," << y;
        }
    }
    const int w = static_cast<int>(width), h = static_cast<int>(rows.size());
    auto passable = [&](int x, int y) { return tiles[rows[y][x] - '0'].code[2] - '0' <= 4; };
    ASSERT_TRUE(passable(2, 4)) << "the player's start";
    ASSERT_TRUE(passable(22, 14)) << "the wanderers' start";

    // Flood the level from the player's start by 8-connected moves.
    std::vector<char> seen(width * rows.size(), 0);
    std::vector<int> todo;
    seen[4 * w + 2] = 1;
    todo.push_back(4 * w + 2);
    while (!todo.empty()) {
        int at = todo.back();
        todo.pop_back();
        for (int dy = -1; dy <= 1; dy++) {
            for (int dx = -1; dx <= 1; dx++) {
                int x = at % w + dx, y = at / w + dy;
                if (x < 0 || y < 0 || x >= w || y >= h || seen[y * w + x] || !passable(x, y))
                    continue;
                seen[y * w + x] = 1;
                todo.push_back(y * w + x);
            }
        }
    }
    EXPECT_TRUE(seen[14 * w + 22]);
    int cut_off = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if (passable(x, y) && !seen[y * w + x]) {
                if (cut_off++ < 5)
                    ADD_FAILURE() << "cell " << x << "," << y << " cannot be reached";
            }
    EXPECT_EQ(cut_off, 0);
}
