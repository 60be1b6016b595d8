// marrowdigger-headless: plays the game without a display on a scripted
// clock and scripted controls; see runner.cpp and the README.
#include "headless/runner.h"

int main(int argc, char **argv) {
    return HeadlessMain(argc, argv);
}
