// Text to number: strtol and its siblings, strtod and strtof. One fixed grammar, no locale,
// no error reporting: integers wrap modulo 2^64, and a text without a number is recognised
// only by the end pointer staying at the start.

#include <stdint.h>
#include <stdlib.h>

#include "stdlib/exact_scaling.h"
#include "stdlib/float_bits.h"

#pragma clang fp contract(off)

namespace {

constexpr unsigned kNoDigit = ~0u;

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_decimal(char c) { return c >= '0' && c <= '9'; }

unsigned digit_value(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'z') return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned>(c - 'A' + 10);
  return kNoDigit;
}

const char* skip_space_and_sign(const char* p, bool* negative) {
  while (is_space(*p)) ++p;
  *negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  return p;
}

void store_end(char** end, const char* p) {
  if (end) *end = const_cast<char*>(p);
}

// The integer conversions differ only in whether a base outside 2..36 is refused; otherwise
// a digit counts while its value, as a signed number, is below the base.
uint64_t parse_integer(const char* s, char** end, int base, bool check_base) {
  bool negative;
  const char* p = skip_space_and_sign(s, &negative);
  bool hex_prefix = p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
  if (base == 16) {
    if (hex_prefix) p += 2;
  } else if (base == 0) {
    if (hex_prefix) {
      base = 16;
      p += 2;
    } else {
      base = p[0] == '0' ? 8 : 10;  // the leading 0 is read as an octal digit
    }
  } else if (check_base && (base < 2 || base > 36)) {
    store_end(end, s);
    return 0;
  }
  const char* digits = p;
  uint64_t value = 0;
  for (unsigned d; (d = digit_value(*p)) != kNoDigit && static_cast<int>(d) < base; ++p)
    value = value * static_cast<uint64_t>(base) + d;
  // No digit (a bare "0x" included): no number at all.
  store_end(end, p == digits ? s : p);
  return negative ? 0 - value : value;
}

// Exact powers of ten, as far as a double holds them.
constexpr int kExactPowers = 22;
constexpr double kPowersOfTen[kExactPowers + 1] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// A positive number as hi + lo (|lo| at most half a unit of hi, hi in [1, 2)) times
// 2^exponent: about 106 bits, and a range no double has.
struct Wide {
  double hi;
  double lo;
  int exponent;
};

// 10^(2^i) for i = 0..9, each correctly rounded to hi + lo.
constexpr Wide kBinaryPowersOfTen[] = {
    {0x1.4000000000000p+0, 0x0.0p+0, 3},                      // 10^1
    {0x1.9000000000000p+0, 0x0.0p+0, 6},                      // 10^2
    {0x1.3880000000000p+0, 0x0.0p+0, 13},                     // 10^4
    {0x1.7d78400000000p+0, 0x0.0p+0, 26},                     // 10^8
    {0x1.1c37937e08000p+0, 0x0.0p+0, 53},                     // 10^16
    {0x1.3b8b5b5056e17p+0, -0x1.3107f00000000p-54, 106},      // 10^32
    {0x1.84f03e93ff9f5p+0, -0x1.2ac340948e389p-55, 212},      // 10^64
    {0x1.27748f9301d32p+0, -0x1.901cc86649e4ap-54, 425},      // 10^128
    {0x1.54fdd7f73bf3cp+0, -0x1.7222446fe4670p-55, 850},      // 10^256
    {0x1.c633415d4c1d2p+0, 0x1.c6cc655c54bc5p-55, 1700},      // 10^512
};
// A mantissa lies between 10^-324 and 2 * 10^308, so from 10^700 on every product
// overflows and from 10^-700 on every one underflows.
constexpr int kLargestPower = 700;

// Error-free transformations (Dekker; the platform has no fused multiply-add): the rounded
// result and exactly what the rounding lost. Arguments lie in [1, 4), far from overflow.
struct Exact {
  double value;
  double error;
};

Exact exact_sum(double a, double b) {  // |a| >= |b|
  double s = a + b;
  return {s, b - (s - a)};
}

Exact split(double a) {
  double c = 134217729.0 * a;  // 2^27 + 1
  double hi = c - (c - a);
  return {hi, a - hi};
}

Exact exact_product(double a, double b) {
  double p = a * b;
  Exact x = split(a);
  Exact y = split(b);
  return {p, ((x.value * y.value - p) + x.value * y.error + x.error * y.value) + x.error * y.error};
}

Wide times(const Wide& a, const Wide& b) {
  Exact p = exact_product(a.hi, b.hi);
  Exact s = exact_sum(p.value, p.error + (a.hi * b.lo + a.lo * b.hi));
  Wide r{s.value, s.error, a.exponent + b.exponent};
  if (r.hi >= 2.0) {
    r.hi *= 0.5;
    r.lo *= 0.5;
    ++r.exponent;
  }
  return r;
}

Wide power_of_ten(int n) {  // 0 < n <= kLargestPower
  Wide r{1.0, 0.0, 0};
  for (int i = 0; n != 0; ++i, n >>= 1)
    if (n & 1) r = times(r, kBinaryPowersOfTen[i]);
  return r;
}

// v = m * 2^exponent with m in [1, 2), for a positive finite v.
double significand(double v, int* exponent) {
  *exponent = nk::binary_exponent(v);
  uint64_t bits = nk::bits_of(v);
  if ((bits & nk::kExponentField) == 0) bits = nk::bits_of(v * nk::power_of_two(54));  // subnormal
  return nk::double_from_bits((bits & nk::kFractionField) |
                              (static_cast<uint64_t>(nk::kExponentBias) << nk::kFractionBits));
}

// x * 2^k for any k, for 1 <= |x| < 4: exact while the result is a normal double, rounded
// once more when it overflows or becomes subnormal.
double scale_by_power_of_two(double x, int k) {
  if (k > 1023) {
    x *= nk::power_of_two(1023);
    k -= 1023;
    if (k > 1023) k = 1023;  // anything non-zero overflows anyway
  } else if (k < -1022) {
    x *= nk::power_of_two(-1022);
    k += 1022;
    if (k < -1074) k = -1074;  // anything finite underflows anyway
  }
  return x * nk::power_of_two(k);
}

// Whether r.value + r.error (1 <= r.value < 4, good to about 2^-100) lies so near a halfway
// point between two doubles that the rounding cannot be trusted: the error is then about half
// a unit of r.value, or a quarter where the unit below a power of two is half as large.
bool near_midpoint(Exact r) {
  double unit = r.value >= 2.0 ? 0x1p-51 : 0x1p-52;
  double off = r.error < 0 ? -r.error : r.error;
  double tolerance = 0x1p-80;
  auto near = [&](double target) { return off > target - tolerance && off < target + tolerance; };
  return near(unit / 2) || near(unit / 4);
}

// v * 10^e for a positive finite v, correctly rounded. Up to 10^22 the power is exact and one
// operation rounds once. Beyond, the power is carried to about 106 bits and with its own
// exponent, and the product or quotient is formed to as many bits before it is rounded once;
// near a halfway point, and where a subnormal result rounds a second time, the candidate is
// settled exactly.
double times_power_of_ten(double v, int e) {
  if (e >= 0 && e <= kExactPowers) return v * kPowersOfTen[e];
  if (e < 0 && e >= -kExactPowers) return v / kPowersOfTen[-e];
  if (e > kLargestPower) e = kLargestPower;
  if (e < -kLargestPower) e = -kLargestPower;
  int exponent;
  double m = significand(v, &exponent);
  Wide p = power_of_ten(e > 0 ? e : -e);
  double hi, lo;
  if (e > 0) {
    Exact q = exact_product(m, p.hi);
    hi = q.value;
    lo = q.error + m * p.lo;
    exponent += p.exponent;
  } else {
    hi = m / p.hi;
    Exact back = exact_product(hi, p.hi);
    double rest = ((m - back.value) - back.error) - hi * p.lo;  // m - hi * p, nearly exact
    lo = rest / p.hi;
    exponent -= p.exponent;
    if (hi < 1.0) {
      hi += hi;
      lo += lo;
      --exponent;
    }
  }
  Exact r = exact_sum(hi, lo);
  double result = scale_by_power_of_two(r.value, exponent);
  if (near_midpoint(r) || exponent < -1022) result = nk::nearest_scaled_by_power_of_ten(result, v, e);
  return result;
}

// Exponents past this overflow or underflow every mantissa; the accumulator stops growing
// here, so that an exponent too long for 32 bits saturates instead of wrapping.
constexpr int kExponentLimit = 100000;

}  // namespace

long strtol(const char* s, char** end, int base) {
  return static_cast<long>(parse_integer(s, end, base, true));
}

unsigned long strtoul(const char* s, char** end, int base) {
  return parse_integer(s, end, base, true);
}

unsigned long long strtoull(const char* s, char** end, int base) {
  return parse_integer(s, end, base, false);
}

long long strtoll(const char* s, char** end, int base) {
  return static_cast<long long>(parse_integer(s, end, base, false));
}

double strtod(const char* s, char** end) {
  bool negative;
  const char* p = skip_space_and_sign(s, &negative);
  bool any_digit = false;
  double whole = 0.0;
  for (; is_decimal(*p); ++p) {
    whole = whole * 10.0 + (*p - '0');
    any_digit = true;
  }
  double fraction = 0.0;
  double scale = 1.0;
  if (*p == '.') {
    for (++p; is_decimal(*p); ++p) {
      any_digit = true;
      // After 308 digits the scale would overflow and fraction / scale become infinity /
      // infinity or 0; digits that far down are read but not added.
      if (!nk::is_finite(scale * 10.0)) continue;
      fraction = fraction * 10.0 + (*p - '0');
      scale = scale * 10.0;
    }
  }
  if (!any_digit) {
    store_end(end, s);
    return 0.0;
  }
  double value = whole + fraction / scale;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    bool exponent_negative = *q == '-';
    if (*q == '+' || *q == '-') ++q;
    if (is_decimal(*q)) {
      int exponent = 0;
      for (; is_decimal(*q); ++q)
        if (exponent < kExponentLimit) exponent = exponent * 10 + (*q - '0');
      // Zero stays zero and infinity stays infinity, whatever the power.
      if (value != 0 && nk::is_finite(value))
        value = times_power_of_ten(value, exponent_negative ? -exponent : exponent);
      p = q;
    }
  }
  store_end(end, p);
  return negative ? -value : value;
}

float strtof(const char* s, char** end) { return static_cast<float>(strtod(s, end)); }
