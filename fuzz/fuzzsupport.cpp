// Scratch data tree of a loader fuzzer.
#include "fuzzsupport.h"

#include <dirent.h>
#include <limits.h>
#include <sanitizer/common_interface_defs.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static char scratch[PATH_MAX]; // the scratch folder, empty until made

// Removes the files in folder (none of them a folder) and the folder.
static void RemoveFolder(const char *folder) {
    DIR *d = opendir(folder);
    char file[2 * PATH_MAX];
    for (struct dirent *e; d && (e = readdir(d));) {
        snprintf(file, sizeof file, "%s/%s", folder, e->d_name);
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
            unlink(file);
    }
    if (d)
        closedir(d);
    rmdir(folder);
}

// Removes the scratch folders and whatever the runs left in them.
static void RemoveScratch() {
    const char *subs[3] = {"client", "data", "font"};
    char dir[PATH_MAX + 16];
    for (const char *sub : subs) {
        snprintf(dir, sizeof dir, "%s/%s", scratch, sub);
        RemoveFolder(dir);
    }
    RemoveFolder(scratch);
}

// Makes the scratch folder under $TMPDIR (or /tmp) with the data subfolders
// and moves into it for the rest of the run.
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
    atexit(RemoveScratch);
    if (chdir(scratch) != 0) {
        perror("mdfuzz: cannot enter the scratch folder");
        abort();
    }
}

// The path made absolute against the folder the fuzzer was started in.
static char *Absolute(const char *home, const char *prefix, const char *path) {
    size_t n = strlen(home) + strlen(prefix) + strlen(path) + 2;
    char *s = (char *)malloc(n);
    if (path[0] == '/' || path[0] == 0)
        snprintf(s, n, "%s%s", prefix, path);
    else
        snprintf(s, n, "%s%s/%s", prefix, home, path);
    return s;
}

// libFuzzer calls this before it reads its options. The fuzzer works inside
// the scratch folder from here on, so the corpus folders, input files and the
// path options given relative to the starting folder are made absolute, and
// crash inputs go to the starting folder unless an artifact prefix is given.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    static const char *path_options[] = {"-artifact_prefix=", "-exact_artifact_path=", "-dict=",
                                         "-features_dir=", "-merge_control_file="};
    char home[PATH_MAX];
    if (!getcwd(home, sizeof home)) {
        perror("mdfuzz: cannot read the working directory");
        abort();
    }
    char **args = (char **)calloc(*argc + 2, sizeof *args);
    bool prefix_given = false;
    int n = 0;
    for (int i = 0; i < *argc; i++) {
        char *arg = (*argv)[i];
        if (i > 0 && arg[0] != '-') {
            arg = Absolute(home, "", arg);
        } else if (i > 0) {
            for (const char *option : path_options) {
                size_t len = strlen(option);
                if (strncmp(arg, option, len) == 0) {
                    arg = Absolute(home, option, arg + len);
                    prefix_given |= strcmp(option, "-artifact_prefix=") == 0;
                }
            }
        }
        args[n++] = arg;
    }
    if (!prefix_given)
        args[n++] = Absolute(home, "-artifact_prefix=", "./");
    *argc = n;
    *argv = args;
    MakeScratch();
    return 0;
}

void FuzzWriteInput(const char *path, const uint8_t *data, size_t size) {
    if (!scratch[0])
        MakeScratch();
    // A fresh file each run: rewriting one in place makes some file systems
    // flush it to disk on every close, which would make the disk the limit.
    unlink(path);
    FILE *f = fopen(path, "wb");
    if (!f || (size && fwrite(data, 1, size, f) != size) || fclose(f) != 0) {
        perror("mdfuzz: cannot write the input file");
        abort();
    }
}

void FuzzCopyShipped(const char *path) {
    if (!scratch[0])
        MakeScratch();
    char from[PATH_MAX];
    snprintf(from, sizeof from, "%s/%s", MD_DATA_DIR, path);
    FILE *in = fopen(from, "rb");
    FILE *out = fopen(path, "wb");
    char buf[4096];
    size_t n = 0;
    while (in && out && (n = fread(buf, 1, sizeof buf, in)) > 0 && fwrite(buf, 1, n, out) == n)
        ;
    if (!in || !out || n != 0 || ferror(in) || fclose(out) != 0) {
        perror("mdfuzz: cannot copy the shipped data");
        abort();
    }
    fclose(in);
}

void FuzzFail(const char *cond, const char *file, int line) {
    char message[512];
    snprintf(message, sizeof message, "fuzz check failed: %s at %s:%d", cond, file, line);
    __sanitizer_report_error_summary(message);
    RemoveScratch(); // the crash path does not run the exit handlers
    abort();
}
