// Console renderer: paints the visible cells of the cell grid into scrbuf,
// glyph pixels in the foreground colour and the rest in the background
// colour, then overlays the blinking cursor.
#include "console/render.h"

#include "game/globalvar.h"

#define CURSOR_GLYPH 95 // '_'

// Turns the cell grid into the frame. Draws nothing when no font is loaded
// or when the font or screen sizes would reach outside fontdata or scrbuf.
void RenderConsole() {
    const uint32_t cw = charx, ch = chary, fw = fontx;
    const uint32_t sw = Screen_Width, sh = Screen_Height;
    if (cw == 0 || ch == 0)
        return;
    if ((16 * ch - 1) * fw + 16 * cw > sizeof fontdata || sw * sh > sizeof scrbuf)
        return;

    uint32_t columns = sw / cw, rows = sh / ch;
    if (columns > 255)
        columns = 255;
    if (rows > 255)
        rows = 255;

    for (uint32_t r = 0; r < rows; r++) {
        for (uint32_t k = 0; k < columns; k++) {
            const uint32_t cell = k * 256 + r;
            const uint32_t c = scch[cell];
            const uint8_t fg = sccl[cell], bg = sccb[cell];
            const uint8_t *glyph = fontdata + (c / 16) * ch * fw + (c % 16) * cw;
            for (uint32_t j = 0; j < ch; j++) {
                const uint32_t py = r * ch + j;
                for (uint32_t i = 0; i < cw; i++) {
                    const uint32_t px = k * cw + i;
                    if (px < sw && py < sh)
                        scrbuf[py * sw + px] = glyph[j * fw + i] ? fg : bg;
                }
            }
        }
    }

    // Visible for 256 ms, hidden for 256 ms.
    if (!(curgametick & 256))
        return;
    const uint8_t colour = sccl[cursor_x * 256 + cursor_y];
    const uint8_t *glyph = fontdata + (CURSOR_GLYPH / 16) * ch * fw + (CURSOR_GLYPH % 16) * cw;
    for (uint32_t j = 0; j < ch; j++) {
        const uint32_t py = cursor_y * ch + j;
        for (uint32_t i = 0; i < cw; i++) {
            const uint32_t px = cursor_x * cw + i;
            if (px < sw && py < sh && glyph[j * fw + i])
                scrbuf[py * sw + px] = colour;
        }
    }
}
