// Console renderer: paints the visible cells of the cell grid into scrbuf,
// glyph pixels in the foreground colour and the rest in the background
// colour, then overlays the blinking cursor.
//
// Glyphs 8 or 16 pixels wide, with the frame and the font inside their
// buffers, are painted a glyph row at a time: each font byte becomes a mask
// (0xFF for ink, any non-zero byte, 0 for background) and the row is
// bg ^ (mask & (fg ^ bg)): 16 bytes at once with SSE2, else four at once in
// plain 32-bit arithmetic with aligned loads and stores. With AVX2 and an
// 8 x 8 font, the font's ink is first condensed into one bit per pixel, a
// glyph's eight rows in eight bytes, and each frame row of four cells is a
// blend on those bits. Every other case goes pixel by pixel.
#include "console/render.h"

#include <stdint.h>
#include <string.h>
#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "console/sfont.h"
#include "world/world.h"

// State declared in render.h.
uint8_t scch[CON_CELLS];
uint8_t sccl[CON_CELLS];
uint8_t sccb[CON_CELLS];
uint8_t cursor_x;
uint8_t cursor_y;
alignas(64) uint8_t scrbuf[SCRBUF_SIZE]; // aligned to cache lines for whole-line stores
uint16_t Screen_Width, Screen_Height;
uint8_t palette[256 * 3];

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

// First font byte of glyph c's top row.
static inline uint32_t GlyphStart(uint32_t c) {
    return (c / 16) * chary * fontx + (c % 16) * charx;
}

// Paints the cells pixel by pixel. With fits set (frame inside scrbuf, every
// glyph inside fontdata) rows go without per-pixel tests; otherwise a frame
// pixel past scrbuf is skipped and a glyph pixel past fontdata counts as
// background.
static void PaintPixels(uint32_t columns, uint32_t rows, bool fits) {
    const uint32_t cw = charx, ch = chary, fw = fontx;
    const uint32_t sw = Screen_Width, sh = Screen_Height;
    for (uint32_t r = 0; r < rows; r++) {
        for (uint32_t k = 0; k < columns; k++) {
            const uint32_t cell = CON_CELL(k, r);
            const uint8_t fg = sccl[cell], bg = sccb[cell];
            const uint32_t glyph = GlyphStart(scch[cell]);
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
}

#if defined(__SSE2__)
// Two glyph rows of 8 font bytes side by side in one register.
static inline __m128i LoadPair(const uint8_t *left, const uint8_t *right) {
    const __m128 lo = _mm_castsi128_ps(_mm_loadl_epi64((const __m128i *)left));
    return _mm_castps_si128(_mm_loadh_pi(lo, (const __m64 *)right));
}

// A colour byte in every byte of the low half and another in the high half.
static inline __m128i Splat2(uint8_t low, uint8_t high) {
    return _mm_set_epi64x((long long)(high * 0x0101010101010101ull),
                          (long long)(low * 0x0101010101010101ull));
}

// Paints n rows of 16 pixels, fg where the font byte is non-zero and
// fg ^ x (the background) where it is 0; the font rows come from left and
// right, 8 bytes each, or from left alone when right is null.
static inline void PaintSpan16(const uint8_t *left, const uint8_t *right, uint8_t *dst, uint32_t n,
                               uint32_t fw, uint32_t sw, __m128i fg, __m128i x) {
    const __m128i zero = _mm_setzero_si128();
#pragma GCC unroll 8
    for (uint32_t j = 0; j < n; j++) {
        const __m128i ink = right ? LoadPair(left + j * fw, right + j * fw)
                                  : _mm_loadu_si128((const __m128i *)(left + j * fw));
        const __m128i back = _mm_cmpeq_epi8(ink, zero);
        _mm_storeu_si128((__m128i *)(dst + j * sw), _mm_xor_si128(fg, _mm_and_si128(back, x)));
    }
}

// Paints cell row r from column k on, 16 bytes per store: a row of a
// 16-wide glyph, or the rows of two neighbouring 8-wide glyphs. The caller
// has checked that frame and font fit their buffers; glyph holds each
// glyph's first font byte.
static void PaintRowSse2(uint32_t r, uint32_t k, uint32_t columns, const uint32_t *glyph) {
    const uint32_t cw = charx, ch = chary, fw = fontx, sw = Screen_Width;
    uint8_t *line = &scrbuf[r * ch * sw];
    if (cw == 16) {
        for (; k < columns; k++) {
            const uint32_t cell = CON_CELL(k, r);
            const __m128i fg = Splat2(sccl[cell], sccl[cell]);
            const __m128i x = _mm_xor_si128(fg, Splat2(sccb[cell], sccb[cell]));
            const uint8_t *src = &fontdata[glyph[scch[cell]]];
            PaintSpan16(src, NULL, line + k * 16, ch, fw, sw, fg, x);
        }
        return;
    }
    for (; k + 1 < columns; k += 2) {
        const uint32_t c0 = CON_CELL(k, r), c1 = c0 + CON_CELL(1, 0);
        const __m128i fg = Splat2(sccl[c0], sccl[c1]);
        const __m128i x = _mm_xor_si128(fg, Splat2(sccb[c0], sccb[c1]));
        const uint8_t *s0 = &fontdata[glyph[scch[c0]]];
        const uint8_t *s1 = &fontdata[glyph[scch[c1]]];
        if (ch == 8) // the usual font, rows unrolled
            PaintSpan16(s0, s1, line + k * 8, 8, fw, sw, fg, x);
        else
            PaintSpan16(s0, s1, line + k * 8, ch, fw, sw, fg, x);
    }
    if (k < columns) { // an odd last column
        const uint32_t cell = CON_CELL(k, r);
        const __m128i fg = Splat2(sccl[cell], sccl[cell]);
        const __m128i x = _mm_xor_si128(fg, Splat2(sccb[cell], sccb[cell]));
        const __m128i zero = _mm_setzero_si128();
        const uint8_t *src = &fontdata[glyph[scch[cell]]];
        uint8_t *dst = line + k * 8;
        for (uint32_t j = 0; j < ch; j++, src += fw, dst += sw) {
            __m128i back = _mm_cmpeq_epi8(_mm_loadl_epi64((const __m128i *)src), zero);
            _mm_storel_epi64((__m128i *)dst, _mm_xor_si128(fg, _mm_and_si128(back, x)));
        }
    }
}
#endif

#if defined(__SSE2__) && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define HAVE_AVX2_PATH 1

// Builds the ink table of an 8 x 8 font: for glyph c, byte 8 * c + i holds
// column i of the glyph, bit j set when the font byte of row j is non-zero.
// Read once per frame, so any font content, even changed between frames,
// paints exactly.
__attribute__((target("avx2"))) static void BuildInkColumns(uint8_t *table) {
    const uint32_t fw = fontx;
    const __m256i one = _mm256_set1_epi8(1);
    for (uint32_t g = 0; g < 16; g++) { // 16 glyphs side by side per font line
        const uint8_t *src = &fontdata[g * 8 * fw];
        for (uint32_t i = 0; i < 128; i += 32) {
            __m256i acc = _mm256_setzero_si256();
#pragma GCC unroll 8
            for (uint32_t j = 0; j < 8; j++) {
                const __m256i row = _mm256_loadu_si256((const __m256i *)(src + j * fw + i));
                // 1 for ink, moved to bit j; no byte exceeds 0x80, so the
                // 16-bit shift never carries into the neighbouring byte.
                acc = _mm256_or_si256(acc, _mm256_slli_epi16(_mm256_min_epu8(row, one), (int)j));
            }
            _mm256_store_si256((__m256i *)(table + g * 128 + i), acc);
        }
    }
}

// Regroups 32 rows of the cell bytes of columns k .. k + 3: word r of out
// holds row r's four bytes, column k in the low byte.
static inline void Regroup4(const uint8_t *cells, uint32_t k, uint32_t *out) {
    for (uint32_t r = 0; r < 32; r += 16) {
        const uint8_t *src = cells + CON_CELL(k, 0) + r; // column k, then row r
        const __m128i c0 = _mm_loadu_si128((const __m128i *)src);
        const __m128i c1 = _mm_loadu_si128((const __m128i *)(src + CON_CELL(1, 0)));
        const __m128i c2 = _mm_loadu_si128((const __m128i *)(src + CON_CELL(2, 0)));
        const __m128i c3 = _mm_loadu_si128((const __m128i *)(src + CON_CELL(3, 0)));
        const __m128i lo01 = _mm_unpacklo_epi8(c0, c1), hi01 = _mm_unpackhi_epi8(c0, c1);
        const __m128i lo23 = _mm_unpacklo_epi8(c2, c3), hi23 = _mm_unpackhi_epi8(c2, c3);
        _mm_storeu_si128((__m128i *)(out + r), _mm_unpacklo_epi16(lo01, lo23));
        _mm_storeu_si128((__m128i *)(out + r + 4), _mm_unpackhi_epi16(lo01, lo23));
        _mm_storeu_si128((__m128i *)(out + r + 8), _mm_unpacklo_epi16(hi01, hi23));
        _mm_storeu_si128((__m128i *)(out + r + 12), _mm_unpackhi_epi16(hi01, hi23));
    }
}

// Four cells' colour bytes, packed in a 32-bit word, spread over 32 bytes:
// byte b / 8 of the word in byte b.
__attribute__((target("avx2"), always_inline)) static inline __m256i Spread4(uint32_t w) {
    const __m256i spread =
        _mm256_set_epi64x(0x0303030303030303ll, 0x0202020202020202ll, 0x0101010101010101ll, 0);
    return _mm256_shuffle_epi8(_mm256_set1_epi32((int)w), spread);
}

// The column bytes of the four glyphs packed in a 32-bit word, side by side.
__attribute__((target("avx2"), always_inline)) static inline __m256i InkOf4(uint32_t g,
                                                                            const uint8_t *table) {
    uint64_t q0, q1, q2, q3;
    memcpy(&q0, table + (size_t)(g & 255) * 8, 8);
    memcpy(&q1, table + (size_t)(g >> 8 & 255) * 8, 8);
    memcpy(&q2, table + (size_t)(g >> 16 & 255) * 8, 8);
    memcpy(&q3, table + (size_t)(g >> 24) * 8, 8);
    return _mm256_set_epi64x((long long)q3, (long long)q2, (long long)q1, (long long)q0);
}

// Paints up to 32 cell rows of 8 x 8 glyphs in eight neighbouring columns
// from the ink table, two 32-byte stores side by side per pixel row: row
// j's ink is bit j of each column byte, moved to the top bit that the blend
// reads. Inlined with a constant width for the usual screen, so that every
// address is a fixed offset.
__attribute__((target("avx2"), always_inline)) static inline void
PaintGroupInk(uint8_t *dst, uint32_t rows, uint32_t sw, const uint32_t (*cells)[32],
              const uint8_t *table) {
    for (uint32_t r = 0; r < rows; r++, dst += 8 * sw) {
        const __m256i fg0 = Spread4(cells[1][r]), bg0 = Spread4(cells[2][r]);
        const __m256i fg1 = Spread4(cells[4][r]), bg1 = Spread4(cells[5][r]);
        const __m256i ink0 = InkOf4(cells[0][r], table), ink1 = InkOf4(cells[3][r], table);
#pragma GCC unroll 8
        for (uint32_t j = 0; j < 8; j++) {
            const int shift = (int)(7 - j);
            const __m256i top0 = _mm256_slli_epi16(ink0, shift);
            const __m256i top1 = _mm256_slli_epi16(ink1, shift);
            _mm256_storeu_si256((__m256i *)(dst + j * sw), _mm256_blendv_epi8(bg0, fg0, top0));
            _mm256_storeu_si256((__m256i *)(dst + j * sw + 32), _mm256_blendv_epi8(bg1, fg1, top1));
        }
    }
}

// Paints the cells of an 8 x 8 font, at most 32 rows, eight columns at a
// time from the ink table; returns the first column left unpainted.
__attribute__((target("avx2"))) static uint32_t PaintInk(uint32_t columns, uint32_t rows,
                                                         const uint8_t *table) {
    const uint32_t sw = Screen_Width;
    uint32_t k = 0;
    for (; k + 8 <= columns; k += 8) {
        uint32_t cells[6][32]; // glyph, fg, bg of columns k .. k + 3, then k + 4 .. k + 7
        Regroup4(scch, k, cells[0]);
        Regroup4(sccl, k, cells[1]);
        Regroup4(sccb, k, cells[2]);
        Regroup4(scch, k + 4, cells[3]);
        Regroup4(sccl, k + 4, cells[4]);
        Regroup4(sccb, k + 4, cells[5]);
        uint8_t *dst = &scrbuf[k * 8];
        if (sw == 320) // the usual screen
            PaintGroupInk(dst, rows, 320, cells, table);
        else
            PaintGroupInk(dst, rows, sw, cells, table);
    }
    return k;
}
#endif

// Ink mask of four font bytes: 0xFF for each non-zero byte, 0 for each zero.
// The high bit of each byte of t is set when the byte is non-zero, without
// carries between bytes; t - (t >> 7) fills the seven bits below it.
static inline uint32_t InkMask(uint32_t w) {
    const uint32_t t = (((w & 0x7F7F7F7Fu) + 0x7F7F7F7Fu) | w) & 0x80808080u;
    return (t - (t >> 7)) | t;
}

// Paints the cells four bytes at a time in plain 32-bit arithmetic. The
// caller has checked that frame and font fit their buffers and that every
// font row and frame row starts on a 4-byte boundary.
static void PaintWords(uint32_t columns, uint32_t rows, const uint32_t *glyph) {
    const uint32_t cw = charx, ch = chary, fw = fontx, sw = Screen_Width;
    for (uint32_t r = 0; r < rows; r++) {
        uint8_t *line = &scrbuf[r * ch * sw];
        for (uint32_t k = 0; k < columns; k++) {
            const uint32_t cell = CON_CELL(k, r);
            const uint8_t *src = &fontdata[glyph[scch[cell]]];
            const uint32_t bg = sccb[cell] * 0x01010101u;
            const uint32_t x = bg ^ (sccl[cell] * 0x01010101u);
            uint8_t *dst = line + k * cw;
            for (uint32_t j = 0; j < ch; j++, src += fw, dst += sw) {
                for (uint32_t i = 0; i < cw; i += 4) {
                    uint32_t w;
                    memcpy(&w, __builtin_assume_aligned(src + i, 4), 4);
                    w = bg ^ (InkMask(w) & x);
                    memcpy(__builtin_assume_aligned(dst + i, 4), &w, 4);
                }
            }
        }
    }
}

// Overlays the cursor glyph's ink in its cell's foreground colour, with the
// same screen test as the cells, pixel by pixel.
static void DrawCursor() {
    const uint32_t cw = charx, ch = chary, fw = fontx;
    const uint32_t sw = Screen_Width, sh = Screen_Height;
    const uint8_t colour = sccl[CON_CELL(cursor_x, cursor_y)];
    const uint32_t glyph = GlyphStart(CURSOR_GLYPH);
    for (uint32_t j = 0; j < ch; j++) {
        const uint32_t py = cursor_y * ch + j;
        for (uint32_t i = 0; i < cw; i++) {
            const uint32_t px = cursor_x * cw + i;
            if (px < sw && py < sh && FontPixel(glyph + j * fw + i))
                FramePixel(py * sw + px, colour);
        }
    }
}

uint8_t render_paint = PAINT_FASTEST;

// Paints the cells of an 8- or 16-wide font that fits fontdata into a frame
// that fits scrbuf, with the fastest painting the machine has unless
// render_paint asks for a plainer one.
static void PaintWide(uint32_t columns, uint32_t rows) {
    uint32_t glyph[256]; // first font byte of each glyph
    for (uint32_t c = 0; c < 256; c++)
        glyph[c] = GlyphStart(c);
        // Each painting is kept where it beats the next plainer one; CPU time of a
        // full 320 x 240 frame (marrowdigger-bench, medians of 11, x86-64 with
        // AVX2, loaded 2-core machine), a 76,800-byte memset 0.8 us beside it:
#if defined(__SSE2__)
    if (render_paint != PAINT_WORDS) {
        uint32_t first = 0; // first column the row loop paints
#if defined(HAVE_AVX2_PATH)
        // The usual 8 x 8 font: its ink condensed to one byte per glyph
        // column, so that a cell's eight rows come in one 8-byte load.
        // 1.8 us against 4.8 us with SSE2.
        const bool columns8 = render_paint == PAINT_FASTEST && charx == 8 && chary == 8 &&
                              rows <= 32 && __builtin_cpu_supports("avx2");
        if (columns8) {
            alignas(32) uint8_t ink[256 * 8];
            BuildInkColumns(ink);
            first = PaintInk(columns, rows, ink);
        }
#endif
        // SSE2, 16 bytes a store: 4.8 us against 30 us pixel by pixel for
        // 8 x 8 glyphs, 3.2 us against 8 us for 16 x 16 glyphs.
        for (uint32_t r = 0; r < rows; r++)
            PaintRowSse2(r, first, columns, glyph);
        return;
    }
#endif
    // Machines without SSE2 (the ARM builds): 32-bit words need 2.2 (armel)
    // and 2.5 (armhf) times fewer instructions than pixel by pixel, counted
    // under qemu for an 8 x 8 frame.
    if (((uintptr_t)scrbuf | (uintptr_t)fontdata | Screen_Width | fontx) % 4 == 0)
        PaintWords(columns, rows, glyph);
    else
        PaintPixels(columns, rows, true);
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
    if (columns > GRID_CAP)
        columns = GRID_CAP;
    if (rows > GRID_CAP)
        rows = GRID_CAP;

    // A painted cell always lies inside the screen (k < sw / cw, r < sh / ch).
    // Any loaded font and the 320 x 240 frame fit their buffers.
    const bool fits = (uint64_t)sw * sh <= sizeof scrbuf &&
                      (uint64_t)(16 * ch - 1) * fw + 16 * cw - 1 < sizeof fontdata;
    if (fits && (cw == 8 || cw == 16))
        PaintWide(columns, rows);
    else
        PaintPixels(columns, rows, fits);

    // Visible for 256 ms, hidden for 256 ms.
    if (curgametick & 256)
        DrawCursor();
}
