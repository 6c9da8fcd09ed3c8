#ifndef ORVANE_STDIO_H
#define ORVANE_STDIO_H
/* Formatting: conversions c d i I u x X p s f and %%; width, precision and length
   modifiers are read and ignored; integers print as 32 bits; %f has six truncated
   decimals, prints every digit of large magnitudes, and "inf", "-inf" or "nan" for the
   values that have none. Anything else prints "?". */
#include <nk_fs.h>
#include <stdarg.h>
#include <stddef.h> /* size_t, NULL */

#define EOF (-1)

/* The file layer's stream (<nk_fs.h>) is this platform's FILE. */
typedef NkfsStream FILE;
#define EOF (-1)
#define SEEK_SET 0
#define SEEK_CUR 1
#define SEEK_END 2

#ifdef __cplusplus
extern "C" {
#endif
#pragma GCC visibility push(default)

int snprintf(char *dst, size_t n, const char *format, ...);
int vsnprintf(char *dst, size_t n, const char *format, va_list args);

#pragma GCC visibility pop
#ifdef __cplusplus
}
#endif
#endif
