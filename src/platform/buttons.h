// The console buttons of the built-in controls (SDL joystick 0), in number
// order: the one list that gives each its number BTN_<NAME> and its name, so
// that the drivers and every reader of button names agree.
#ifndef MD_PLATFORM_BUTTONS_H
#define MD_PLATFORM_BUTTONS_H

// Applies F to each button's name, button 0 first.
// clang-format off
#define CONSOLE_BUTTONS(F)                                                        \
    F(UP) F(UPLEFT) F(LEFT) F(DOWNLEFT) F(DOWN) F(DOWNRIGHT) F(RIGHT) F(UPRIGHT) \
    F(START) F(SELECT) F(L) F(R) F(A) F(B) F(X) F(Y) F(VOLUP) F(VOLDOWN)
// clang-format on

#define BTN_NUMBER(name) BTN_##name,
enum ConsoleButton { CONSOLE_BUTTONS(BTN_NUMBER) BUILTIN_BUTTONS };
#undef BTN_NUMBER

#endif
