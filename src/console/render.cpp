// STUB
#include "console/render.h"
void RenderConsole() {}
