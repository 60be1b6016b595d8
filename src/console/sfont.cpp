// STUB
#include "console/sfont.h"
void s_initfont() {}
