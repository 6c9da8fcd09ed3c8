// The formatting engine behind snprintf and vsnprintf. It knows a fixed, small set of
// conversions, steps over flags it does not use, prints integers as 32 bits and floating
// point with six truncated decimals. Characters go straight into the caller's buffer; the
// count keeps rising after the buffer is full so that callers can detect truncation.

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>

namespace {

constexpr char kLowerDigits[] = "0123456789abcdef";
constexpr char kUpperDigits[] = "0123456789ABCDEF";

struct Output {
  char* cursor;
  uint64_t capacity;  // one byte is always kept for the final NUL
  uint32_t count;     // characters produced, stored or not
};

void append_char(Output& out, char c) {
  if (out.capacity >= 2) {
    *out.cursor++ = c;
    --out.capacity;
  }
  ++out.count;
}

void append_string(Output& out, const char* s) {
  if (s == nullptr) s = "(null)";
  while (*s) append_char(out, *s++);
}

void append_unsigned(Output& out, uint32_t value, uint32_t base, bool upper) {
  const char* digits = upper ? kUpperDigits : kLowerDigits;
  char reversed[32];
  int n = 0;
  do {
    reversed[n++] = digits[value % base];
    value /= base;
  } while (value != 0);
  while (n > 0) append_char(out, reversed[--n]);
}

// Nine decimal digits, leading zeros included: an inner group of a long number.
void append_group(Output& out, uint32_t group) {
  for (uint32_t scale = 100000000; scale != 0; scale /= 10) append_char(out, char('0' + group / scale % 10));
}

uint64_t bits_of(double x) { return __builtin_bit_cast(uint64_t, x); }

constexpr int kMantissaBits = 52;
constexpr int kExponentBias = 1023;
constexpr uint64_t kMantissaMask = (uint64_t{1} << kMantissaBits) - 1;

int binary_exponent(double x) { return int((bits_of(x) >> kMantissaBits) & 0x7FF) - kExponentBias; }

// x with its fraction bits cleared, for a finite x >= 1.
double integral_part(double x) {
  int exponent = binary_exponent(x);
  if (exponent >= kMantissaBits) return x;
  uint64_t fraction_mask = kMantissaMask >> exponent;
  return __builtin_bit_cast(double, bits_of(x) & ~fraction_mask);
}

// The integral part of a finite x of 2^31 or more, exactly. The value (below 2^1024) is
// held in 32-bit limbs and divided down by 10^9 into groups of nine digits.
void append_large_integral(Output& out, double x) {
  constexpr uint32_t kGroupScale = 1000000000;
  uint32_t limbs[33];   // 2^1024 needs 32; one more for the shift below
  uint32_t groups[35];  // 10^309 > 2^1024
  uint64_t mantissa = (bits_of(x) & kMantissaMask) | (uint64_t{1} << kMantissaBits);
  int shift = binary_exponent(x) - kMantissaBits;
  if (shift < 0) {
    mantissa >>= -shift;
    shift = 0;
  }
  int word = shift / 32;
  int bit = shift % 32;
  for (int i = 0; i < word; ++i) limbs[i] = 0;
  uint64_t low = mantissa << bit;
  uint64_t high = bit == 0 ? 0 : mantissa >> (64 - bit);
  limbs[word] = uint32_t(low);
  limbs[word + 1] = uint32_t(low >> 32);
  limbs[word + 2] = uint32_t(high);
  int used = word + 3;
  int group_count = 0;
  while (used > 0) {
    while (used > 0 && limbs[used - 1] == 0) --used;
    if (used == 0) break;
    uint64_t rest = 0;
    for (int i = used - 1; i >= 0; --i) {
      uint64_t current = (rest << 32) | limbs[i];
      limbs[i] = uint32_t(current / kGroupScale);
      rest = current % kGroupScale;
    }
    groups[group_count++] = uint32_t(rest);
  }
  append_unsigned(out, groups[group_count - 1], 10, false);
  for (int i = group_count - 2; i >= 0; --i) append_group(out, groups[i]);
}

// Fixed notation, six decimals, truncated. Below 2^31 the integral part goes through a
// 32-bit integer; larger magnitudes, which that cannot hold, are printed digit for digit,
// and infinities and NaN print as "inf" and "nan".
void append_fixed(Output& out, double x) {
  if (x < 0) {
    append_char(out, '-');
    x = -x;
  }
  if (x != x) return append_string(out, "nan");
  if (x == __builtin_inf()) return append_string(out, "inf");
  double fraction;
  if (x < 2147483648.0) {
    int32_t integral = int32_t(x);
    append_unsigned(out, uint32_t(integral), 10, false);
    fraction = x - integral;
  } else {
    append_large_integral(out, x);
    fraction = x - integral_part(x);
  }
  append_char(out, '.');
  for (int i = 0; i < 6; ++i) {
    fraction *= 10.0;
    int32_t digit = int32_t(fraction);
    append_char(out, char('0' + digit));
    fraction -= digit;
  }
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_length_modifier(char c) { return c == 'h' || c == 'l' || c == 't' || c == 'z'; }

// Width, precision and length modifiers are read only to be stepped over.
const char* skip_modifiers(const char* p) {
  while (is_digit(*p)) ++p;
  if (*p == '.') {
    ++p;
    while (is_digit(*p)) ++p;
  }
  while (is_length_modifier(*p)) ++p;
  return p;
}

// Integers take a whole 64-bit slot whatever their declared size; only the low 32 bits
// are printed.
uint32_t next_integer(va_list& args) { return uint32_t(va_arg(args, uint64_t)); }

}  // namespace

int vsnprintf(char* dst, size_t n, const char* format, va_list caller_args) {
  // A va_list parameter is only a pointer; a copy can be handed on by reference.
  va_list args;
  va_copy(args, caller_args);
  Output out{dst, n, 0};
  if (n != 0) dst[0] = 0;
  const char* p = format ? format : "";
  while (*p) {
    if (*p != '%') {
      append_char(out, *p++);
      continue;
    }
    ++p;
    if (*p == '%') {
      append_char(out, '%');
      ++p;
      continue;
    }
    p = skip_modifiers(p);
    char conversion = *p;
    if (conversion == 0) {
      append_char(out, '?');
      break;
    }
    ++p;
    switch (conversion) {
      case 'c':
        append_char(out, char(next_integer(args)));
        break;
      case 'd':
      case 'i':
      case 'I': {
        int32_t value = int32_t(next_integer(args));
        if (value < 0) append_char(out, '-');
        append_unsigned(out, value < 0 ? 0u - uint32_t(value) : uint32_t(value), 10, false);
        break;
      }
      case 'u':
        append_unsigned(out, next_integer(args), 10, false);
        break;
      case 'x':
      case 'X':
        append_unsigned(out, next_integer(args), 16, conversion == 'X');
        break;
      case 'p':
        append_string(out, "0x");
        append_unsigned(out, uint32_t(reinterpret_cast<uintptr_t>(va_arg(args, void*))), 16, false);
        break;
      case 's':
        append_string(out, va_arg(args, const char*));
        break;
      case 'f':
        append_fixed(out, va_arg(args, double));
        break;
      default:
        append_char(out, '?');
        break;
    }
  }
  va_end(args);
  if (n != 0) *out.cursor = 0;
  return int(out.count);
}

int snprintf(char* dst, size_t n, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int produced = vsnprintf(dst, n, format, args);
  va_end(args);
  return produced;
}
