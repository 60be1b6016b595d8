// String table: quote rules and bounds.
#include <gtest/gtest.h>

#include <string>

#include "game/initall.h"
#include "resources/strings.h"
#include "support/testsupport.h"

static void LoadStringsText(const std::string &text) {
    EnterScratchDir();
    WriteFile("data/str.dat", text);
    LoadStrings();
}

TEST(LoadStrings, QuoteRules) {
    LoadStringsText("0 'ABC' junk \"x\" 1'DE'\n2 '' 'X' 'line\nend \"q\"'\n'open to the en");
    EXPECT_STREQ(str_item[0], "ABC");
    EXPECT_STREQ(str_item[1], "DE");
    EXPECT_STREQ(str_item[2], "");
    EXPECT_STREQ(str_item[3], "X");
    EXPECT_STREQ(str_item[4], "line\nend \"q\"");
    EXPECT_STREQ(str_item[5], "open to the en");
    EXPECT_STREQ(str_item[6], "");
}

// Strings of more than 63 characters keep 63 and still end at their closing
// quote; the next string takes the next slot.
TEST(LoadStrings, LongStringsAreCut) {
    std::string a(100, 'a'), b(63, 'b');
    LoadStringsText("'" + a + "' '" + b + "' 'c'");
    EXPECT_EQ(std::string(str_item[0]), a.substr(0, 63));
    EXPECT_EQ(str_item[0][63], 0);
    EXPECT_EQ(std::string(str_item[1]), b);
    EXPECT_STREQ(str_item[2], "c");
}

// Strings past the 256th are read but not kept.
TEST(LoadStrings, AtMost256Strings) {
    std::string text;
    for (int i = 0; i < 300; i++)
        text += "'s" + std::to_string(i) + std::string(80, 'z') + "'\n";
    LoadStringsText(text);
    for (int i = 0; i < 256; i++) {
        std::string want = "s" + std::to_string(i) + std::string(80, 'z');
        ASSERT_EQ(std::string(str_item[i]), want.substr(0, 63)) << i;
    }
}

TEST(LoadStrings, MissingFileLeavesSlotsEmpty) {
    EnterScratchDir();
    testing::internal::CaptureStderr();
    LoadStrings();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "marrowdigger: cannot open data/str.dat: No such file or directory\n");
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(str_item[i][0], 0);
}

// The shipped table starts with the five menu labels.
TEST(LoadStrings, ShippedMenuLabels) {
    LoadStrings();
    EXPECT_STREQ(str_item[0], " SINGLEPLAYER      ");
    EXPECT_STREQ(str_item[4], " EXIT GAME         ");
}
