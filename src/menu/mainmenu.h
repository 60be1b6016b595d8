// Main menu: the animated title screen and its five items.
#ifndef MD_MENU_MAINMENU_H
#define MD_MENU_MAINMENU_H

extern const char menuitem[5][32]; // the five item labels in menu order

void ProcMainMenu();
void RenderMainMenu();

#endif
