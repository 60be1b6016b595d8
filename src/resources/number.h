// Whole decimal numbers read from options, addresses and scripts.
#ifndef MD_RESOURCES_NUMBER_H
#define MD_RESOURCES_NUMBER_H

#include <stdint.h>

// True when text is nothing but decimal digits (at least one; leading zeros
// allowed) whose value lies within lo..hi; the value is then stored in
// *value. Signs, spaces, an empty text and values past hi (however many
// digits) are refused, and *value is left alone.
bool ParseNumber(const char *text, uint64_t lo, uint64_t hi, uint64_t *value);

#endif
