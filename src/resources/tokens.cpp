// Readers shared by the data-file loaders.
#include "resources/tokens.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "resources/errorline.h"

const char hextodig[16] = {'0', '1', '2', '3', '4', '5', '6', '7',
                           '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};

// The open text file's bytes; the one byte more tells a longer file.
static char resource_text[RESOURCE_MAX_BYTES + 1];

// Opens without blocking (a FIFO with no writer would wait forever), then
// refuses anything but a regular file and makes the descriptor blocking again
// for the reads.
int OpenDataFile(const char *path, char *err, size_t size) {
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        snprintf(err, size, "cannot open %s: %s", path, strerror(errno));
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        snprintf(err, size, "cannot read %s: not a regular file", path);
        close(fd);
        return -1;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags != -1)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

// Reads up to size bytes; the count read, or -1 on a read error.
static long ReadUpTo(int fd, char *buf, long size) {
    long got = 0;
    while (got < size) {
        ssize_t n = read(fd, buf + got, (size_t)(size - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

// Reads the first 1 MiB of the file, then serves it from memory.
FILE *OpenResource(const char *path) {
    char err[320];
    int fd = OpenDataFile(path, err, sizeof err);
    if (fd < 0) {
        ErrorLine("%s", err);
        return nullptr;
    }
    long got = ReadUpTo(fd, resource_text, sizeof resource_text);
    int read_error = errno;
    close(fd);
    if (got < 0) {
        ErrorLine("cannot read %s: %s", path, strerror(read_error));
        return nullptr;
    }
    if (got > RESOURCE_MAX_BYTES) {
        ErrorLine("%s is longer than 1 MiB; the rest is ignored", path);
        got = RESOURCE_MAX_BYTES;
    }
    FILE *f = fmemopen(resource_text, (size_t)got, "r");
    if (!f)
        ErrorLine("cannot read %s: %s", path, strerror(errno));
    return f;
}

// White space as the C locale's isspace sees it.
static bool IsBlank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads one token, keeping only what fits the buffer.
int ReadToken(FILE *f, char *buf, int size) {
    if (size < 2)
        return 0;
    int c = getc(f);
    while (c != EOF && IsBlank(c))
        c = getc(f);
    if (c == EOF)
        return 0;
    int len = 0;
    while (c != EOF && !IsBlank(c)) {
        if (len < size - 1)
            buf[len++] = (char)c;
        c = getc(f);
    }
    if (c != EOF)
        ungetc(c, f);
    buf[len] = 0;
    return len;
}

// Position of the character in hextodig.
int HexValue(unsigned char c) {
    for (int i = 0; i < 16; i++)
        if ((unsigned char)hextodig[i] == c)
            return i;
    return -1;
}
