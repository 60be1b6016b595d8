// Command-line options, read against each program's own table of them.
#include "resources/options.h"

#include <string.h>

#include "resources/number.h"

OptionRead ReadOption(int argc, char **argv, int *i, const Option *table, int count,
                      OptionStyle style) {
    OptionRead r;
    const char *arg = argv[*i];
    const char *joined =
        style != OPTIONS_SPACED && !strncmp(arg, "--", 2) ? strchr(arg, '=') : NULL;
    r.name_length = joined ? (size_t)(joined - arg) : strlen(arg);
    for (int k = 0; k < count && r.index < 0; k++)
        if (strlen(table[k].name) == r.name_length && !strncmp(table[k].name, arg, r.name_length))
            r.index = k;
    if (r.index < 0)
        return r;
    const Option &option = table[r.index];
    if (option.kind == OPTION_FLAG) {
        if (joined && style == OPTIONS_JOINED)
            r.index = -1;
        else
            r.result = OPTION_OK;
        return r;
    }
    if (joined) {
        r.value = joined + 1;
    } else if (*i + 1 < argc) {
        r.value = argv[++*i];
    } else {
        r.result = OPTION_MISSING;
        return r;
    }
    if (option.kind == OPTION_PATH && !*r.value)
        r.result = OPTION_EMPTY;
    else if (option.kind == OPTION_NUMBER && !ParseNumber(r.value, option.lo, option.hi, &r.number))
        r.result = OPTION_BAD_NUMBER;
    else
        r.result = OPTION_OK;
    return r;
}
