// Token files: one line, "marrowdigger-token " and sixteen hexadecimal digits.
#include "net/tokenfile.h"

#include <errno.h>
#include <fcntl.h>
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#define TOKEN_MARK "marrowdigger-token "
#define TOKEN_TEXT 36     // the mark, sixteen digits and the line end
#define NAME_MAX_CHARS 80 // of the host's part of a file name

bool TokenPath(const char *host, uint16_t port, int seat, char *path, size_t size) {
    const char *state = getenv("XDG_STATE_HOME");
    const char *home = getenv("HOME");
    char base[4096];
    if (state && *state)
        snprintf(base, sizeof base, "%s/marrowdigger", state);
    else if (home && *home)
        snprintf(base, sizeof base, "%s/.local/state/marrowdigger", home);
    else
        return false;
    // The host as it was given, with anything but letters, digits, dots and
    // dashes made harmless.
    char name[NAME_MAX_CHARS + 1];
    size_t n = 0;
    for (; host[n] && n < NAME_MAX_CHARS; n++) {
        char c = host[n];
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '.';
        name[n] = plain ? c : '_';
    }
    name[n] = 0;
    char suffix[16] = "";
    if (seat > 1)
        snprintf(suffix, sizeof suffix, "-%d", seat);
    int len = snprintf(path, size, "%s/server-%s-%u%s", base, name, (unsigned)port, suffix);
    return len > 0 && (size_t)len < size;
}

// One line saying why the token file is not used.
static uint64_t Ignore(const char *who, const char *path, const char *why) {
    fprintf(stderr, "%s: ignoring the token file %s (%s)\n", who, path, why);
    return 0;
}

uint64_t LoadToken(const char *who, const char *path) {
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? 0 : Ignore(who, path, strerror(errno));
    struct stat st;
    char text[TOKEN_TEXT + 1];
    ssize_t got = -1;
    const char *why = NULL;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        why = "not a regular file";
    else if (st.st_size > TOKEN_TEXT)
        why = "too large";
    else
        got = read(fd, text, TOKEN_TEXT);
    close(fd);
    if (why)
        return Ignore(who, path, why);
    if (got != TOKEN_TEXT)
        return Ignore(who, path, "not a token");
    text[TOKEN_TEXT] = 0;
    const char *digits = text + strlen(TOKEN_MARK);
    if (memcmp(text, TOKEN_MARK, strlen(TOKEN_MARK)) != 0 ||
        strspn(digits, "0123456789abcdef") != 16 || digits[16] != '\n')
        return Ignore(who, path, "not a token");
    return strtoull(digits, NULL, 16);
}

// Creates every folder of path's folder that is missing, readable only by
// the user; false with errno set when one cannot be made.
static bool MakeFolders(const char *path) {
    char dir[4096];
    snprintf(dir, sizeof dir, "%s", path);
    char *slash = strrchr(dir, '/');
    if (!slash)
        return true;
    *slash = 0;
    for (char *p = dir + 1; *p; p++) {
        if (*p != '/')
            continue;
        *p = 0;
        if (mkdir(dir, 0700) != 0 && errno != EEXIST)
            return false;
        *p = '/';
    }
    return mkdir(dir, 0700) == 0 || errno == EEXIST;
}

int LockTokenFile(const char *path) {
    char lock[4200];
    snprintf(lock, sizeof lock, "%s.lock", path);
    if (!MakeFolders(path))
        return -1;
    int fd = open(lock, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        fd = -1;
    }
    return fd;
}

bool SaveToken(const char *who, const char *path, uint64_t token) {
    char tmp[4200];
    snprintf(tmp, sizeof tmp, "%s.%ld.new", path, (long)getpid());
    char text[TOKEN_TEXT + 1];
    snprintf(text, sizeof text, TOKEN_MARK "%016" PRIx64 "\n", token);
    int fd = -1;
    bool ok = MakeFolders(path) &&
              (fd = open(tmp, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600)) >= 0 &&
              write(fd, text, TOKEN_TEXT) == TOKEN_TEXT;
    int saved = errno;
    if (fd >= 0 && close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && rename(tmp, path) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        if (fd >= 0)
            unlink(tmp);
        fprintf(stderr, "%s: cannot keep the token in %s: %s\n", who, path, strerror(saved));
    }
    return ok;
}
