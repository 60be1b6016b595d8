// The player's token for each server, kept between runs of the game so that
// a game killed and started again gets its own slot back. One small file per
// server address and seat under $XDG_STATE_HOME/marrowdigger/ (default
// ~/.local/state/marrowdigger/), readable only by its user. A running game
// holds a lock on its seat, so that two games on one machine playing on one
// server keep a token each and never take each other's slot.
#ifndef MD_NET_TOKENFILE_H
#define MD_NET_TOKENFILE_H

#include <stddef.h>
#include <stdint.h>

// Writes into path (size bytes) the path of the token file of seat 1..4 for
// the server at host:port. False when there is no state folder
// ($XDG_STATE_HOME and $HOME both unset or empty) or the path does not fit.
bool TokenPath(const char *host, uint16_t port, int seat, char *path, size_t size);

// Takes the lock of the token file at path (a file beside it), creating the
// folders readable only by the user. Returns the lock's descriptor, to be
// kept open while the game runs, or -1 when another running game holds it
// or it cannot be made.
int LockTokenFile(const char *path);

// The token kept in the file at path; 0 when there is none. A file that is
// no regular file, is larger than a token file, or does not hold a token is
// ignored with one line on stderr (who: the program's name). Never blocks.
uint64_t LoadToken(const char *who, const char *path);

// Keeps the token in the file at path, replacing it whole (a new file moved
// into place), creating the folders readable only by the user. Says why in
// one line on stderr and returns false when it cannot.
bool SaveToken(const char *who, const char *path, uint64_t token);

#endif
