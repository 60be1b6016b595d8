// One-line complaints on stderr, each headed by the running program's name,
// so that the data loaders speak for whichever program loads them.
#ifndef MD_RESOURCES_ERRORLINE_H
#define MD_RESOURCES_ERRORLINE_H

#include <stdint.h>

#define ECHO_MAX 80              // characters of a user's text repeated in a line
#define ECHO_SIZE (ECHO_MAX + 4) // room for them, "..." and the end

extern const char *error_program; // heads the lines: "marrowdigger" unless a tool sets its own
extern uint32_t error_lines;      // lines printed so far

// Prints "NAME: message" and a newline on stderr; the message is formatted
// as by printf.
void ErrorLine(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Copies text into out (ECHO_SIZE bytes) to be repeated in a line, cut
// after ECHO_MAX characters with "..." to show it; returns out.
const char *EchoText(const char *text, char *out);

#endif
