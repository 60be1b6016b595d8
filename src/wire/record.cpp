// Writing and replaying records of on-line games, and the hashes that tie a
// record to its data and prove a replay reached the same world.
#include "wire/record.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "math/fnv.h"
#include "math/zmath.h"
#include "resources/errorline.h"
#include "wire/bytes.h"
#include "world/gameserver.h"
#include "world/world.h"

#define HEADER_SIZE 18
#define TURN_HEAD 5 // turn number and mask

static const char magic[8] = {'M', 'D', 'G', 'O', 'R', 'E', 'C', '1'};

// Powers of the FNV-1a 64 prime: a zero byte only multiplies the hash by
// the prime, so a run of k zero bytes multiplies it by the prime to the k.
struct PrimePowers {
    uint64_t small[256]; // prime^k for k < 256
    uint64_t bit[64];    // prime^(2^i)
};

static constexpr PrimePowers MakePowers() {
    PrimePowers p{};
    p.small[0] = 1;
    for (int k = 1; k < 256; k++)
        p.small[k] = p.small[k - 1] * FNV64_PRIME;
    p.bit[0] = FNV64_PRIME;
    for (int i = 1; i < 64; i++)
        p.bit[i] = p.bit[i - 1] * p.bit[i - 1];
    return p;
}

static constexpr PrimePowers powers = MakePowers();

// The hash after k more zero bytes.
static uint64_t SkipZeros(uint64_t h, size_t k) {
    if (k < 256)
        return h * powers.small[k];
    for (int i = 0; k != 0; i++, k >>= 1)
        if (k & 1)
            h *= powers.bit[i];
    return h;
}

// Zero bytes at the start of p (n bytes), counted in whole units of `unit`
// bytes (1 or 2), eight bytes at a time where it can.
static size_t ZeroRun(const uint8_t *p, size_t n, size_t unit) {
    size_t z = 0;
    for (uint64_t v; z + 8 <= n && (memcpy(&v, p + z, 8), v == 0);)
        z += 8;
    while (z + unit <= n && p[z] == 0 && p[z + unit - 1] == 0)
        z += unit;
    return z;
}

// Fnv64 for blocks that are mostly zeros: runs of zeros go at once, the
// bytes between them through Fnv64.
static uint64_t Fnv64Sparse(uint64_t h, const uint8_t *p, size_t n) {
    for (size_t i = 0; i < n;) {
        size_t zeros = ZeroRun(p + i, n - i, 1);
        h = SkipZeros(h, zeros);
        i += zeros;
        size_t end = i;
        while (end < n && p[end] != 0)
            end++;
        h = Fnv64(h, p + i, end - i);
        i = end;
    }
    return h;
}

// Adds 16-bit values to the hash, low byte first, whatever the machine; runs
// of zero values go at once.
static uint64_t Fnv64Words(uint64_t h, const uint16_t *w, size_t n) {
    for (size_t i = 0; i < n;) {
        size_t zeros = ZeroRun((const uint8_t *)(w + i), 2 * (n - i), 2);
        h = SkipZeros(h, zeros);
        i += zeros / 2;
        if (i < n) {
            const uint8_t bytes[2] = {(uint8_t)w[i], (uint8_t)(w[i] >> 8)};
            h = Fnv64(h, bytes, 2);
            i++;
        }
    }
    return h;
}

// Adds a whole file to the hash, then a marker, so that moving bytes from
// one file to the other changes the hash; a missing file adds nothing.
static uint64_t HashFile(uint64_t h, const char *path) {
    FILE *f = fopen(path, "rb");
    if (f) {
        uint8_t buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            h = Fnv64Sparse(h, buf, n);
        fclose(f);
    }
    const uint8_t mark = 0xFF;
    return Fnv64Sparse(h, &mark, 1);
}

uint64_t DataHash() {
    return HashFile(HashFile(FNV64_START, "data/maptest.map"), "data/tiledata.cfg");
}

uint64_t WorldHash() {
    uint64_t h = Fnv64Sparse(FNV64_START, map, sizeof map);
    h = Fnv64Words(h, mapsizex, WORLD_LEVELS);
    h = Fnv64Words(h, mapsizey, WORLD_LEVELS);
    h = Fnv64Words(h, npc_vis, WORLD_CELLS);
    h = Fnv64Words(h, (const uint16_t *)npc_x, MAX_NPCS);
    h = Fnv64Words(h, (const uint16_t *)npc_y, MAX_NPCS);
    h = Fnv64Words(h, (const uint16_t *)npc_z, MAX_NPCS);
    const uint8_t *bytes[] = {npc_enabled, npc_playercontrol, npc_move, npc_sight,
                              npc_char,    npc_color,         npc_str,  npc_dex,
                              npc_con,     npc_int,           npc_wis,  npc_cha};
    for (const uint8_t *b : bytes)
        h = Fnv64Sparse(h, b, MAX_NPCS);
    uint16_t words[4] = {npcs, (uint16_t)turn, (uint16_t)(turn >> 16), rnd_seed};
    return Fnv64Words(h, words, 4);
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

void StartWorld(int players, int setup) {
    clientplayers = (uint8_t)players;
    RestartServer();
    for (int i = 0; i < MAX_CLIENTS; i++)
        localclient[i] = (int16_t)(i < players ? i : -1);
    if (setup != SETUP_ALL)
        return;
    for (int k = players; k < MAX_NPCS; k++) {
        PlaceWanderer(k);
        npc_playercontrol[k] = 0;
    }
}

void HashLine() {
    HashLineOf(WorldHash());
}

void HashLineOf(uint64_t hash) {
    printf("turn %u hash %016llx\n", turn, (unsigned long long)hash);
}

void FinalHashLine(int every) {
    if (turn == 0 || every <= 0 || turn % (uint32_t)every != 0)
        HashLine();
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

int ReplayRecord(FILE *f, const char *name, int every) {
    const char *who = error_program;
    int players, setup;
    if (!RecordReadHeader(f, who, name, &players, &setup))
        return 1;
    StartWorld(players, setup);
    for (;;) {
        int r = RecordReadTurn(f, players);
        if (r == RECORD_DONE) {
            FinalHashLine(every);
            return 0;
        }
        if (r != RECORD_TURN) {
            HashLine();
            fprintf(stderr, "%s: %s is %s at turn %u\n", who, name, RecordFault(r), turn);
            return 1;
        }
        ProcGameServer();
        if (every > 0 && turn % (uint32_t)every == 0)
            HashLine();
    }
}
