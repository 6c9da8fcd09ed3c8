/* What NorrikLua's port adds to the library for Lua: a complete formatter, a correctly
   rounding strtod, accurate mathematics and the console writer for Lua's own errors. */
#ifndef NORRIKLUA_PORT_H
#define NORRIKLUA_PORT_H
#include <stdarg.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* printf-style formatting with every C99 conversion, flag, width, precision and length
   modifier (except %n and wide characters), with exact decimal conversion of doubles. */
int nklua_vsnprintf(char *dst, size_t n, const char *format, va_list args);
int nklua_snprintf(char *dst, size_t n, const char *format, ...);

/* Decimal (correctly rounded) and hexadecimal numerals, "inf", "nan". */
double nklua_strtod(const char *s, char **end);

/* Within about one unit in the last place of the correctly rounded result. */
double nklua_floor(double x);
double nklua_ceil(double x);
double nklua_fabs(double x);
double nklua_fmod(double x, double y);
double nklua_sqrt(double x);
double nklua_ldexp(double x, int n);
double nklua_frexp(double x, int *exponent);
double nklua_exp(double x);
double nklua_log(double x);
double nklua_log2(double x);
double nklua_log10(double x);
double nklua_pow(double x, double y);
double nklua_sin(double x);
double nklua_cos(double x);
double nklua_tan(double x);
double nklua_asin(double x);
double nklua_acos(double x);
double nklua_atan(double x);
double nklua_atan2(double y, double x);
double nklua_sinh(double x); /* a few ulps: only Lua 5.3 scripts use these */
double nklua_cosh(double x);
double nklua_tanh(double x);

/* lua_writestringerror: Lua's printf-style message with one text argument, to the
   console. */
void nklua_write_error(const char *format, const char *argument);

/* Lua's allocator (lua_Alloc): small blocks in size classes over large host blocks. */
void *nklua_alloc(void *unused, void *block, size_t old_size, size_t new_size);
/* Returns every chunk to the host; only after the last Lua state is closed. */
void nklua_alloc_release_all(void);

/* Stores every open file stream (exit does this before it leaves). */
void nklua_store_open_files(void);

#ifdef __cplusplus
}
#endif
#endif
