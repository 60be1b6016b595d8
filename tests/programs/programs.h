// Helpers of the tests that start the game and the headless runner as
// processes of their own.
#ifndef MD_TESTS_PROGRAMS_PROGRAMS_H
#define MD_TESTS_PROGRAMS_PROGRAMS_H

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <time.h>

#include <string>

#include "support/testsupport.h"

// AddressSanitizer builds: their programs cannot run under an address-space
// limit or under valgrind.
#if defined(__SANITIZE_ADDRESS__)
#define MD_ASAN_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MD_ASAN_BUILD 1
#endif
#endif

// Whether the programs run under an emulator (MD_TEST_EMULATOR is set).
inline bool UnderEmulator() {
    const char *emulator = getenv("MD_TEST_EMULATOR");
    return emulator && *emulator;
}

inline void SleepMs(int ms) {
    struct timespec t = {ms / 1000, (long)(ms % 1000) * 1000000L};
    nanosleep(&t, nullptr);
}

// Whether process pid has a handler of its own for signal sig, from the
// SigCgt mask of /proc/PID/status.
inline bool Catches(pid_t pid, int sig) {
    std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
    size_t at = status.find("SigCgt:");
    if (at == std::string::npos)
        return false;
    unsigned long long mask = strtoull(status.c_str() + at + 7, nullptr, 16);
    return (mask >> (sig - 1)) & 1;
}

// Waits until a started program catches sig (the game: SDL is up), at most
// timeout_ms. An emulator catches every signal itself and hides the
// program's own handlers, so under one this waits a fixed 5 s instead.
inline bool WaitUntilCatching(pid_t pid, int sig, int timeout_ms) {
    if (UnderEmulator()) {
        SleepMs(5000);
        return true;
    }
    for (int waited = 0; waited < timeout_ms; waited += 10) {
        if (Catches(pid, sig))
            return true;
        SleepMs(10);
    }
    return false;
}

// Started programs begin with SIGINT, SIGTERM and SIGHUP at their default
// actions, even when this test was started with them ignored (nohup, &).
inline void DefaultStopSignals() {
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
}

// Copies the shipped data tree into the working directory, which has the
// folders of EnterScratchDir.
inline void CopyShippedData() {
    const char *const files[] = {"client/client.cfg", "client/palette.cfg", "data/str.dat",
                                 "data/tiledata.cfg", "data/maptest.map",   "font/font.bmp"};
    for (const char *file : files)
        WriteFile(file, ReadFile(DataDir() + "/" + file));
}

#endif
