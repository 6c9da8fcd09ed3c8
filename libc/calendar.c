/* Calendar arithmetic in UTC, the platform's one time zone. */
#include <errno.h>
#include <time.h>

/* Seconds from 1970-01-01 00:00:00 to the given moment of the proleptic Gregorian calendar
   (month 0..11, the other fields in any range). Years are counted from March, so that the
   leap day ends them, in eras of 400 years, which repeat exactly. */
static long long seconds_since_epoch(long long year, long long month, long long day,
                                     long long hour, long long minute, long long second) {
  year -= month < 2;
  long long era = (year >= 0 ? year : year - 399) / 400;
  long long year_of_era = year - era * 400;
  long long day_of_year = (153 * (month < 2 ? month + 10 : month - 2) + 2) / 5 + day - 1;
  long long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  long long days = era * 146097 + day_of_era - 719468;  /* 0000-03-01 to 1970-01-01 */
  return ((days * 24 + hour) * 60 + minute) * 60 + second;
}

/* mktime without a zone: fields out of range carry over as mktime's do, and the fields are
   rewritten in range with tm_wday and tm_yday set and tm_isdst 0. A moment whose year
   does not fit tm_year fails with EOVERFLOW. */
time_t timegm(struct tm *tm) {
  long long month = tm->tm_mon % 12, year = 1900LL + tm->tm_year + tm->tm_mon / 12;
  if (month < 0) {
    month += 12;
    --year;
  }
  long long seconds = seconds_since_epoch(year, month, tm->tm_mday, tm->tm_hour, tm->tm_min,
                                          tm->tm_sec);
  time_t moment = (time_t)seconds;
  struct tm fields;
  /* gmtime_r keeps the year in an int and would wrap: its answer must give the moment back. */
  if (!gmtime_r(&moment, &fields) ||
      seconds_since_epoch(1900LL + fields.tm_year, fields.tm_mon, fields.tm_mday,
                          fields.tm_hour, fields.tm_min, fields.tm_sec) != seconds) {
    errno = EOVERFLOW;
    return (time_t)-1;
  }
  *tm = fields;
  return moment;
}
