// Decimal numerals to doubles, correctly rounded (half to even) for any number of digits,
// so that tonumber(string.format("%.17g", x)) == x holds. Short numerals take the exact
// fast path; the rest go through a big integer.

#include <stdint.h>

#include "bignum.h"
#include "norriklua_port.h"

namespace {

constexpr int kMaxDigits = 780;  // more never changes the rounding: the rest is a sticky bit

double from_bits(uint64_t b) {
  double x;
  __builtin_memcpy(&x, &b, sizeof x);
  return x;
}

// q * 2^e2 rounded to a double, with 'sticky' telling that bits below q were dropped.
double make_double(uint64_t q, int e2, bool sticky) {
  if (q == 0) return 0.0;
  while (!(q >> 63)) {
    q <<= 1;
    --e2;
  }
  int top = e2 + 63;  // the value lies in [2^top, 2^(top+1))
  if (top > 1023) return from_bits(0x7ffull << 52);
  int keep = top >= -1022 ? 53 : 53 - (-1022 - top);
  if (keep < 0) return 0.0;
  int drop = 64 - keep;
  uint64_t mant = drop >= 64 ? 0 : q >> drop;
  uint64_t rest = drop >= 64 ? q : q & ((uint64_t{1} << drop) - 1);
  uint64_t half = drop >= 64 ? 0 : uint64_t{1} << (drop - 1);
  bool up = drop >= 64 ? false
                       : (rest > half || (rest == half && (sticky || (mant & 1))));
  if (drop == 64 && q > (uint64_t{1} << 63)) up = true;  // just above half the smallest
  mant += up;
  // mant * 2^(top - keep + 1), with a carry possibly making it 2^keep.
  int exp = top - keep + 1;
  if (mant >> 53) {
    mant >>= 1;
    ++exp;
  }
  if (mant == 0) return 0.0;
  if (mant < (uint64_t{1} << 52)) return from_bits(mant);  // subnormal: exp is -1074
  int field = exp + 1075;  // biased exponent of mant's leading bit
  if (field >= 0x7ff) return from_bits(0x7ffull << 52);
  return from_bits((static_cast<uint64_t>(field) << 52) | (mant & ((uint64_t{1} << 52) - 1)));
}

double big_value(const char* digits, int count, int exponent, bool sticky) {
  nklua::BigNum n;
  n.set(0);
  for (int i = 0; i < count; ++i) {
    if (n.is_zero()) n.set(static_cast<uint64_t>(digits[i] - '0'));
    else n.mul_small(10, static_cast<uint32_t>(digits[i] - '0'));
  }
  if (sticky) {  // a nonzero digit beyond the kept ones
    n.mul_small(10, 1);
    --exponent;
  }
  if (n.is_zero()) return 0.0;
  if (count + exponent > 310) return from_bits(0x7ffull << 52);
  if (count + exponent < -330) return 0.0;
  if (exponent >= 0) {
    n.mul_pow10(exponent);
    int len = n.bit_length();
    int low = len > 64 ? len - 64 : 0;
    bool below;
    uint64_t q = n.bits_from(low, &below);
    return make_double(q, low, below);
  }
  nklua::BigNum d;
  d.set(1);
  d.mul_pow10(-exponent);
  // q = floor(n * 2^s / d) with 63 or 64 significant bits; the remainder is the sticky bit.
  int s = d.bit_length() - n.bit_length() + 63;
  if (s < 0) s = 0;
  n.shift_left(s);
  int shift = n.bit_length() - d.bit_length();
  nklua::BigNum divisor = d;
  if (shift > 0) divisor.shift_left(shift);
  uint64_t q = 0;
  for (int i = shift; i >= 0; --i) {
    q <<= 1;
    if (n.compare(divisor) >= 0) {
      n.subtract(divisor);
      q |= 1;
    }
    divisor.shift_right_one();
  }
  return make_double(q, -s, !n.is_zero());
}

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

extern "C" double nklua_strtod(const char* s, char** end) {
  const char* p = s;
  while (is_space(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  static char digits[kMaxDigits];
  int count = 0, exponent = 0;
  bool any = false, sticky = false;
  uint64_t small = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    any = true;
    if (count == 0 && *p == '0') continue;
    if (count < kMaxDigits) {
      digits[count++] = *p;
      if (count <= 19) small = small * 10 + static_cast<uint64_t>(*p - '0');
    } else {
      ++exponent;
      sticky |= *p != '0';
    }
  }
  if (*p == '.') {
    ++p;
    for (; *p >= '0' && *p <= '9'; ++p) {
      any = true;
      if (count == 0 && *p == '0') {
        --exponent;
        continue;
      }
      if (count < kMaxDigits) {
        digits[count++] = *p;
        if (count <= 19) small = small * 10 + static_cast<uint64_t>(*p - '0');
        --exponent;
      } else {
        sticky |= *p != '0';
      }
    }
  }
  if (!any) {
    if (end) *end = const_cast<char*>(s);
    return 0.0;
  }
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    bool eneg = false;
    if (*q == '+' || *q == '-') eneg = *q++ == '-';
    if (*q >= '0' && *q <= '9') {
      long e = 0;
      for (; *q >= '0' && *q <= '9'; ++q)
        if (e < 100000) e = e * 10 + (*q - '0');
      exponent += static_cast<int>(eneg ? -e : e);
      p = q;
    }
  }
  if (end) *end = const_cast<char*>(p);
  double value;
  static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                      1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (count == 0) {
    value = 0.0;
  } else if (!sticky && count <= 15 && exponent >= -22 && exponent <= 22) {
    // Both operands exact, so the one rounding of the product or quotient is the right one.
    double m = static_cast<double>(small);
    value = exponent >= 0 ? m * kPow10[exponent] : m / kPow10[-exponent];
  } else {
    value = big_value(digits, count, exponent, sticky);
  }
  return negative ? -value : value;
}
