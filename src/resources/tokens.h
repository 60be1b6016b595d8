// Small readers shared by the text-file loaders: opening a data file with a
// one-line complaint when it cannot be read, a bounded white-space token
// reader and the hexadecimal digit lookup.
#ifndef MD_RESOURCES_TOKENS_H
#define MD_RESOURCES_TOKENS_H

#include <stdio.h>

// Opens a data file for reading ("rb"). When it is missing or cannot be read,
// prints one line naming it on stderr and returns null.
FILE *OpenResource(const char *path);

// Reads the next token: skips white space (space, \t, \n, \v, \f, \r), then
// takes the characters up to the next white space or the end of the file.
// At most size - 1 of them are stored, followed by a zero; the rest of an
// overlong token is read and dropped, so it never becomes a token of its own.
// The white space that ends the token is left in the stream. Returns the
// number of characters stored (at least 1), or 0 when no token is left, in
// which case buf is not touched. size must be at least 2.
int ReadToken(FILE *f, char *buf, int size);

// Value 0..15 of a digit character of hextodig, or -1 for any other byte
// (lower-case letters included).
int HexValue(unsigned char c);

#endif
