// String table: the texts between single quotes in data/str.dat.
#include <stdio.h>

#include "game/globalvar.h"
#include "resources/initall.h"
#include "resources/tokens.h"

#define STRING_SLOTS 256
#define STRING_MAX 63 // characters a slot keeps before its terminating zero

// Reads data/str.dat byte by byte. A quote opens a string, the next quote
// closes it and moves to the next slot; bytes outside quotes are ignored.
// The slot's own zero bytes terminate the string. Characters past the 63rd
// are dropped (the string still ends at its closing quote) and strings past
// the 256th are read but not kept.
void LoadStrings() {
    FILE *f = OpenResource("data/str.dat");
    if (!f)
        return;
    int slot = 0, pos = 0;
    bool inside = false;
    int c;
    while ((c = getc(f)) != EOF) {
        if (!inside) {
            inside = c == '\'';
        } else if (c == '\'') {
            inside = false;
            if (slot < STRING_SLOTS)
                slot++;
            pos = 0;
        } else {
            if (slot < STRING_SLOTS && pos < STRING_MAX)
                str_item[slot][pos++] = (char)c;
        }
    }
    fclose(f);
}
