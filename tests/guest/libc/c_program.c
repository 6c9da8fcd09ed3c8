/* An ordinary ISO C program: formatted output and input, sorting, strings, setjmp, time
   formatting, maths, and an exit from deep calls with atexit handlers. It builds natively
   too; both runs must print the same and end with the same status. */
#include <ctype.h>
#include <errno.h>
#include <float.h>
#include <inttypes.h>
#include <limits.h>
#include <math.h>
#include <setjmp.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static int compare_ints(const void *a, const void *b) {
  int x = *(const int *)a, y = *(const int *)b;
  return (x > y) - (x < y);
}

static void formats(void) {
  printf("[%5d|%-5d|%05d|%+d|% d]\n", 42, 42, 42, 42, 42);
  printf("[%lld|%llu|%llx|%#o|%#X]\n", LLONG_MIN, ULLONG_MAX, 0x123456789abcdefULL, 8, 255u);
  printf("[%" PRId64 "|%" PRIu32 "|%zu|%td|%jd]\n", INT64_MIN, UINT32_MAX, (size_t)77,
         (ptrdiff_t)-5, (intmax_t)123456789012345);
  printf("[%.3s|%10s|%-10s|%c%c]\n", "abcdef", "right", "left", 'o', 'k');
  printf("[%g|%g|%g|%g|%g]\n", 0.0001, 123456789.0, 1e-300, 100.0, 1.5e300);
  printf("[%e|%.0e|%E|%.10e]\n", 3.14159, 2.5, -1e100, 1.0 / 3);
  printf("[%f|%.2f|%10.4f|%-10.1f|%.0f]\n", M_PI, 2.675, -1.5, 9.99, 0.5);
  printf("[%.17g|%.17g|%.17g]\n", 0.1, DBL_MAX, DBL_MIN);
  printf("[%a|%A]\n", 1.0, -0.375);
  printf("[%f|%f|%F]\n", INFINITY, -INFINITY, INFINITY);
  printf("[%Lf|%.20Lg]\n", 1.0L / 3, 2.0L / 3);
  printf("[%hhd|%hd|%ld]\n", (signed char)300, (short)70000, LONG_MAX);
  int count = 0;
  printf("abc%n|", &count);
  printf("%d\n", count);
  char buffer[16];
  int needed = snprintf(buffer, sizeof buffer, "%s-%d-%s", "truncated", 12345, "output");
  printf("[%s|%d]\n", buffer, needed);
}

static void scanning(void) {
  int day, year;
  char month[16];
  double value;
  unsigned hex;
  char rest[32];
  int got = sscanf("25 December 2023 3.25e2 ff tail", "%d %15s %d %lf %x %31s", &day, month,
                   &year, &value, &hex, rest);
  printf("sscanf %d: %d %s %d %g %u %s\n", got, day, month, year, value, hex, rest);
  char word[8];
  int n = -1;
  got = sscanf("  key=value;", " %7[a-z]=%n", word, &n);
  printf("sscanf %d: %s %d\n", got, word, n);
  printf("strtod %.17g %.17g %g\n", strtod("0x1.8p1", NULL), strtod("1e-320", NULL),
         strtod("inf", NULL));
  char *end;
  errno = 0;
  long big = strtol("99999999999999999999", &end, 10);
  printf("strtol %ld %s\n", big, errno == ERANGE ? "ERANGE" : "no error");
  printf("strtoul %lu %lu\n", strtoul("0777", NULL, 0), strtoul("0x1f", NULL, 0));
}

static void strings_and_sorting(void) {
  int numbers[] = {42, -7, 19, 0, 1000, -300, 19, 5};
  size_t count = sizeof numbers / sizeof numbers[0];
  qsort(numbers, count, sizeof numbers[0], compare_ints);
  for (size_t i = 0; i < count; ++i) printf("%d%c", numbers[i], i + 1 < count ? ' ' : '\n');
  int key = 19;
  int *found = bsearch(&key, numbers, count, sizeof numbers[0], compare_ints);
  printf("bsearch %d\n", found ? *found : -1);
  char text[] = "alpha, beta;gamma  delta";
  for (char *token = strtok(text, " ,;"); token; token = strtok(NULL, " ,;"))
    printf("<%s>", token);
  printf("\n");
  char copy[32] = "abc";
  strncat(copy, "defghij", 3);
  printf("%s %zu %s %s\n", copy, strcspn("hello world", "ow"), strrchr("a/b/c", '/'),
         strstr("haystack", "st"));
  printf("%d %d %c %c\n", isalpha('x') != 0, ispunct('!') != 0, toupper('q'), tolower('Q'));
  div_t d = div(-17, 5);
  printf("div %d %d labs %ld\n", d.quot, d.rem, labs(-123456789L));
}

static jmp_buf recovery;

static void fail_deep(int depth) {
  if (depth == 0) longjmp(recovery, 17);
  fail_deep(depth - 1);
}

static void time_and_maths(void) {
  if (setjmp(recovery) == 0) {
    fail_deep(50);
  } else {
    printf("longjmp came back\n");
  }
  struct tm moment = {.tm_year = 124, .tm_mon = 1, .tm_mday = 29, .tm_hour = 13, .tm_min = 5};
  time_t seconds = mktime(&moment);
  char text[64];
  strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %a %b %j", gmtime(&seconds));
  printf("%s %lld\n", text, (long long)seconds);
  printf("%.15g %.15g %.15g %.15g\n", sin(1.0), exp(1.0), log(10.0), pow(2.0, 0.5));
  printf("%.15g %.15g %.15g %.15g\n", atan2(1.0, -1.0), cbrt(27.0), hypot(3.0, 4.0),
         fmod(10.5, 3.0));
  printf("%g %g %d %d\n", floor(-2.5), round(2.5), isnan(NAN) != 0, isinf(-HUGE_VAL) != 0);
}

static void first_handler(void) { printf("atexit: registered first, runs last\n"); }
static void second_handler(void) { printf("atexit: registered second, runs first\n"); }

static void leave(int depth) {
  if (depth == 0) {
    printf("leaving from deep inside\n");
    exit(3);
  }
  leave(depth - 1);
}

int main(void) {
  setvbuf(stdout, NULL, _IOLBF, 0);
  atexit(first_handler);
  atexit(second_handler);
  formats();
  scanning();
  strings_and_sorting();
  time_and_maths();
  printf("unfinished line, flushed by exit");
  printf("\n");
  leave(20);
  return 0;
}
