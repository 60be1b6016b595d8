// The observer view: a whole server level in the cell grid, scrolled by
// pad 0, with a status line.
#ifndef MD_VIEWS_OBSERVER_H
#define MD_VIEWS_OBSERVER_H

#include <stdint.h>

// Draws the observer's window onto level ServerViewLevel, scrolled by pad 0,
// and writes the status line over the previous one.
void RenderServer();

// Writes text over the observer view's whole status row, blanks after it.
void ObserverStatus(const char *text);

// Observer view
extern int32_t servercamerax, servercameray; // observer camera, top-left world cell
extern int16_t ServerViewLevel;              // level shown by the observer view
extern int16_t ServerClients;                // number shown as on-line

#endif
