/* The library's time.h (time, clock) plus the calendar functions Lua's os library needs.
   The machine keeps no time zone: local time is UTC. */
#ifndef NORRIKLUA_TIME_H
#define NORRIKLUA_TIME_H
#include_next <time.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

struct tm {
  int tm_sec, tm_min, tm_hour, tm_mday, tm_mon, tm_year, tm_wday, tm_yday, tm_isdst;
};

struct tm *gmtime(const time_t *t);    /* null when the year does not fit an int */
struct tm *localtime(const time_t *t); /* the same as gmtime */
time_t mktime(struct tm *tm);          /* normalises *tm; -1 when out of range */
double difftime(time_t end, time_t start);
size_t strftime(char *dst, size_t size, const char *format, const struct tm *tm);

#ifdef __cplusplus
}
#endif
#endif
