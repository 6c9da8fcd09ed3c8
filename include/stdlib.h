#ifndef ORVANE_STDLIB_H
#define ORVANE_STDLIB_H
#include <stddef.h> /* size_t, NULL */

#define EXIT_SUCCESS 0
#define EXIT_FAILURE 1

#ifdef __cplusplus
extern "C" {
#endif
#pragma GCC visibility push(default)

/* Allocation is the host's: null when the host has no memory (or no allocator). */
void *malloc(size_t size);
void free(void *block);
void *realloc(void *block, size_t size);

int abs(int x);
__attribute__((__noreturn__)) void abort(void); /* halts the machine: nothing is flushed, nothing runs */
char *getenv(const char *name); /* there is no environment: always null */
int system(const char *command); /* there is no command processor: always -1 */

/* Number parsing: no locale, no range errors; overflow wraps. */
long strtol(const char *s, char **end, int base);
unsigned long strtoul(const char *s, char **end, int base);
/* __extension__: C89 has no long long, but the library does. */
__extension__ long long strtoll(const char *s, char **end, int base);
__extension__ unsigned long long strtoull(const char *s, char **end, int base);
/* Decimal only: no inf, nan or hexadecimal form. The mantissa is accumulated digit by
   digit in doubles; an exponent then scales it with a single rounding. */
double strtod(const char *s, char **end);
float strtof(const char *s, char **end);

#pragma GCC visibility pop
#ifdef __cplusplus
}
#endif
#endif
