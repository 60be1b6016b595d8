// Spectator side of on-line play: watches a dedicated server's game without a
// slot. The server sends the spectator stream (spectatorstream.h) from its first
// turn; the turns are run here with the server's own turn code, so the
// world is rebuilt rather than shown from pictures.
#ifndef MD_NET_SPECTATOR_H
#define MD_NET_SPECTATOR_H

#include <stdint.h>

#define SPECTATOR_BUFFER (4u << 20) // stream bytes received and not yet run, at most

#define SPECTATOR_WAIT 0 // no complete entry has come yet
#define SPECTATOR_TURN 1 // a turn: its commands are in net_client_msg
#define SPECTATOR_HASH 2 // a hash point: the world hash the server had here
#define SPECTATOR_END 3  // the server ended the game and the stream is spent
#define SPECTATOR_LOST 4 // the connection was lost, the stream was bad or ran over

// What a spectator knows of the game it watches.
struct SpectatorState {
    uint8_t players;          // players of the spectated game
    uint8_t setup;            // its creature set-up
    uint16_t delay;           // turns the server holds the stream back
    uint32_t join_turn;       // the server's turn when this spectator joined
    const char *problem = ""; // what SPECTATOR_LOST means, for the status line
};
extern SpectatorState spectating;

// Joins the server at "HOST[:PORT]" as a spectator: connects, sends the
// spectate and waits for the spectator welcome, at most NET_CONNECT_MS in all, and
// checks that the server plays this data folder's data. Otherwise prints one
// line (who: the program's name) and returns false.
bool NetSpectate(const char *who, const char *address);

// The next entry of the stream (FOLLOW_*); *hash is set for SPECTATOR_HASH.
// Serves the connection, without waiting, when nothing is buffered.
int SpectatorNext(uint64_t *hash);

// Starts the clock of SpectatorMs: the spectator is ready to run turns.
void SpectatorClockStart();

// Milliseconds since SpectatorClockStart.
uint32_t SpectatorMs();

// Leaves the server politely (if still connected) and closes the host.
void SpectatorLeave();

// The check at a hash point: whether the world rebuilt here (world_hash,
// after the turn just run) is the server's (server_hash). When it is not,
// spectating.problem says "out of step at turn T" and the spectator leaves.
bool SpectatorInStep(uint64_t server_hash, uint64_t world_hash);

#endif
