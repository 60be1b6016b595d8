// String table: the texts between single quotes in data/str.dat.
#include <stdio.h>

#include "resources/strings.h"
#include "resources/tokens.h"

// State declared in strings.h.
char str_item[256][64];

#define STRING_SLOTS 256
#define STRING_MAX 63 // characters a slot keeps before its terminating zero

// Byte by byte; the quote state decides where each byte goes.
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
