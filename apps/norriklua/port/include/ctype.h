/* The library's ctype.h plus the classes it leaves out, for Lua's string patterns
   (%c, %g, %p). 7-bit ASCII like the rest. */
#ifndef NORRIKLUA_CTYPE_H
#define NORRIKLUA_CTYPE_H
#include_next <ctype.h>

static inline int iscntrl(int c) { return (c >= 0 && c < 32) || c == 127; }
static inline int isgraph(int c) { return c > 32 && c < 127; }
static inline int ispunct(int c) { return isgraph(c) && !isalnum(c); }
#endif
