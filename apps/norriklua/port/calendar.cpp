// Calendar time for os.date and os.time: proleptic Gregorian, UTC, the C99 strftime
// conversions. The library's time() is a constant and the machine has no time zone.

#include <stdint.h>
#include <time.h>

#include "norriklua_port.h"

namespace {

constexpr int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 of a civil date (H. Hinnant's algorithm, exact for any year).
int64_t days_from_civil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civil_from_days(int64_t z, int64_t* y, int* m, int* d) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = yoe + era * 400 + (*m <= 2);
}

bool is_leap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

bool to_tm(int64_t t, struct tm* out) {
  int64_t days = floor_div(t, kSecondsPerDay);
  int64_t secs = t - days * kSecondsPerDay;
  int64_t year;
  int month, day;
  civil_from_days(days, &year, &month, &day);
  if (year - 1900 > 0x7fffffff || year - 1900 < -0x7fffffff - 1) return false;
  out->tm_sec = static_cast<int>(secs % 60);
  out->tm_min = static_cast<int>(secs / 60 % 60);
  out->tm_hour = static_cast<int>(secs / 3600);
  out->tm_mday = day;
  out->tm_mon = month - 1;
  out->tm_year = static_cast<int>(year - 1900);
  out->tm_wday = static_cast<int>(floor_div(days + 4, 7) * -7 + days + 4);  // 1970-01-01: Thursday
  out->tm_yday = static_cast<int>(days - days_from_civil(year, 1, 1));
  out->tm_isdst = 0;
  return true;
}

// Output with truncation that still tells whether everything fitted.
class Writer {
 public:
  Writer(char* dst, size_t size) : dst_(dst), size_(size) {}
  void put(char c) {
    if (len_ + 1 < size_) dst_[len_] = c;
    ++len_;
  }
  void text(const char* s) {
    while (*s) put(*s++);
  }
  void number(int64_t v, int width, char pad = '0') {
    char buf[24];
    int n = 0;
    bool neg = v < 0;
    uint64_t u = neg ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    do {
      buf[n++] = static_cast<char>('0' + u % 10);
      u /= 10;
    } while (u);
    if (neg) put('-');
    for (int i = n; i < width; ++i) put(pad);
    while (n) put(buf[--n]);
  }
  size_t finish() {
    if (len_ >= size_) {
      if (size_) dst_[0] = '\0';
      return 0;
    }
    dst_[len_] = '\0';
    return len_;
  }

 private:
  char* dst_;
  size_t size_;
  size_t len_ = 0;
};

const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};

void abbreviation(Writer& w, const char* name) {
  for (int i = 0; i < 3 && name[i]; ++i) w.put(name[i]);
}

// ISO 8601 week-based year and week number.
void iso_week(const struct tm* tm, int64_t* year, int* week) {
  int64_t y = tm->tm_year + 1900LL;
  int wday = (tm->tm_wday + 6) % 7;  // Monday 0
  int w = (tm->tm_yday - wday + 10) / 7;
  if (w < 1) {
    --y;
    int days_prev = is_leap(y) ? 366 : 365;
    w = (tm->tm_yday + days_prev - wday + 10) / 7;
  } else if (w == 53) {
    int days = is_leap(y) ? 366 : 365;
    if (tm->tm_yday - wday + 3 >= days) {  // Thursday of this week is in the next year
      ++y;
      w = 1;
    }
  }
  *year = y;
  *week = w;
}

void convert(Writer& w, char c, const struct tm* tm) {
  int64_t year = tm->tm_year + 1900LL;
  int hour12 = tm->tm_hour % 12 == 0 ? 12 : tm->tm_hour % 12;
  int wday = ((tm->tm_wday % 7) + 7) % 7, mon = ((tm->tm_mon % 12) + 12) % 12;
  switch (c) {
    case 'a': abbreviation(w, kDays[wday]); break;
    case 'A': w.text(kDays[wday]); break;
    case 'b':
    case 'h': abbreviation(w, kMonths[mon]); break;
    case 'B': w.text(kMonths[mon]); break;
    case 'c':
      convert(w, 'a', tm), w.put(' '), convert(w, 'b', tm), w.put(' ');
      w.number(tm->tm_mday, 2, ' '), w.put(' '), convert(w, 'T', tm), w.put(' ');
      w.number(year, 0);
      break;
    case 'C': w.number(floor_div(year, 100), 2); break;
    case 'd': w.number(tm->tm_mday, 2); break;
    case 'D': convert(w, 'm', tm), w.put('/'), convert(w, 'd', tm), w.put('/'), convert(w, 'y', tm); break;
    case 'e': w.number(tm->tm_mday, 2, ' '); break;
    case 'F': w.number(year, 4), w.put('-'), convert(w, 'm', tm), w.put('-'), convert(w, 'd', tm); break;
    case 'g':
    case 'G':
    case 'V': {
      int64_t iso_year;
      int week;
      iso_week(tm, &iso_year, &week);
      if (c == 'V') w.number(week, 2);
      else if (c == 'G') w.number(iso_year, 4);
      else w.number(((iso_year % 100) + 100) % 100, 2);
      break;
    }
    case 'H': w.number(tm->tm_hour, 2); break;
    case 'I': w.number(hour12, 2); break;
    case 'j': w.number(tm->tm_yday + 1, 3); break;
    case 'm': w.number(tm->tm_mon + 1, 2); break;
    case 'M': w.number(tm->tm_min, 2); break;
    case 'n': w.put('\n'); break;
    case 'p': w.text(tm->tm_hour < 12 ? "AM" : "PM"); break;
    case 'r': convert(w, 'I', tm), w.put(':'), convert(w, 'M', tm), w.put(':'), convert(w, 'S', tm), w.put(' '), convert(w, 'p', tm); break;
    case 'R': convert(w, 'H', tm), w.put(':'), convert(w, 'M', tm); break;
    case 'S': w.number(tm->tm_sec, 2); break;
    case 't': w.put('\t'); break;
    case 'T': convert(w, 'H', tm), w.put(':'), convert(w, 'M', tm), w.put(':'), convert(w, 'S', tm); break;
    case 'u': w.number(wday == 0 ? 7 : wday, 1); break;
    case 'U': w.number((tm->tm_yday + 7 - wday) / 7, 2); break;
    case 'w': w.number(wday, 1); break;
    case 'W': w.number((tm->tm_yday + 7 - (wday + 6) % 7) / 7, 2); break;
    case 'x': convert(w, 'D', tm); break;
    case 'X': convert(w, 'T', tm); break;
    case 'y': w.number(((year % 100) + 100) % 100, 2); break;
    case 'Y': w.number(year, 0); break;
    case 'z': w.text("+0000"); break;
    case 'Z': w.text("UTC"); break;
    case '%': w.put('%'); break;
    default: w.put('%'), w.put(c); break;
  }
}

}  // namespace

extern "C" {

struct tm* gmtime(const time_t* t) {
  static struct tm result;
  return t && to_tm(*t, &result) ? &result : nullptr;
}

struct tm* localtime(const time_t* t) { return gmtime(t); }

time_t mktime(struct tm* tm) {
  // Fields may lie outside their ranges (os.time{month = 14}); they carry into the next.
  int64_t mon = tm->tm_mon;
  int64_t year = tm->tm_year + 1900LL + floor_div(mon, 12);
  mon -= floor_div(mon, 12) * 12;
  int64_t days = days_from_civil(year, mon + 1, 1) + tm->tm_mday - 1;
  int64_t t = days * kSecondsPerDay + tm->tm_hour * 3600LL + tm->tm_min * 60LL + tm->tm_sec;
  struct tm normal;
  if (!to_tm(t, &normal)) return -1;
  *tm = normal;
  return t;
}

double difftime(time_t end, time_t start) { return static_cast<double>(end - start); }

size_t strftime(char* dst, size_t size, const char* format, const struct tm* tm) {
  Writer w(dst, size);
  for (const char* f = format; *f; ++f) {
    if (*f != '%' || !f[1]) {
      w.put(*f);
      continue;
    }
    ++f;
    if ((*f == 'E' || *f == 'O') && f[1]) ++f;  // the C locale has no alternative forms
    convert(w, *f, tm);
  }
  return w.finish();
}

}  // extern "C"
