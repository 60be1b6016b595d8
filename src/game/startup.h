// Start-up and end of a run, as the game and the headless runner share them:
// the configuration and the connection first, then the platform and the
// game, and at the end the connection, the watch and the platform closed.
#ifndef MD_GAME_STARTUP_H
#define MD_GAME_STARTUP_H

// Reads the client configuration, then joins the dedicated server at server
// or follows the game of the one at followed (each NULL when not asked; at
// most one of them); every as for WatchFollow. False after the line saying
// why (who: the program's name).
bool GameConnect(const char *who, const char *server, const char *followed, int every);

// Starts the platform and initialises the game, then the on-line client when
// a server was joined and the watch when a record or a server's game is open.
void GameStart();

// Ends the run: leaves the server, closes the watch, saves the configuration
// and shuts the platform down.
void GameEnd();

#endif
