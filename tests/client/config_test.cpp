// Client configuration and the token reader shared by the loaders.
#include <gtest/gtest.h>

#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "client/config.h"
#include "console/render.h"
#include "game/initall.h"
#include "resources/tokens.h"
#include "support/testsupport.h"

TEST(LoadConfig, ScreenIsAlways320x240) {
    EnterScratchDir();
    WriteFile("client/client.cfg", "640 480 1\n");
    LoadConfig();
    EXPECT_EQ(Screen_Width, 320);
    EXPECT_EQ(Screen_Height, 240);
    EXPECT_EQ(FullScreen, 1);
    WriteFile("client/client.cfg", "1\t2\n\n70000 trailing words 9");
    LoadConfig();
    EXPECT_EQ(Screen_Width, 320);
    EXPECT_EQ(FullScreen, 70000 & 0xFFFF);
    WriteFile("client/client.cfg", "800 600 -1");
    LoadConfig();
    EXPECT_EQ(FullScreen, 65535);
}

TEST(LoadConfig, MissingOrShortFileGivesDefaults) {
    EnterScratchDir();
    testing::internal::CaptureStderr();
    LoadConfig();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "marrowdigger: cannot open client/client.cfg: No such file or directory\n");
    EXPECT_EQ(Screen_Width, 320);
    EXPECT_EQ(Screen_Height, 240);
    EXPECT_EQ(FullScreen, 0);
    WriteFile("client/client.cfg", "640 480");
    LoadConfig();
    EXPECT_EQ(Screen_Height, 240);
    EXPECT_EQ(FullScreen, 0);
}

// A folder opens but cannot be read: reported like a missing file.
TEST(LoadConfig, UnreadableFileIsReported) {
    EnterScratchDir();
    ASSERT_EQ(0, mkdir("client/client.cfg", 0755));
    testing::internal::CaptureStderr();
    LoadConfig();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("marrowdigger: cannot read client/client.cfg: "), std::string::npos) << err;
    EXPECT_EQ(Screen_Width, 320);
}

// Reads all tokens of a file through a small buffer.
static std::vector<std::string> Tokens(const std::string &text, int size) {
    WriteFile("data/t.txt", text);
    FILE *f = fopen("data/t.txt", "rb");
    std::vector<std::string> out;
    char buf[64];
    memset(buf, '#', sizeof buf);
    int n;
    while ((n = ReadToken(f, buf, size)) > 0) {
        EXPECT_EQ(buf[n], 0);
        EXPECT_EQ(buf[size], '#'); // nothing written past the buffer
        out.push_back(std::string(buf, n));
    }
    fclose(f);
    return out;
}

TEST(ReadToken, SplitsOnAllWhiteSpaceAndCutsLongTokens) {
    EnterScratchDir();
    using V = std::vector<std::string>;
    EXPECT_EQ(Tokens(" a\tbb\n\r\v\fccc  \n", 8), (V{"a", "bb", "ccc"}));
    EXPECT_EQ(Tokens("0123456789ABCDEF next", 8), (V{"0123456", "next"}));
    EXPECT_EQ(Tokens(std::string(100000, 'x') + "\ny", 4), (V{"xxx", "y"}));
    EXPECT_EQ(Tokens("last", 8), (V{"last"}));
    EXPECT_EQ(Tokens("", 8), V{});
    EXPECT_EQ(Tokens(" \n\t ", 8), V{});
}

// The white space after a token stays in the stream, and an exhausted file
// leaves the buffer alone.
TEST(ReadToken, LeavesTrailingSpaceAndBufferOnEnd) {
    EnterScratchDir();
    WriteFile("data/t.txt", "ab\ncd");
    FILE *f = fopen("data/t.txt", "rb");
    char buf[8];
    ASSERT_EQ(ReadToken(f, buf, 8), 2);
    EXPECT_EQ(getc(f), '\n');
    ASSERT_EQ(ReadToken(f, buf, 8), 2);
    EXPECT_EQ(ReadToken(f, buf, 8), 0);
    EXPECT_STREQ(buf, "cd");
    fclose(f);
}

// The numbers are read as "%d" reads them into an int and the value is kept
// to 16 bits, without buffering the digits: an overlong number saturates at
// the 64-bit limits as the C library's conversion does on a 64-bit system.
TEST(LoadConfig, NumbersReadLikePercentD) {
    EnterScratchDir();
    const struct {
        const char *text;
        uint16_t flag;
    } cases[] = {
        {"1 2 +7", 7},
        {"1 2\n\t -3 4", 65533},
        {"1 2 99999999999999999999999", 65535},
        {"1 2 -99999999999999999999999", 0},
        {"1 2 9223372036854775807", 65535},
        {"1 2 -9223372036854775808", 0},
        {"1 2 65537x", 1},
        {"1 2 +-3", 0},
        {"1 2 - 3", 0},
        {"1 x 5", 0},
    };
    for (const auto &c : cases) {
        WriteFile("client/client.cfg", c.text);
        LoadConfig();
        EXPECT_EQ(FullScreen, c.flag) << c.text;
    }
}

// Anything but a regular file is refused at once, with one line naming it:
// nothing blocks on a FIFO or reads a device without end.
TEST(OpenResource, OnlyRegularFiles) {
    std::string dir = EnterScratchDir();
    ASSERT_EQ(0, mkfifo("data/fifo", 0644));
    ASSERT_EQ(0, symlink("/dev/zero", "data/zero"));
    ASSERT_EQ(0, mkdir("data/folder", 0755));
    for (const char *path : {"data/fifo", "data/zero", "data/folder"}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(OpenResource(path), nullptr) << path;
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string("marrowdigger: cannot read ") + path + ": not a regular file\n");
    }
}

// A text file is read up to 1 MiB; the rest of a longer one is ignored, and
// said so in one line.
TEST(OpenResource, AtMostOneMebibyte) {
    EnterScratchDir();
    for (size_t extra : {0, 1}) {
        WriteFile("data/big",
                  std::string(RESOURCE_MAX_BYTES - 1, 'a') + "b" + std::string(extra, 'c'));
        testing::internal::CaptureStderr();
        FILE *f = OpenResource("data/big");
        std::string err = testing::internal::GetCapturedStderr();
        ASSERT_NE(f, nullptr);
        size_t n = 0;
        int c, last = 0;
        while ((c = getc(f)) != EOF) {
            n++;
            last = c;
        }
        fclose(f);
        EXPECT_EQ(n, (size_t)RESOURCE_MAX_BYTES);
        EXPECT_EQ(last, 'b');
        EXPECT_EQ(err, extra ? "marrowdigger: data/big is longer than 1 MiB; the rest is ignored\n"
                             : "");
    }
}
