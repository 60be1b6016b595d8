// Main menu: the animated title screen and its five items.
#ifndef MD_MENU_MAINMENU_H
#define MD_MENU_MAINMENU_H

#include <stdint.h>

extern const char menuitem[5][32]; // the five item labels in menu order

// The menu's frame step while the menu is open (RenderMainMenu).
void ProcMainMenu();

// One menu frame: the background wave (or, while a choice is pending, every
// glyph a shade darker), title, credit and labels; Up and Down move the
// selection with wrap-around, A starts a one-second countdown after which
// the first item closes the menu and the last ends the frame loop.
void RenderMainMenu();

// The menu's state
extern uint8_t MainMenuEnabled;    // main menu open while non-zero
extern int8_t menucursor;          // selected menu item 0..4
extern int32_t ms_menudelay;       // selection delay left, milliseconds
extern uint32_t curtick, lasttick; // ticks of this and the previous menu frame

#endif
