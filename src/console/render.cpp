// Console renderer: paints the visible cells of the cell grid into scrbuf,
// glyph pixels in the foreground colour and the rest in the background
// colour, then overlays the blinking cursor.
#include "console/render.h"

#include "game/globalvar.h"

#define CURSOR_GLYPH 95 // '_'

// Font mask pixel at an index of fontdata; 0 past its end.
static inline uint8_t FontPixel(uint32_t at) {
    return at < sizeof fontdata ? fontdata[at] : 0;
}

// Writes one frame pixel unless the index lies past the end of scrbuf.
static inline void FramePixel(uint32_t at, uint8_t colour) {
    if (at < sizeof scrbuf)
        scrbuf[at] = colour;
}

// Turns the cell grid into the frame. Draws nothing without a glyph size.
// Sizes set by hand beyond the font or frame capacity are clipped pixel by
// pixel: a frame pixel past scrbuf is skipped, a glyph pixel past fontdata
// counts as background.
void RenderConsole() {
    const uint32_t cw = charx, ch = chary, fw = fontx;
    const uint32_t sw = Screen_Width, sh = Screen_Height;
    if (cw == 0 || ch == 0)
        return;

    uint32_t columns = sw / cw, rows = sh / ch;
    if (columns > 255)
        columns = 255;
    if (rows > 255)
        rows = 255;

    // A painted cell always lies inside the screen (k < sw / cw, r < sh / ch).
    // When the whole frame fits scrbuf and every glyph fits fontdata, which
    // any loaded font gives, rows are painted without per-pixel tests.
    const bool fits = (uint64_t)sw * sh <= sizeof scrbuf &&
                      (uint64_t)(16 * ch - 1) * fw + 16 * cw - 1 < sizeof fontdata;
    for (uint32_t r = 0; r < rows; r++) {
        for (uint32_t k = 0; k < columns; k++) {
            const uint32_t cell = k * 256 + r;
            const uint32_t c = scch[cell];
            const uint8_t fg = sccl[cell], bg = sccb[cell];
            const uint32_t glyph = (c / 16) * ch * fw + (c % 16) * cw;
            for (uint32_t j = 0; j < ch; j++) {
                const uint32_t py = r * ch + j;
                if (fits) {
                    const uint8_t *src = &fontdata[glyph + j * fw];
                    uint8_t *dst = &scrbuf[py * sw + k * cw];
                    for (uint32_t i = 0; i < cw; i++)
                        dst[i] = src[i] ? fg : bg;
                    continue;
                }
                for (uint32_t i = 0; i < cw; i++) {
                    const uint32_t px = k * cw + i;
                    if (px < sw && py < sh)
                        FramePixel(py * sw + px, FontPixel(glyph + j * fw + i) ? fg : bg);
                }
            }
        }
    }

    // Visible for 256 ms, hidden for 256 ms.
    if (!(curgametick & 256))
        return;
    const uint8_t colour = sccl[cursor_x * 256 + cursor_y];
    const uint32_t glyph = (CURSOR_GLYPH / 16) * ch * fw + (CURSOR_GLYPH % 16) * cw;
    for (uint32_t j = 0; j < ch; j++) {
        const uint32_t py = cursor_y * ch + j;
        for (uint32_t i = 0; i < cw; i++) {
            const uint32_t px = cursor_x * cw + i;
            if (px < sw && py < sh && FontPixel(glyph + j * fw + i))
                FramePixel(py * sw + px, colour);
        }
    }
}
