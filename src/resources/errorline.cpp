// One-line complaints on stderr under the running program's name.
#include "resources/errorline.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

const char *error_program = "marrowdigger";
uint32_t error_lines;

void ErrorLine(const char *format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    fprintf(stderr, "%s: %s\n", error_program, text);
    error_lines++;
}

const char *EchoText(const char *text, char *out) {
    snprintf(out, ECHO_SIZE, "%.*s%s", ECHO_MAX, text, strlen(text) > ECHO_MAX ? "..." : "");
    return out;
}
