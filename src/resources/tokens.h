// Small readers shared by the data-file loaders: opening a data file (a
// regular file only, never blocking, with a one-line complaint when it cannot
// be used), the bounded text read of the text loaders, a bounded white-space
// token reader and the hexadecimal digit lookup.
#ifndef MD_RESOURCES_TOKENS_H
#define MD_RESOURCES_TOKENS_H

#include <stddef.h>
#include <stdio.h>

#define RESOURCE_MAX_BYTES (1 << 20) // a text data file is read up to 1 MiB

extern const char hextodig[16]; // "0123456789ABCDEF", position = digit value

// Opens a data file for reading when it is a regular file, without blocking
// on a FIFO or a device. Returns the descriptor, or -1 with one line naming
// the file in err (at most size bytes): "cannot open PATH: REASON" when it
// cannot be opened, "cannot read PATH: not a regular file" for a folder, a
// device, a FIFO or a socket.
int OpenDataFile(const char *path, char *err, size_t size);

// Opens a text data file for reading: its first 1 MiB, read at once, as a
// stream. A file that is missing, cannot be read or is no regular file gets
// one line naming it on stderr and null; a longer file gets one line saying
// that the rest is ignored. The text lives in one static buffer: one text
// file is open at a time, closed with fclose before the next is opened.
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
