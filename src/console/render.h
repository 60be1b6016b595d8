// Console renderer: the cell grid into the 8-bit frame, with the blinking cursor.
#ifndef MD_CONSOLE_RENDER_H
#define MD_CONSOLE_RENDER_H

#include <stdint.h>

// Paintings for glyphs 8 or 16 pixels wide, when frame and font fit their
// buffers; every one gives the same frame. Any other case goes pixel by pixel.
#define PAINT_FASTEST 0 // AVX2 ink table for 8 x 8 glyphs where it runs, else SSE2, else words
#define PAINT_SSE2 1    // SSE2 where the build has it, else words
#define PAINT_WORDS 2   // plain 32-bit words, as on machines without SIMD

#define GRID_CAP 255 // most columns and rows of cells the renderer shows

// Columns or rows of glyph cells that fit in a screen side of pixels: none
// for a zero cell size, and never more than GRID_CAP.
inline int GridCells(uint16_t pixels, uint16_t cell) {
    if (cell == 0)
        return 0;
    int cells = pixels / cell;
    return cells > GRID_CAP ? GRID_CAP : cells;
}

extern uint8_t render_paint; // painting to use (PAINT_FASTEST); the tests pin each

// Paints every visible cell into scrbuf and overlays the cursor when its
// blink is on. Needs charx and chary set (draws nothing while either is 0).
void RenderConsole();

// Cell grid: column * 256 + row.
#define CON_W 256
#define CON_H 256
#define CON_CELLS (CON_W * CON_H)
#define CON_CELL(col, row) ((col)*CON_H + (row)) // index of a cell of the grid
#define SCRBUF_SIZE 1024000

// The cell grid, the frame drawn from it and the palette
extern uint8_t scch[CON_CELLS];              // glyph code of each cell
extern uint8_t sccl[CON_CELLS];              // foreground colour byte of each cell
extern uint8_t sccb[CON_CELLS];              // background colour byte of each cell
extern uint8_t cursor_x;                     // column of the blinking cursor
extern uint8_t cursor_y;                     // row of the blinking cursor
extern uint8_t scrbuf[SCRBUF_SIZE];          // the 8-bit frame, Screen_Width bytes per row
extern uint16_t Screen_Width, Screen_Height; // frame size in pixels (320 x 240)
extern uint8_t palette[256 * 3];             // red, green, blue of each colour byte

#endif
