#ifndef ORVANE_STRINGS_H
#define ORVANE_STRINGS_H
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif
#pragma GCC visibility push(default)

void bzero(void *dst, size_t n);
void __bzero(void *dst, size_t n); /* the same function; compilers for this target call it */

#pragma GCC visibility pop
#ifdef __cplusplus
}
#endif
#endif
