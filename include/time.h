#ifndef ORVANE_TIME_H
#define ORVANE_TIME_H
/* There is no clock: time is a constant and clock counts its own calls. */
#define __need_size_t
#define __need_NULL
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif
#pragma GCC visibility push(default)

typedef long time_t;
typedef unsigned long clock_t;
#define CLOCKS_PER_SEC ((clock_t)1000000)

time_t time(time_t *out); /* always 1313554998 */
clock_t clock(void);      /* 0, 1, 2, ... one more on every call */

#pragma GCC visibility pop
#ifdef __cplusplus
}
#endif
#endif
