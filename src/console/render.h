// Console renderer: the cell grid into the 8-bit frame, with the blinking cursor.
#ifndef MD_CONSOLE_RENDER_H
#define MD_CONSOLE_RENDER_H

void RenderConsole();

#endif
