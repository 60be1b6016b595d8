// Reference implementation of the console renderer that the fast painting
// paths are checked against: pixel by pixel.
#ifndef MD_TESTS_CONSOLE_RENDERREF_H
#define MD_TESTS_CONSOLE_RENDERREF_H

#include <stdint.h>

#include "console/render.h"
#include "console/sfont.h"
#include "world/world.h"

static inline uint8_t RefFontPixel(uint32_t at) {
    return at < sizeof fontdata ? fontdata[at] : 0;
}

static inline void RefFramePixel(uint32_t at, uint8_t colour) {
    if (at < sizeof scrbuf)
        scrbuf[at] = colour;
}

static inline void ReferenceRenderConsole() {
    const uint32_t cw = charx, ch = chary, fw = fontx;
    const uint32_t sw = Screen_Width, sh = Screen_Height;
    if (cw == 0 || ch == 0)
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
            const uint32_t glyph = (c / 16) * ch * fw + (c % 16) * cw;
            for (uint32_t j = 0; j < ch; j++) {
                const uint32_t py = r * ch + j;
                for (uint32_t i = 0; i < cw; i++) {
                    const uint32_t px = k * cw + i;
                    if (px < sw && py < sh)
                        RefFramePixel(py * sw + px, RefFontPixel(glyph + j * fw + i) ? fg : bg);
                }
            }
        }
    }

    if (!(curgametick & 256))
        return;
    const uint8_t colour = sccl[cursor_x * 256 + cursor_y];
    const uint32_t glyph = (95 / 16) * ch * fw + (95 % 16) * cw;
    for (uint32_t j = 0; j < ch; j++) {
        const uint32_t py = cursor_y * ch + j;
        for (uint32_t i = 0; i < cw; i++) {
            const uint32_t px = cursor_x * cw + i;
            if (px < sw && py < sh && RefFontPixel(glyph + j * fw + i))
                RefFramePixel(py * sw + px, colour);
        }
    }
}

#endif
