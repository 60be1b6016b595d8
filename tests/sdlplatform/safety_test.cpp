// Off the handheld, start-up and shutdown must leave the machine alone: the
// system memory device is never opened (its timing registers belong to the
// console) and no program is started (the hand-back to the console's menu).
// This test program replaces the C library's file-opening and
// program-starting calls with recording ones: opens are recorded and passed
// on to the C library, program starts are recorded and refused, so nothing
// is ever run from here.
// The replacements below define the plain and the 64-bit names side by side;
// 64-bit file offsets on a 32-bit system would make the plain names the
// 64-bit ones, so this file keeps the plain names.
#undef _FILE_OFFSET_BITS
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <spawn.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>

#include "game/initall.h"
#include "platform/platform.h"
#include "platform/ramhack.h"
#include "world/world.h"

namespace {

const int kRecords = 256;
char opened[kRecords][PATH_MAX];  // the first paths opened, in order
std::atomic<int> opens{0};        // open calls seen
std::atomic<int> memory_opens{0}; // of which named the system memory device
char started[kRecords][PATH_MAX]; // the first programs asked to start
std::atomic<int> starts{0};       // start calls seen

void Record(char (*list)[PATH_MAX], std::atomic<int> &count, const char *path) {
    int n = count.fetch_add(1);
    if (n < kRecords)
        snprintf(list[n], PATH_MAX, "%s", path ? path : "(null)");
}

// Whether the path (relative to the folder dir) names the system memory
// device, by its name or as the device itself (character device 1:1).
bool IsMemoryDevice(int dir, const char *path) {
    if (!path)
        return false;
    if (strcmp(path, "/dev/mem") == 0)
        return true;
    struct stat st;
    return fstatat(dir, path, &st, 0) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) == 1 &&
           minor(st.st_rdev) == 1;
}

// Records an open call, keeping the caller's errno.
void RecordOpen(int dir, const char *path) {
    int saved = errno;
    Record(opened, opens, path);
    if (IsMemoryDevice(dir, path))
        memory_opens++;
    errno = saved;
}

// The mode argument of an open call exists only when it creates a file.
bool TakesMode(int flags) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
}

// The C library's own version of a replaced call.
template <typename F> F Next(const char *name) {
    return (F)dlsym(RTLD_NEXT, name);
}

// Records a program start and refuses it.
int Refuse(const char *path) {
    Record(started, starts, path);
    errno = EACCES;
    return -1;
}

} // namespace

// The replacements. Each open-family call records its path and forwards with
// the same arguments; each start-family call records and fails.
extern "C" {

int open(const char *path, int flags, ...) {
    mode_t mode = 0;
    if (TakesMode(flags)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    RecordOpen(AT_FDCWD, path);
    return Next<int (*)(const char *, int, ...)>("open")(path, flags, mode);
}

int open64(const char *path, int flags, ...) {
    mode_t mode = 0;
    if (TakesMode(flags)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    RecordOpen(AT_FDCWD, path);
    return Next<int (*)(const char *, int, ...)>("open64")(path, flags, mode);
}

int openat(int dir, const char *path, int flags, ...) {
    mode_t mode = 0;
    if (TakesMode(flags)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    RecordOpen(dir, path);
    return Next<int (*)(int, const char *, int, ...)>("openat")(dir, path, flags, mode);
}

int openat64(int dir, const char *path, int flags, ...) {
    mode_t mode = 0;
    if (TakesMode(flags)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    RecordOpen(dir, path);
    return Next<int (*)(int, const char *, int, ...)>("openat64")(dir, path, flags, mode);
}

FILE *fopen(const char *path, const char *how) {
    RecordOpen(AT_FDCWD, path);
    return Next<FILE *(*)(const char *, const char *)>("fopen")(path, how);
}

FILE *fopen64(const char *path, const char *how) {
    RecordOpen(AT_FDCWD, path);
    return Next<FILE *(*)(const char *, const char *)>("fopen64")(path, how);
}

int execl(const char *path, const char *, ...) noexcept {
    return Refuse(path);
}

int execlp(const char *file, const char *, ...) noexcept {
    return Refuse(file);
}

int execle(const char *path, const char *, ...) noexcept {
    return Refuse(path);
}

int execv(const char *path, char *const *) noexcept {
    return Refuse(path);
}

int execve(const char *path, char *const *, char *const *) noexcept {
    return Refuse(path);
}

int execvp(const char *file, char *const *) noexcept {
    return Refuse(file);
}

int execvpe(const char *file, char *const *, char *const *) noexcept {
    return Refuse(file);
}

int system(const char *command) {
    return Refuse(command ? command : "(shell check)");
}

int posix_spawn(pid_t *, const char *path, const posix_spawn_file_actions_t *,
                const posix_spawnattr_t *, char *const *, char *const *) {
    Record(started, starts, path);
    return EACCES;
}

int posix_spawnp(pid_t *, const char *file, const posix_spawn_file_actions_t *,
                 const posix_spawnattr_t *, char *const *, char *const *) {
    Record(started, starts, file);
    return EACCES;
}

} // extern "C"

namespace {

// The recording sees the calls the game makes: a file opened through the
// replacements is recorded and really opened, the memory device is
// recognised by name and by device, and a program start is recorded and
// refused without running anything.
TEST(Safety, RecordingSeesOpensAndStarts) {
    opens = 0;
    memory_opens = 0;
    starts = 0;
    int fd = open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 0);
    close(fd);
    FILE *f = fopen("client/client.cfg", "rb");
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_EQ(memory_opens.load(), 0);
    EXPECT_TRUE(IsMemoryDevice(AT_FDCWD, "/dev/mem"));
    EXPECT_FALSE(IsMemoryDevice(AT_FDCWD, "/dev/null"));
    // A path that names no program: even a real start could run nothing.
    const char *never = "/nonexistent/marrowdigger-never-run";
    EXPECT_EQ(execl(never, never, (char *)NULL), -1);
    EXPECT_EQ(errno, EACCES); // the real call would have said ENOENT
    ASSERT_EQ(opens.load(), 2);
    EXPECT_STREQ(opened[0], "/dev/null");
    EXPECT_STREQ(opened[1], "client/client.cfg");
    ASSERT_EQ(starts.load(), 1);
    EXPECT_STREQ(started[0], never);
}

// The game's start-up (configuration, platform with SDL's dummy display,
// initialisation with the shipped data) and its shutdown, as the program
// runs them, open the data files but never the memory device, and start no
// program.
TEST(Safety, StartUpAndShutDownLeaveTheMachineAlone) {
    ASSERT_FALSE(Platform_IsHandheld());
    opens = 0;
    memory_opens = 0;
    starts = 0;
    LoadConfig();
    Platform_Init();
    Initialize();
    SaveConfig();
    Platform_ShutDown();

    EXPECT_EQ(memory_opens.load(), 0);
    EXPECT_EQ(starts.load(), 0) << "started " << started[0];
    // The recording was live during the run: it saw the game's own loads,
    // the font's through SDL's library as well.
    bool saw_config = false, saw_font = false, saw_map = false;
    for (int i = 0; i < opens.load() && i < kRecords; i++) {
        saw_config |= strcmp(opened[i], "client/client.cfg") == 0;
        saw_font |= strcmp(opened[i], "font/font.bmp") == 0;
        saw_map |= strcmp(opened[i], "data/maptest.map") == 0;
    }
    EXPECT_TRUE(saw_config);
    EXPECT_TRUE(saw_font);
    EXPECT_TRUE(saw_map);
    // The timing step left no trace either.
    EXPECT_EQ(gp2x_dev, 0);
    EXPECT_EQ(MEM_REG, nullptr);
}

} // namespace
