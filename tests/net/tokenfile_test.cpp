// Token files: where they go, kept whole and private, and anything else found
// in their place ignored with one line, without blocking.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "net/online.h"
#include "net/tokenfile.h"

namespace {

TEST(TokenFile, KeptPrivatelyPerServerAndHostileFilesIgnored) {
    std::string dir = TempDir();
    char path[4096];
    setenv("XDG_STATE_HOME", (dir + "/xdg").c_str(), 1);
    ASSERT_TRUE(TokenPath("127.0.0.1", 7742, 1, path, sizeof path));
    EXPECT_EQ(std::string(path), dir + "/xdg/marrowdigger/server-127.0.0.1-7742");
    // A host name cannot lead out of the folder.
    ASSERT_TRUE(TokenPath("../x/y", 1, 1, path, sizeof path));
    EXPECT_EQ(std::string(path), dir + "/xdg/marrowdigger/server-.._x_y-1");
    EXPECT_FALSE(TokenPath("h", 1, 1, path, 20)); // does not fit
    unsetenv("XDG_STATE_HOME");
    setenv("HOME", dir.c_str(), 1);
    ASSERT_TRUE(TokenPath("h", 9, 2, path, sizeof path));
    EXPECT_EQ(std::string(path), dir + "/.local/state/marrowdigger/server-h-9-2");
    ASSERT_TRUE(TokenPath("h", 9, 1, path, sizeof path));
    EXPECT_EQ(std::string(path), dir + "/.local/state/marrowdigger/server-h-9");

    // One running game at a time holds a seat's file.
    int lock = LockTokenFile(path);
    ASSERT_GE(lock, 0);
    EXPECT_EQ(LockTokenFile(path), -1);
    close(lock);
    lock = LockTokenFile(path);
    EXPECT_GE(lock, 0);
    close(lock);

    // None yet: no token, no line. Then kept whole, readable by the user only.
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadToken("t", path), 0u);
    ASSERT_TRUE(SaveToken("t", path, 0x0123456789abcdefull));
    EXPECT_TRUE(SaveToken("t", path, 0xfedcba9876543210ull));
    EXPECT_EQ(LoadToken("t", path), 0xfedcba9876543210ull);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    struct stat st;
    ASSERT_EQ(stat(path, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((dir + "/.local/state/marrowdigger").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    std::string good = ReadFile(path);

    // Anything else: ignored with one line naming the file.
    std::string broken[] = {good.substr(0, good.size() - 1),
                            good + "x",
                            "",
                            std::string(1 << 20, 'a'),
                            "marrowdigger-token 0123456789ABCDEF\n",
                            "marrowdigger-token 0123456789abcdeg\n"};
    for (const std::string &b : broken) {
        WriteFile(path, b);
        testing::internal::CaptureStderr();
        EXPECT_EQ(LoadToken("t", path), 0u);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(std::string("t: ignoring the token file ") + path), std::string::npos)
            << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
    }
    std::string other = dir + "/other";
    WriteFile(other, good);
    const char *hostile[] = {"fifo", "link", "folder"};
    for (const char *h : hostile) {
        unlink(path);
        if (!strcmp(h, "fifo"))
            ASSERT_EQ(mkfifo(path, 0600), 0);
        else if (!strcmp(h, "link"))
            ASSERT_EQ(symlink(other.c_str(), path), 0);
        else
            ASSERT_EQ(mkdir(path, 0700), 0);
        testing::internal::CaptureStderr();
        EXPECT_EQ(LoadToken("t", path), 0u) << h;
        EXPECT_NE(testing::internal::GetCapturedStderr().find("ignoring"), std::string::npos) << h;
        rmdir(path);
    }
    // A place that cannot be written: one line, and no token kept.
    unlink(path);
    WriteFile(dir + "/.local/state/marrowdigger/blocked", "");
    std::string below = dir + "/.local/state/marrowdigger/blocked/server-h-9";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(SaveToken("t", below.c_str(), 1));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot keep the token in " + below),
              std::string::npos);
}

} // namespace
