// Readers shared by the text-file loaders.
#include "resources/tokens.h"

#include <errno.h>
#include <string.h>

#include "resources/initall.h"

// Complains on stderr, in the form every loader uses.
static void Complain(const char *what, const char *path, int err) {
    fprintf(stderr, "marrowdigger: %s %s: %s\n", what, path, strerror(err));
}

// Opens the file and checks that it can actually be read (a folder opens but
// does not read), so the caller can fall back to its defaults at once.
FILE *OpenResource(const char *path) {
    FILE *f = fopen(path, "rb");
    if (!f) {
        Complain("cannot open", path, errno);
        return nullptr;
    }
    errno = 0;
    int c = getc(f);
    if (c == EOF && ferror(f)) {
        Complain("cannot read", path, errno ? errno : EIO);
        fclose(f);
        return nullptr;
    }
    if (c != EOF)
        ungetc(c, f);
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
