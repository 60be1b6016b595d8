// Main menu: the animated title screen, its five items and their selection.
#include "menu/mainmenu.h"

#include <string.h>

#include "console/render.h"
#include "console/sfont.h"
#include "math/zmath.h"
#include "platform/platform.h"
#include "resources/strings.h"

// State declared in mainmenu.h.
uint8_t MainMenuEnabled;
int8_t menucursor;
int32_t ms_menudelay;
uint32_t curtick, lasttick;

#define MENU_ITEMS 5      // labels come from string slots 0..4
#define SELECT_DELAY 1000 // milliseconds of flashing before an item acts
#define TITLE_LEN 27
#define CREDIT_LEN 16

// The item names in menu order; the labels on screen come from the string table.
const char menuitem[5][32] = {" SINGLEPLAYER      ", " MULTIPLAYER GAME  ", " REPLAY DIRECTORY  ",
                              " SYSTEM CONFIG     ", " EXIT GAME         "};

static const char menutitle[TITLE_LEN + 1] = "MARROWDIGGER ONLINE (alpha)";
static const char menucredit[CREDIT_LEN + 1] = "MARROW TEAM 2026";

// Writes glyph and colours of one cell. A cell off the visible grid but on
// the planes is still written (it is simply not shown); only a cell off the
// planes, which the layout can reach on tiny grids, is skipped.
// bg < 0 leaves the background as it is.
static void PutCell(int k, int r, uint8_t glyph, uint8_t fg, int bg) {
    if (k < 0 || r < 0 || k >= CON_W || r >= CON_H)
        return;
    int at = CON_CELL(k, r);
    scch[at] = glyph;
    sccl[at] = fg;
    if (bg >= 0)
        sccb[at] = (uint8_t)bg;
}

void ProcMainMenu() {
    RenderMainMenu();
}

void RenderMainMenu() {
    int columns = GridCells(Screen_Width, charx);
    int rows = GridCells(Screen_Height, chary);

    if (ms_menudelay != 0) {
        // A selection is pending: every visible glyph one shade darker.
        for (int r = 0; r < rows; r++)
            for (int k = 0; k < columns; k++)
                if (sccl[CON_CELL(k, r)] <= 239)
                    sccl[CON_CELL(k, r)] += 16;
    } else {
        // A diagonal wave of base colour 8 over flickering blocks.
        for (int r = 0; r < rows; r++) {
            for (int k = 0; k < columns; k++) {
                int at = CON_CELL(k, r);
                scch[at] = (uint8_t)(176 + random2());
                sccl[at] = (uint8_t)((count / 2 + k / 2 + r / 4) % 16 * 16 + 8);
                sccb[at] = 0;
            }
        }
    }

    // Without a font there is no grid to lay the texts out on.
    bool grid = charx != 0 && chary != 0;
    if (grid) {
        for (int j = 0; j < TITLE_LEN; j++)
            PutCell(2 + j, 1, (uint8_t)menutitle[j], 1, -1);
        int letter = 2 + (int)((count / 2) % TITLE_LEN);
        sccl[CON_CELL(letter, 1)] = 3;

        for (int j = 0; j < CREDIT_LEN; j++)
            PutCell(columns - CREDIT_LEN + j, rows - 1, (uint8_t)menucredit[j], 9, -1);
    }

    // Labels, right-aligned; the farther from the selection, the darker. A
    // label wider than the grid cannot be placed and is skipped.
    for (int i = 0; i < MENU_ITEMS && grid; i++) {
        int n = (int)strnlen(str_item[i], sizeof str_item[i]);
        if (n > columns)
            continue;
        uint8_t fg;
        int bg;
        if (i == menucursor) {
            fg = 1;
            bg = ms_menudelay == 0 ? (int)((count / 4) % 16 * 16 + 8) : (int)((count / 2) % 2);
        } else {
            fg = (uint8_t)(48 * zabs(menucursor - i) + 2);
            bg = 0;
        }
        for (int j = 0; j < n; j++)
            PutCell(columns - n + j, rows - 9 + i, (uint8_t)str_item[i][j], fg, bg);
    }

    curtick = Platform_Tick();
    if (ms_menudelay <= 0) {
        uint8_t nd = controlpad[0].newdir;
        if (nd == 0) {
            menucursor--;
            if (menucursor < 0)
                menucursor = 4;
        }
        if (nd == 4) {
            menucursor++;
            if (menucursor > 4)
                menucursor = 0;
        }
        ms_menudelay = controlpad[0].pressed[0] == 1 ? SELECT_DELAY : 0;
    } else {
        // Real time spent in the menu, 32-bit wrapping like the tick itself.
        ms_menudelay = (int32_t)((uint32_t)ms_menudelay - (curtick - lasttick));
        if (ms_menudelay <= 0) {
            if (menucursor == 0)
                MainMenuEnabled = 0;
            else if (menucursor == MENU_ITEMS - 1)
                GameLoopEnabled = 0;
        }
    }

    lasttick = curtick;
    cursor_x = (uint8_t)(columns - 1); // byte values: no row gives row 255, off screen
    cursor_y = (uint8_t)(rows - 1);
}
