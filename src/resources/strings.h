// String table: the texts between single quotes in data/str.dat.
#ifndef MD_RESOURCES_STRINGS_H
#define MD_RESOURCES_STRINGS_H

#include <stdint.h>

// Reads data/str.dat into str_item: a quote opens a string, the next quote
// closes it and moves to the next slot; bytes outside quotes are ignored.
// Characters past the 63rd are dropped (the string still ends at its closing
// quote) and strings past the 256th are read but not kept. No terminating
// zero is written: the slot's own zero bytes end the string.
void LoadStrings();

// String table
extern char str_item[256][64]; // string table; rows 0..4 are the menu labels

#endif
