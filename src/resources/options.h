// Command-line options, read against each program's own table of them.
#ifndef MD_RESOURCES_OPTIONS_H
#define MD_RESOURCES_OPTIONS_H

#include <stddef.h>
#include <stdint.h>

// What follows an option's name.
enum OptionKind : uint8_t {
    OPTION_FLAG,   // nothing
    OPTION_TEXT,   // a value, which may be empty
    OPTION_PATH,   // a value that is not empty
    OPTION_NUMBER, // a whole decimal number within lo..hi
};

// One entry of a program's table of options.
struct Option {
    const char *name; // as written on the command line: "--data", "-h"
    OptionKind kind;
    uint64_t lo = 0, hi = 0; // the range of an OPTION_NUMBER
};

// Where a value may stand: always in the next argument, "--name VALUE";
// in a joined style also in the same one, "--name=VALUE" (for a name that
// starts with "--"), where a flag given a value is no option of the table
// (OPTIONS_JOINED) or goes without it (OPTIONS_JOINED_LAX).
enum OptionStyle : uint8_t { OPTIONS_SPACED, OPTIONS_JOINED, OPTIONS_JOINED_LAX };

// What ReadOption found.
enum OptionResult : uint8_t {
    OPTION_OK,
    OPTION_UNKNOWN,    // no option of the table
    OPTION_MISSING,    // the name ends the command line and its value is not there
    OPTION_EMPTY,      // an OPTION_PATH given an empty value
    OPTION_BAD_NUMBER, // an OPTION_NUMBER given anything but a number within its range
};

struct OptionRead {
    OptionResult result = OPTION_UNKNOWN;
    int index = -1;           // the option's entry of the table, unless OPTION_UNKNOWN
    size_t name_length = 0;   // the argument's characters before any "=VALUE"
    const char *value = NULL; // the value as given; NULL for a flag
    uint64_t number = 0;      // the value of an OPTION_NUMBER
};

// Reads the option at argv[*i] against the count entries of table; when its
// value is the next argument, *i is left there.
OptionRead ReadOption(int argc, char **argv, int *i, const Option *table, int count,
                      OptionStyle style);

#endif
