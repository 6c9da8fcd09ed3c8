/* Refers to every function that both the library and newlib define, so that the test of
   bindings can see where each one comes from in a program with the C library. Taking
   their addresses keeps the compiler from putting its own code in place of a call. */
#include <ctype.h>
#include <locale.h>
#include <math.h>
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <time.h>

int __cxa_atexit(void (*)(void *), void *, void *);

typedef void (*function)(void);

/* newlib's, where the library's contract is narrower. */
static volatile function from_newlib[] = {
    (function)snprintf, (function)vsnprintf, (function)strtol, (function)strtoul,
    (function)strtoll, (function)strtoull, (function)strtod, (function)strtof,
    (function)ldexp, (function)frexp, (function)fmod, (function)pow, (function)floor,
    (function)ceil, (function)trunc, (function)round, (function)lround, (function)llround,
    (function)sqrt, (function)log, (function)sin, (function)cos, (function)fabs,
    (function)ldexpf, (function)frexpf, (function)fmodf, (function)powf, (function)floorf,
    (function)ceilf, (function)truncf, (function)sqrtf, (function)logf, (function)sinf,
    (function)cosf, (function)fabsf, (function)abs, (function)isdigit, (function)isxdigit,
    (function)islower, (function)isupper, (function)isalpha, (function)isalnum,
    (function)isblank, (function)isspace, (function)isprint, (function)tolower,
    (function)toupper, (function)time, (function)getenv, (function)system,
    (function)setlocale, (function)localeconv, (function)strerror, (function)__cxa_atexit};

/* The library's. */
static volatile function from_library[] = {
    (function)memcpy, (function)memmove, (function)memset, (function)bzero, (function)memcmp,
    (function)memchr, (function)strlen, (function)strcmp, (function)strncmp, (function)strcoll,
    (function)strcpy, (function)strdup, (function)strchr, (function)strspn, (function)strpbrk,
    (function)strstr, (function)malloc, (function)free, (function)realloc, (function)setjmp,
    (function)longjmp, (function)abort, (function)clock};

int main(void) {
  return from_newlib[0] == from_library[0];
}
