// Scratch data tree of a loader fuzzer.
#include "fuzzsupport.h"

#include <fcntl.h>
#include <limits.h>
#include <sanitizer/common_interface_defs.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static char scratch[PATH_MAX]; // the scratch folder, empty until made
static char written[PATH_MAX]; // the input file last written, to remove at exit
static int home_fd = -1;       // the working directory the fuzzer started in

// Removes the input file and the scratch folders.
static void RemoveScratch() {
    if (!scratch[0])
        return;
    if (written[0])
        unlink(written);
    const char *subs[3] = {"client", "data", "font"};
    char dir[PATH_MAX + 16];
    for (const char *sub : subs) {
        snprintf(dir, sizeof dir, "%s/%s", scratch, sub);
        rmdir(dir);
    }
    rmdir(scratch);
}

// Makes the scratch folder under $TMPDIR (or /tmp) with the data subfolders.
static void MakeScratch() {
    const char *tmp = getenv("TMPDIR");
    snprintf(scratch, sizeof scratch, "%s/mdfuzz.XXXXXX", tmp && *tmp ? tmp : "/tmp");
    if (!mkdtemp(scratch)) {
        perror("mdfuzz: cannot make the scratch folder");
        abort();
    }
    const char *subs[3] = {"client", "data", "font"};
    char dir[PATH_MAX + 16];
    for (const char *sub : subs) {
        snprintf(dir, sizeof dir, "%s/%s", scratch, sub);
        if (mkdir(dir, 0700) != 0) {
            perror("mdfuzz: cannot make a scratch subfolder");
            abort();
        }
    }
    home_fd = open(".", O_RDONLY | O_DIRECTORY);
    if (home_fd < 0) {
        perror("mdfuzz: cannot keep the working directory");
        abort();
    }
    atexit(RemoveScratch);
}

void FuzzEnter(const char *path, const uint8_t *data, size_t size) {
    if (!scratch[0])
        MakeScratch();
    if (chdir(scratch) != 0) {
        perror("mdfuzz: cannot enter the scratch folder");
        abort();
    }
    if (!written[0])
        snprintf(written, sizeof written, "%s/%s", scratch, path);
    // A fresh file each run: rewriting one in place makes some file systems
    // flush it to disk on every close, which would make the disk the limit.
    unlink(path);
    FILE *f = fopen(path, "wb");
    if (!f || (size && fwrite(data, 1, size, f) != size) || fclose(f) != 0) {
        perror("mdfuzz: cannot write the input file");
        abort();
    }
}

void FuzzLeave() {
    if (home_fd >= 0 && fchdir(home_fd) != 0) {
        perror("mdfuzz: cannot return to the working directory");
        abort();
    }
}

void FuzzFail(const char *cond, const char *file, int line) {
    char message[512];
    snprintf(message, sizeof message, "fuzz check failed: %s at %s:%d", cond, file, line);
    __sanitizer_report_error_summary(message);
    abort();
}
