// A note at the right end of the status row, for what the status line does
// not say (an on-line game getting back in, say). A note wider than the
// screen is broken at spaces into lines that end on the status row.
#include <string.h>

#include "client/gameclient.h"
#include "console/render.h"
#include "console/sfont.h"

#define NOTE_LINES 4 // lines a note takes at most

// Writes len bytes of text right-aligned on screen row row of n columns.
static void NoteLine(const char *text, int len, int row, int n) {
    for (int q = 0; q < len && q < n; q++) {
        int k = (n - len + q < 0 ? q : n - len + q) * 256 + row;
        scch[k] = (uint8_t)text[q];
        sccl[k] = 1;
    }
}

void ShowStatusNote(const char *text) {
    if (charx == 0 || chary == 0 || Screen_Height / chary < 1)
        return;
    int n = Screen_Width / charx, h = Screen_Height / chary - 1;
    n = n < CON_W ? n : CON_W;
    h = h < CON_H ? h : CON_H - 1;
    int start[NOTE_LINES], len[NOTE_LINES], lines = 0;
    int at = 0, total = (int)strlen(text);
    while (at < total && lines < NOTE_LINES) {
        int end = total - at <= n ? total : at + n;
        if (end < total) { // break at the last space that fits, if any
            int space = end;
            while (space > at && text[space] != ' ')
                space--;
            end = space > at ? space : end;
        }
        start[lines] = at;
        len[lines++] = end - at;
        at = end;
        while (at < total && text[at] == ' ')
            at++;
    }
    for (int i = 0; i < lines; i++)
        if (h - (lines - 1 - i) >= 0)
            NoteLine(text + start[i], len[i], h - (lines - 1 - i), n);
}
