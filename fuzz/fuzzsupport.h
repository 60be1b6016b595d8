// Shared by the fuzzers: a private scratch data tree that each run writes its
// input into, and the check that stops a run on a broken table.
#ifndef MD_FUZZ_FUZZSUPPORT_H
#define MD_FUZZ_FUZZSUPPORT_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

// Writes the input to path (relative to the data tree, e.g. "data/str.dat")
// inside this process's scratch folder, where the loader finds it on its real
// path: the fuzzer works inside that folder, made with its client/, data/ and
// font/ subfolders at start-up and removed at exit (LLVMFuzzerInitialize,
// which also keeps the command line's relative paths meaning what they did).
void FuzzWriteInput(const char *path, const uint8_t *data, size_t size);

// Copies the shipped data file at path (e.g. "data/maptest.map") to the same
// path in the scratch folder, for a fuzzer whose program reads it beside the
// input.
void FuzzCopyShipped(const char *path);

// Reports a broken table (through the sanitizers' report channel, which
// stays open when the fuzzer closes stderr to quieten the loaders) and
// aborts, so the fuzzer keeps the input.
[[noreturn]] void FuzzFail(const char *cond, const char *file, int line);

// Stops the fuzzer with the failed condition when a table breaks its bounds.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond))                                                                               \
            FuzzFail(#cond, __FILE__, __LINE__);                                                   \
    } while (0)

#endif
