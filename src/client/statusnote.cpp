// A note at the right end of the status row, for what the status line does
// not say (an on-line game getting back in, say).
#include <string.h>

#include "client/gameclient.h"
#include "console/render.h"
#include "console/sfont.h"

void ShowStatusNote(const char *text) {
    if (charx == 0 || chary == 0 || Screen_Height / chary < 1)
        return;
    int n = Screen_Width / charx, h = Screen_Height / chary - 1;
    n = n < CON_W ? n : CON_W;
    h = h < CON_H ? h : CON_H - 1;
    int len = (int)strlen(text);
    for (int q = 0; q < len && q < n; q++) {
        int k = (n - len + q < 0 ? q : n - len + q) * 256 + h;
        scch[k] = (uint8_t)text[q];
        sccl[k] = 1;
    }
}
