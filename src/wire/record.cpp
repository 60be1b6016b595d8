// Records of on-line games: writing them turn by turn, and reading them
// back entry by entry with every field checked.
#include "wire/record.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "math/fnv.h"
#include "resources/errorline.h"
#include "wire/bytes.h"
#include "world/world.h"
#include "world/worldhash.h"

#define HEADER_SIZE 18
#define TURN_HEAD 5 // turn number and mask

static const char magic[8] = {'M', 'D', 'G', 'O', 'R', 'E', 'C', '1'};

#define RECORD_OUT_FLAGS (O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)

// The stream of a record just opened for writing as fd: a regular file only,
// emptied. NULL after one line, with fd closed.
static FILE *RecordStream(int fd, const char *name) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ErrorLine("cannot write the record %s: not a regular file", name);
        close(fd);
        return NULL;
    }
    FILE *f = ftruncate(fd, 0) == 0 ? fdopen(fd, "wb") : NULL;
    if (!f) {
        RecordWriteFailed(name);
        close(fd);
    }
    return f;
}

FILE *OpenRecordOut(int dir, const char *name, bool overwrite) {
    int fd = openat(dir, name, RECORD_OUT_FLAGS | (overwrite ? 0 : O_EXCL), 0644);
    struct stat st;
    if (fd < 0 && (errno == EEXIST || errno == EISDIR) && fstatat(dir, name, &st, 0) == 0 &&
        S_ISDIR(st.st_mode)) {
        ErrorLine("cannot write the record %s: a folder (--record-dir writes into one)", name);
        return NULL;
    }
    if (fd < 0 && errno == EEXIST) {
        ErrorLine("the record %s exists already (--record-overwrite replaces it)", name);
        return NULL;
    }
    if (fd < 0) {
        RecordWriteFailed(name);
        return NULL;
    }
    return RecordStream(fd, name);
}

void RecordName(time_t when, uint16_t port, int n, char *name, size_t size) {
    struct tm t;
    char stamp[32] = "00000000-000000";
    if (gmtime_r(&when, &t))
        strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &t);
    if (n > 1)
        snprintf(name, size, "%s-%u-%d.rec", stamp, (unsigned)port, n);
    else
        snprintf(name, size, "%s-%u.rec", stamp, (unsigned)port);
}

FILE *OpenRecordIn(int dir, const char *folder, time_t when, uint16_t port, char *path,
                   size_t size) {
    size_t len = strlen(folder);
    const char *slash = len > 0 && folder[len - 1] == '/' ? "" : "/";
    char name[64];
    for (int n = 1; n <= RECORD_NAME_TRIES; n++) {
        RecordName(when, port, n, name, sizeof name);
        snprintf(path, size, "%s%s%s", folder, slash, name);
        int fd = openat(dir, name, RECORD_OUT_FLAGS | O_EXCL, 0644);
        if (fd >= 0)
            return RecordStream(fd, path);
        if (errno != EEXIST) {
            RecordWriteFailed(path);
            return NULL;
        }
    }
    ErrorLine("cannot write a record into %s: the names up to %s are taken", folder, name);
    return NULL;
}

void RecordWriteFailed(const char *name) {
    ErrorLine("cannot write the record %s: %s", name, errno ? strerror(errno) : "short write");
}

bool RecordHeader(FILE *f, uint64_t data_hash, uint8_t players, uint8_t setup) {
    uint8_t h[HEADER_SIZE];
    errno = 0;
    memcpy(h, magic, 8);
    PutBE64(h + 8, data_hash);
    h[16] = players;
    h[17] = setup;
    return fwrite(h, 1, sizeof h, f) == sizeof h && fflush(f) == 0;
}

// Writes one record: turn number, mask, the given slots' commands, check.
static bool WriteRecord(FILE *f, uint32_t number, uint8_t mask, uint8_t slots) {
    uint8_t rec[TURN_HEAD + MAX_CLIENTS * CLIENT_SLOT + 4];
    size_t n = TURN_HEAD;
    PutBE32(rec, number);
    rec[4] = mask;
    for (int i = 0; i < MAX_CLIENTS; i++)
        if (slots & (1 << i)) {
            memcpy(rec + n, net_client_msg + i * CLIENT_SLOT, CLIENT_SLOT);
            n += CLIENT_SLOT;
        }
    PutBE32(rec + n, Fnv32(rec, n));
    n += 4;
    errno = 0;
    return fwrite(rec, 1, n, f) == n && fflush(f) == 0;
}

bool RecordTurn(FILE *f, uint32_t number, uint8_t held) {
    return WriteRecord(f, number, held, held);
}

bool RecordEnd(FILE *f, uint32_t turns) {
    return WriteRecord(f, turns, RECORD_END_MASK, 0);
}

// Reads exactly n bytes; false at the end of the file or on an error.
static bool ReadAll(FILE *f, uint8_t *p, size_t n) {
    return fread(p, 1, n, f) == n;
}

FILE *RecordOpenRead(const char *who, const char *path) {
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        fprintf(stderr, "%s: cannot read the record %s: %s\n", who, path, strerror(errno));
        return NULL;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        fprintf(stderr, "%s: cannot read the record %s: not a regular file\n", who, path);
        close(fd);
        return NULL;
    }
    FILE *f = fdopen(fd, "rb");
    if (!f) {
        fprintf(stderr, "%s: cannot read the record %s: %s\n", who, path, strerror(errno));
        close(fd);
    }
    return f;
}

bool RecordReadHeader(FILE *f, const char *who, const char *name, int *players, int *setup) {
    uint8_t h[HEADER_SIZE];
    if (!ReadAll(f, h, sizeof h) || memcmp(h, magic, 8) != 0 || h[16] < 1 || h[16] > MAX_CLIENTS ||
        h[17] > SETUP_ALL) {
        fprintf(stderr, "%s: %s is not a game record\n", who, name);
        return false;
    }
    uint64_t hash = GetBE64(h + 8);
    if (hash != DataHash()) {
        fprintf(stderr, "%s: %s was made from other data (map or tile file)\n", who, name);
        return false;
    }
    *players = h[16];
    *setup = h[17];
    return true;
}

// Puts a turn entry's commands into the command slots: the held slots' in
// slot order, zero for the others.
static void PutCommands(uint8_t mask, const uint8_t *cmd) {
    for (int i = 0; i < MAX_CLIENTS; i++) {
        uint8_t *slot = net_client_msg + i * CLIENT_SLOT;
        if (mask & (1 << i)) {
            memcpy(slot, cmd, CLIENT_SLOT);
            cmd += CLIENT_SLOT;
        } else {
            memset(slot, 0, CLIENT_SLOT);
        }
    }
}

int RecordReadTurn(FILE *f, int players) {
    uint8_t rec[TURN_HEAD + MAX_CLIENTS * CLIENT_SLOT + 4];
    if (!ReadAll(f, rec, TURN_HEAD))
        return RECORD_CUT;
    uint8_t mask = rec[4];
    bool end = mask == RECORD_END_MASK;
    if (!end && (mask >> players) != 0)
        return RECORD_CORRUPT;
    int held = 0;
    for (int i = 0; i < MAX_CLIENTS; i++)
        held += (mask >> i) & 1;
    size_t n = TURN_HEAD + (end ? 0 : held * CLIENT_SLOT);
    if (!ReadAll(f, rec + TURN_HEAD, n - TURN_HEAD + 4))
        return RECORD_CUT;
    if (GetBE32(rec + n) != Fnv32(rec, n) || GetBE32(rec) != turn)
        return RECORD_CORRUPT;
    if (end)
        return fgetc(f) == EOF ? RECORD_DONE : RECORD_CORRUPT;
    PutCommands(mask, rec + TURN_HEAD);
    return RECORD_TURN;
}

const char *RecordFault(int status) {
    return status == RECORD_CUT ? "cut short" : "corrupted";
}
