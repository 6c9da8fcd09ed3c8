/* The library's ctype.h, plus the classes it leaves out (for Lua's %c, %g and %p), with
   every class and case test inlined for Lua's code: string patterns and string.upper
   test one character at a time. 7-bit ASCII like the library's. */
#ifndef NORRIKLUA_CTYPE_H
#define NORRIKLUA_CTYPE_H
#include_next <ctype.h>

static inline int nklua_isdigit(int c) { return c >= '0' && c <= '9'; }
static inline int nklua_islower(int c) { return c >= 'a' && c <= 'z'; }
static inline int nklua_isupper(int c) { return c >= 'A' && c <= 'Z'; }
static inline int nklua_isalpha(int c) { return nklua_islower(c) || nklua_isupper(c); }
static inline int nklua_isalnum(int c) { return nklua_isalpha(c) || nklua_isdigit(c); }
static inline int nklua_isxdigit(int c) { return nklua_isdigit(c) || ((c | 32) >= 'a' && (c | 32) <= 'f'); }
static inline int nklua_isspace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
static inline int nklua_iscntrl(int c) { return (c >= 0 && c < 32) || c == 127; }
static inline int nklua_isgraph(int c) { return c > 32 && c < 127; }
static inline int nklua_ispunct(int c) { return nklua_isgraph(c) && !nklua_isalnum(c); }
static inline int nklua_tolower(int c) { return nklua_isupper(c) ? c + 32 : c; }
static inline int nklua_toupper(int c) { return nklua_islower(c) ? c - 32 : c; }

#define isdigit nklua_isdigit
#define islower nklua_islower
#define isupper nklua_isupper
#define isalpha nklua_isalpha
#define isalnum nklua_isalnum
#define isxdigit nklua_isxdigit
#define isspace nklua_isspace
#define iscntrl nklua_iscntrl
#define isgraph nklua_isgraph
#define ispunct nklua_ispunct
#define tolower nklua_tolower
#define toupper nklua_toupper
#endif
