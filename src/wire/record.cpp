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
#include "wire/followstream.h"
#include "world/snapshot.h"
#include "world/world.h"
#include "world/worldhash.h"

#define HEADER_SIZE 18
#define TURN_HEAD 5  // version 1: turn number and mask
#define SNAP_HEAD 19 // mark, size, previous snapshot's offset, world hash
#define SNAP_ENTRY_MAX (SNAP_HEAD + SNAPSHOT_MAX + 4)
#define SLOTS (MAX_CLIENTS * CLIENT_SLOT)

static const char magic1[8] = {'M', 'D', 'G', 'O', 'R', 'E', 'C', '1'};
static const char magic2[8] = {'M', 'D', 'G', 'O', 'R', 'E', 'C', '2'};

// The record being written.
static uint8_t out_last[SLOTS]; // command slots as the record last gave them
static uint32_t out_check;      // check chain after the last entry
static uint64_t out_offset;     // bytes written
static uint64_t out_snap;       // offset of the last snapshot entry, 0 none
static int out_version;         // version written: 2, or 1 for the tests of old records

// Where a record being read stands; saved and put back around a search.
struct ReadPlace {
    long offset;          // file offset of the next entry
    uint32_t turn;        // turn of the next turn entry
    uint32_t check;       // check chain after the last entry
    uint8_t slots[SLOTS]; // command slots as the record last gave them
};
static int in_version;    // 1 or 2
static ReadPlace in;      // the reader's place (offset kept by the file)
static long in_snap = -1; // offset of the last snapshot entry read, -1 none

// FNV-1a 32 continued from h.
static uint32_t Chain(uint32_t h, const uint8_t *p, size_t n) {
    for (size_t i = 0; i < n; i++)
        h = (h ^ p[i]) * FNV32_PRIME;
    return h;
}

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

bool RecordHeader(FILE *f, uint64_t data_hash, uint8_t players, uint8_t setup, int version) {
    uint8_t h[HEADER_SIZE];
    errno = 0;
    out_version = version;
    memcpy(h, version == 1 ? magic1 : magic2, 8);
    PutBE64(h + 8, data_hash);
    h[16] = players;
    h[17] = setup;
    memset(out_last, 0, sizeof out_last);
    out_check = FNV32_START;
    out_offset = sizeof h;
    out_snap = 0;
    return fwrite(h, 1, sizeof h, f) == sizeof h && fflush(f) == 0;
}

// Writes a version 1 entry: turn number, mask, the given slots' commands,
// check.
static bool WriteRecord1(FILE *f, uint32_t number, uint8_t mask, uint8_t slots) {
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

// Writes an entry of n bytes and its check, which continues the chain, or
// starts it anew for a snapshot; false on a write error.
static bool WriteEntry(FILE *f, uint8_t *e, size_t n, bool fresh) {
    out_check = Chain(fresh ? FNV32_START : out_check, e, n);
    PutBE32(e + n, out_check);
    n += 4;
    out_offset += n;
    errno = 0;
    return fwrite(e, 1, n, f) == n;
}

// Writes the snapshot entry of the world as it stands.
static bool WriteSnapshot(FILE *f) {
    static uint8_t e[SNAP_ENTRY_MAX];
    size_t size = SnapshotWrite(e + SNAP_HEAD, out_last);
    if (size == 0)
        return true; // a world no snapshot takes: the record goes on without
    uint64_t at = out_offset;
    e[0] = RECORD_SNAP_MARK;
    PutBE16(e + 1, (uint16_t)size);
    PutBE64(e + 3, out_snap);
    PutBE64(e + 11, WorldHash());
    out_snap = at;
    return WriteEntry(f, e, SNAP_HEAD + size, true);
}

bool RecordTurn(FILE *f, uint32_t number, uint8_t held) {
    if (out_version == 1)
        return WriteRecord1(f, number, held, held);
    if (FollowSnapDue(number) && !WriteSnapshot(f))
        return false;
    uint8_t e[FOLLOW_ENTRY_MAX + 4];
    size_t n = FollowEncodeTurn(held, net_client_msg, out_last, e);
    return WriteEntry(f, e, n, false) && fflush(f) == 0;
}

bool RecordEnd(FILE *f, uint32_t turns) {
    if (out_version == 1)
        return WriteRecord1(f, turns, RECORD_END_MASK, 0);
    uint8_t e[9];
    e[0] = RECORD_END_MASK;
    PutBE32(e + 1, turns);
    return WriteEntry(f, e, 5, false) && fflush(f) == 0;
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
    bool read = ReadAll(f, h, sizeof h);
    in_version = !read ? 0 : memcmp(h, magic1, 8) == 0 ? 1 : memcmp(h, magic2, 8) == 0 ? 2 : 0;
    if (!in_version || h[16] < 1 || h[16] > MAX_CLIENTS || h[17] > SETUP_ALL) {
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
    in.turn = 0;
    in.check = FNV32_START;
    memset(in.slots, 0, sizeof in.slots);
    in_snap = -1;
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

// Reads the next turn entry of a version 1 record.
static int ReadTurn1(FILE *f, int players) {
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

// Reads the check of an entry of n bytes and tests it against the chain;
// RECORD_TURN when it holds.
static int CheckEntry(FILE *f, const uint8_t *e, size_t n, bool fresh) {
    uint8_t c[4];
    if (!ReadAll(f, c, 4))
        return RECORD_CUT;
    uint32_t want = Chain(fresh ? FNV32_START : in.check, e, n);
    if (GetBE32(c) != want)
        return RECORD_CORRUPT;
    in.check = want;
    return RECORD_TURN;
}

// Reads a snapshot entry after its mark into e (SNAP_ENTRY_MAX bytes);
// RECORD_TURN when it is whole and its check holds.
static int ReadSnapshot(FILE *f, uint8_t *e, size_t *size) {
    e[0] = RECORD_SNAP_MARK;
    if (!ReadAll(f, e + 1, SNAP_HEAD - 1))
        return RECORD_CUT;
    *size = GetBE16(e + 1);
    if (*size < 4 || *size > SNAPSHOT_MAX)
        return RECORD_CORRUPT;
    if (!ReadAll(f, e + SNAP_HEAD, *size))
        return RECORD_CUT;
    return CheckEntry(f, e, SNAP_HEAD + *size, true);
}

// Reads a version 2 turn entry after its mask byte into e and puts its
// commands into in.slots; RECORD_TURN, or a fault.
static int ReadTurnEntry(FILE *f, uint8_t *e, int players) {
    size_t n = 1;
    for (int i = 0; i < MAX_CLIENTS; i++) {
        if (!(e[0] & (1 << i)))
            continue;
        if (!ReadAll(f, e + n, 1))
            return RECORD_CUT;
        uint8_t k = e[n++];
        size_t more = k == FOLLOW_WHOLE ? CLIENT_SLOT : k <= FOLLOW_PAIRS_MAX ? 2u * k : 0;
        if (more == 0 && k != 0)
            return RECORD_CORRUPT;
        if (!ReadAll(f, e + n, more))
            return RECORD_CUT;
        n += more;
    }
    int r = CheckEntry(f, e, n, false);
    if (r != RECORD_TURN)
        return r;
    bool is_hash = false;
    uint64_t hash;
    if (FollowStreamDecode(e, n, players, in.slots, &is_hash, &hash) != (int)n)
        return RECORD_CORRUPT;
    return RECORD_TURN;
}

// Reads the next entry of a version 2 record. A snapshot is checked against
// the world and the slots (when check is set: it must be the snapshot they
// give) and passed over; *snap_turn is set to its turn. A turn entry's
// commands go to in.slots.
static int ReadEntry2(FILE *f, int players, bool check, uint32_t *snap_turn) {
    static uint8_t e[SNAP_ENTRY_MAX], now[SNAPSHOT_MAX];
    long at = ftell(f);
    int first = fgetc(f);
    if (first == EOF)
        return RECORD_CUT;
    e[0] = (uint8_t)first;
    if (first == RECORD_SNAP_MARK) {
        size_t size;
        int r = ReadSnapshot(f, e, &size);
        if (r != RECORD_TURN)
            return r;
        *snap_turn = GetBE32(e + SNAP_HEAD);
        if (*snap_turn != in.turn || (check && (SnapshotWrite(now, in.slots) != size ||
                                                memcmp(now, e + SNAP_HEAD, size) != 0)))
            return RECORD_CORRUPT;
        in_snap = at;
        return RECORD_SNAP;
    }
    if (first == RECORD_END_MASK) {
        if (!ReadAll(f, e + 1, 4))
            return RECORD_CUT;
        int r = CheckEntry(f, e, 5, false);
        if (r != RECORD_TURN)
            return r;
        if (GetBE32(e + 1) != in.turn)
            return RECORD_CORRUPT;
        return fgetc(f) == EOF ? RECORD_DONE : RECORD_CORRUPT;
    }
    if (first >> players)
        return RECORD_CORRUPT;
    int r = ReadTurnEntry(f, e, players);
    if (r == RECORD_TURN)
        in.turn++;
    return r;
}

int RecordReadTurn(FILE *f, int players) {
    if (in_version == 1)
        return ReadTurn1(f, players);
    if (in.turn != turn)
        return RECORD_CORRUPT;
    uint32_t snap_turn;
    int r = ReadEntry2(f, players, true, &snap_turn);
    if (r == RECORD_SNAP)
        r = ReadEntry2(f, players, true, &snap_turn); // a turn entry follows a snapshot
    if (r == RECORD_SNAP)
        return RECORD_CORRUPT;
    if (r == RECORD_TURN)
        memcpy(net_client_msg, in.slots, sizeof in.slots);
    return r;
}

// Restores the world from the snapshot entry at offset at and leaves the
// reader after it; *prev is the offset of the snapshot before it.
static int RestoreAt(FILE *f, long at, uint64_t *prev) {
    static uint8_t e[SNAP_ENTRY_MAX];
    if (fseek(f, at, SEEK_SET) != 0 || fgetc(f) != RECORD_SNAP_MARK)
        return RECORD_CORRUPT;
    size_t size;
    int r = ReadSnapshot(f, e, &size);
    if (r != RECORD_TURN)
        return r;
    if (!SnapshotRestore(e + SNAP_HEAD, size, in.slots) || WorldHash() != GetBE64(e + 11))
        return RECORD_CORRUPT;
    *prev = GetBE64(e + 3);
    in.turn = turn;
    in_snap = at;
    return RECORD_TURN;
}

int RecordJump(FILE *f, int players, uint32_t target) {
    if (in_version != 2)
        return RECORD_NONE;
    if (target < turn) {
        // Back along the snapshots' links to the newest at or before target.
        long at = in_snap;
        for (int n = 0; at >= HEADER_SIZE && n < RECORD_LINKS_MAX; n++) {
            uint64_t prev;
            int r = RestoreAt(f, at, &prev);
            if (r != RECORD_TURN)
                return r;
            if (turn <= target)
                return RECORD_TURN;
            if (prev >= (uint64_t)at || prev < HEADER_SIZE)
                return RECORD_CORRUPT;
            at = (long)prev;
        }
        return RECORD_CORRUPT;
    }
    // Forward to the next snapshot, if one comes at or before target; the
    // turn entries on the way are only read.
    static ReadPlace saved;
    saved = in;
    saved.offset = ftell(f);
    long saved_snap = in_snap;
    for (;;) {
        long at = ftell(f);
        uint32_t snap_turn = 0;
        int r = ReadEntry2(f, players, false, &snap_turn);
        if (r == RECORD_SNAP && snap_turn > turn && snap_turn <= target) {
            uint64_t prev;
            return RestoreAt(f, at, &prev);
        }
        if ((r != RECORD_TURN && r != RECORD_SNAP) || in.turn > target) {
            in = saved;
            in_snap = saved_snap;
            return fseek(f, saved.offset, SEEK_SET) == 0 ? RECORD_NONE : RECORD_CORRUPT;
        }
    }
}

int RecordVersion() {
    return in_version;
}

const char *RecordFault(int status) {
    return status == RECORD_CUT ? "cut short" : "corrupted";
}
