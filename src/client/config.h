// Client configuration (client/client.cfg) and the sound settings.
#ifndef MD_CLIENT_CONFIG_H
#define MD_CLIENT_CONFIG_H

#include <stdint.h>

// Reads client/client.cfg: width, height and full-screen flag, each kept to
// 16 bits, read as "%d" reads them. The screen is then fixed at 320 x 240
// whatever the file says; without a file the flag is 0, and a short file
// leaves the numbers it lacks at their defaults.
void LoadConfig();

// Fixed interface of the configuration; nothing calls these yet.
void SaveConfig(); // saves nothing
void initsounds(); // hands the volume setting to the platform

// Client configuration
extern uint16_t FullScreen; // third value of the client configuration, unused

#endif
