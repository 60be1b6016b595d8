// Follower side of on-line play: watches a dedicated server's game without a
// slot. The server sends a world snapshot (world/snapshot.h) and the follow
// stream (followstream.h) from there; the turns are run here with the
// server's own turn code, so the world is rebuilt rather than shown from
// pictures.
#ifndef MD_NET_FOLLOWER_H
#define MD_NET_FOLLOWER_H

#include <stdint.h>

#define FOLLOW_BUFFER (4u << 20) // stream bytes received and not yet run, at most

#define FOLLOW_WAIT 0    // no complete entry has come yet
#define FOLLOW_TURN 1    // a turn: its commands are in net_client_msg
#define FOLLOW_HASH 2    // a hash point: the world hash the server had here
#define FOLLOW_END 3     // the server ended the game and the stream is spent
#define FOLLOW_LOST 4    // the connection was lost, the stream was bad or ran over
#define FOLLOW_STOPPED 5 // the server stopped and may come back: FollowRejoin waits for it

// What a follower knows of the game it watches.
struct FollowState {
    uint8_t players;          // players of the followed game
    uint8_t setup;            // its creature set-up
    uint16_t delay;           // turns the server holds the stream back
    uint32_t join_turn;       // the server's turn when this follower joined
    const char *problem = ""; // what FOLLOW_LOST means, for the status line
};
extern FollowState following;

// Joins the server at "HOST[:PORT]" as a follower: connects, sends the
// follow and waits for the follower welcome and the snapshot, at most
// NET_CONNECT_MS in all, and
// checks that the server plays this data folder's data. Otherwise prints one
// line (who: the program's name) and returns false.
bool NetFollow(const char *who, const char *address);

// After StartWorld with the followed game's players and set-up: restores
// the world from the server's snapshot and checks it against the server's
// hash. False, with following.problem set and the server left, when the
// snapshot is bad or gives another world.
bool FollowRestore();

// The next entry of the stream (FOLLOW_*); *hash is set for FOLLOW_HASH.
// Serves the connection, without waiting, when nothing is buffered.
int FollowNext(uint64_t *hash);

// One step of waiting for a stopped server (after FOLLOW_STOPPED), without
// waiting here: a new try to follow it every 2 s for NET_KEEP_MS. Returns 1
// once it took this follower back and sent its snapshot (following holds
// the new game's; FollowRestore comes next), 0 while waiting, -1 when it
// stayed away or refused (following.problem says which).
int FollowRejoin();

// Starts the clock of FollowMs: the follower is ready to run turns.
void FollowClockStart();

// Milliseconds since FollowClockStart.
uint32_t FollowMs();

// Leaves the server politely (if still connected) and closes the host.
void FollowLeave();

// The check at a hash point: whether the world rebuilt here (world_hash,
// after the turn just run) is the server's (server_hash). When it is not,
// following.problem says "out of step at turn T" and the follower leaves.
bool FollowInStep(uint64_t server_hash, uint64_t world_hash);

#endif
