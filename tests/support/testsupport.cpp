// Helpers shared by the tests.
#include "support/testsupport.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <sstream>

#include <gtest/gtest.h>

// Children started by StartProgram and not yet seen to end: a test that
// fails (or returns early) leaves none running after it.
static pid_t started[64];
static int started_count;

// Kills and reaps every child a test left running, at the end of each test.
struct EndChildren : ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo &) override {
        for (int i = 0; i < started_count; i++) {
            int status;
            if (waitpid(started[i], &status, WNOHANG) == 0) {
                kill(started[i], SIGKILL);
                waitpid(started[i], &status, 0);
            }
        }
        started_count = 0;
    }
};

static const bool listening = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new EndChildren);
    return true;
}();

std::string EnterScratchDir() {
    const char *tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/mdtest.XXXXXX";
    char buf[512];
    snprintf(buf, sizeof buf, "%s", pattern.c_str());
    if (!mkdtemp(buf))
        abort();
    std::string dir = buf;
    mkdir((dir + "/client").c_str(), 0755);
    mkdir((dir + "/data").c_str(), 0755);
    mkdir((dir + "/font").c_str(), 0755);
    if (chdir(dir.c_str()) != 0)
        abort();
    return dir;
}

void WriteFile(const std::string &path, const std::string &contents) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        abort();
    fwrite(contents.data(), 1, contents.size(), f);
    fclose(f);
}

std::string DataDir() {
    return MD_DATA_DIR;
}

std::string BuildProgram(const std::string &relative) {
    // The environment's folder first; ctest's list of variables for the
    // discovered tests passes on only the first one.
    const char *dir = getenv("MD_BUILD_DIR");
    return std::string(dir && *dir ? dir : MD_BUILD_DIR) + "/" + relative;
}

// Points file descriptor fd at the file path (created, truncated).
static void RedirectTo(int fd, const std::string &path) {
    if (path.empty())
        return;
    int f = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (f < 0)
        _exit(126);
    dup2(f, fd);
    close(f);
}

pid_t StartProgram(const std::vector<std::string> &args, const std::string &out_path,
                   const std::string &err_path) {
    std::vector<std::string> words;
    const char *emulator = getenv("MD_TEST_EMULATOR");
    if (emulator && *emulator) {
        std::istringstream in(emulator);
        std::string w;
        while (in >> w)
            words.push_back(w);
    }
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);
    fflush(stdout);
    fflush(stderr);
    (void)listening;
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        // Killed with the test process, also when that is killed outright.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(126);
        RedirectTo(1, out_path);
        RedirectTo(2, err_path);
        // A program starts with SIGXFSZ at its default, killing, action
        // whatever this test did with it: a program that must not die of a
        // file-size limit has to see to that itself.
        signal(SIGXFSZ, SIG_DFL);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid > 0 && started_count < (int)(sizeof started / sizeof started[0]))
        started[started_count++] = pid;
    return pid;
}

int WaitProgram(pid_t pid, int timeout_ms, bool *timed_out) {
    *timed_out = false;
    int status = 0;
    for (int waited = 0;; waited += 10) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || r < 0)
            return status;
        if (waited >= timeout_ms) {
            *timed_out = true;
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return status;
        }
        struct timespec ten_ms = {0, 10 * 1000 * 1000};
        nanosleep(&ten_ms, nullptr);
    }
}

std::string ReadFile(const std::string &path) {
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return "";
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    fclose(f);
    return s;
}

int RandomCases(int n) {
    const char *emulator = getenv("MD_TEST_EMULATOR");
    if (!emulator || !*emulator)
        return n;
    return n / 4 > 0 ? n / 4 : 1;
}
