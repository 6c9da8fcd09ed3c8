/* Where newlib 3.3.0 and glibc once parted: hexadecimal strtod and strtof with exponents
   past 32 bits or more significant bits than the type keeps; printf's digits of doubles
   past the 42nd, and its result after an earlier error on the stream; strftime's %Y and
   %F in early years. Built natively too: the lines must be the same. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static void double_of(const char *text) {
  char *end;
  double value = strtod(text, &end);
  uint64_t bits;
  memcpy(&bits, &value, sizeof bits);
  printf("strtod %s: %016llx, %d characters\n", text, (unsigned long long)bits, (int)(end - text));
}

static void float_of(const char *text) {
  char *end;
  float value = strtof(text, &end);
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  printf("strtof %s: %08x, %d characters\n", text, (unsigned)bits, (int)(end - text));
}

int main(void) {
  static const char *const doubles[] = {
      /* exponents past 32 bits saturate: infinity or zero, never a wrapped exponent */
      "0x1p4294967296", "0x1p2147483648", "-0x1.8p+99999999999", "0x1p-9999999999999999999",
      "0x1p-4294967296", "0xffffp-18446744073709551616", "0x.0001p4294967300",
      /* rounding: a tie goes to even, anything above it (the bit just below half
         included) goes up */
      "0x1.92620A51FeE6ccp0", "0x1.0000000000000cp0", "0x1.00000000000008p0",
      "0x1.00000000000018p0", "0x1.000000000000080001p0", "0x1.fffffffffffffcp1023",
      "0x3p-1076", "0x1.4p-1074", "0x1.8p-1074", "0x1.cp-1075"};
  for (size_t i = 0; i < sizeof doubles / sizeof *doubles; ++i) double_of(doubles[i]);
  static const char *const floats[] = {"0x1.0000018p0", "0x1.0000008p0", "0x1.000003p0",
                                       "0x1p4294967296", "0x1.fffffep127"};
  for (size_t i = 0; i < sizeof floats / sizeof *floats; ++i) float_of(floats[i]);

  /* Exact digits, however many are asked for. */
  printf("%.99f\n%.99f\n", 1e308, -(0x1p-1022));
  printf("%.60e|%.40f|%.45g|%#.50g|%.0f\n", 1.0 / 3, 0.1, 2.0 / 3, 1e23, 0x1p200);
  printf("%.20Lf|%.15Le\n", 1.0L / 4, 1234.5L);

  /* An earlier error on a stream (reading one opened for writing) does not make a
     later fprintf that succeeds report failure. */
  FILE *file = fopen("error.txt", "w");
  int read_result = fgetc(file);
  int had_error = ferror(file) != 0;
  int written = fprintf(file, "%d", 42);
  printf("fgetc %d (error %d), then fprintf %d (error %d)\n", read_result, had_error, written,
         ferror(file) != 0);
  fclose(file);

  static const int years[] = {1, 9, 99, 999, 1000, 2024, 9999, 10000, 123456, 0, -1, -999, -10000};
  for (size_t i = 0; i < sizeof years / sizeof *years; ++i) {
    struct tm date;
    memset(&date, 0, sizeof date);
    date.tm_year = years[i] - 1900;
    date.tm_mday = 1;
    char iso[64], parts[64];
    strftime(iso, sizeof iso, "%F", &date);
    strftime(parts, sizeof parts, "%Y-%m-%d", &date);
    printf("year %d: %%F %s, %%Y-%%m-%%d %s\n", years[i], iso, parts);
  }
  return 0;
}
