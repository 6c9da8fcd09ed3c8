// Mathematical functions from the four basic operations and conversions to integers. Some
// are short fixed approximations (the square-root loop, the logarithm series) whose exact
// results programs see, so every operation below stays in its written order: nothing may be
// contracted into a fused multiply-add or replaced by an instruction with other results.

#include <math.h>
#include <stdint.h>

#include "stdlib/float_bits.h"

#pragma clang fp contract(off)

namespace {

constexpr double kTwoTo31 = 2147483648.0;
constexpr double kTwoTo52 = 4503599627370496.0;
constexpr double kTwoTo63 = 9223372036854775808.0;
constexpr double kLn2 = 0.6931471805599453;

// The fixed count of Newton steps reaches the root from its starting value only between
// about 2e-12 and 4.7e11; these bounds lie inside that range.
constexpr double kNewtonLow = 0x1p-38;
constexpr double kNewtonHigh = 0x1p38;
constexpr int kNewtonSteps = 24;

// A quotient truncates into a signed 32-bit integer when it lies strictly between these.
bool fits_int32(double q) { return q > -kTwoTo31 - 1.0 && q < kTwoTo31; }

// x truncated toward zero. Below 2^52 a 64-bit integer holds it (within the 32-bit range
// that is the same as going through a 32-bit one); from 2^52 on every double is integral
// already, and NaN stays NaN.
double truncated(double x) {
  if (!(x < kTwoTo52 && x > -kTwoTo52)) return x;
  return static_cast<double>(static_cast<int64_t>(x));
}

double newton_root(double x) {
  double g = x > 1.0 ? x : 1.0;
  for (int step = 0; step < kNewtonSteps; ++step) {
    double next = (x / g + g) * 0.5;
    if (next == g) break;  // settled: every further step would repeat this one
    g = next;
  }
  return g;
}

// The integer significand and exponent of a finite x: |x| = significand * 2^exponent.
uint64_t integer_significand(double x, int* exponent) {
  uint64_t bits = nk::bits_of(x) & ~nk::kSignBit;
  int field = static_cast<int>(bits >> nk::kFractionBits);
  uint64_t fraction = bits & nk::kFractionField;
  if (field == 0) {
    *exponent = 1 - nk::kExponentBias - nk::kFractionBits;
    return fraction;
  }
  *exponent = field - nk::kExponentBias - nk::kFractionBits;
  return fraction | (uint64_t{1} << nk::kFractionBits);
}

}  // namespace

namespace nk {

// Long division on the significands: shifting the partial remainder by at most 11 bits at a
// time keeps it within 64 bits.
double exact_remainder(double x, double y) {
  if ((bits_of(x) & ~kSignBit) < (bits_of(y) & ~kSignBit)) return x;
  int ex, ey;
  uint64_t mx = integer_significand(x, &ex);
  uint64_t my = integer_significand(y, &ey);
  uint64_t rest = mx % my;
  for (int gap = ex - ey; gap > 0;) {
    int shift = gap < 11 ? gap : 11;
    rest = (rest << shift) % my;
    gap -= shift;
  }
  // Below |y| and a multiple of y's unit: representable, so the product is exact.
  double magnitude = static_cast<double>(rest) * power_of_two(ey);
  return (bits_of(x) & kSignBit) ? -magnitude : magnitude;
}

}  // namespace nk

double ldexp(double x, int n) {
  // A step on zero, infinity or NaN changes nothing, so the steps end there: at most about
  // 2100 of them whatever n is.
  for (; n > 0 && x != 0 && nk::is_finite(x); --n) x = x + x;
  for (; n < 0 && x != 0 && nk::is_finite(x); ++n) x = x * 0.5;
  return x;
}

double frexp(double x, int* exponent) {
  if (exponent) *exponent = 0;
  if (x == 0) return 0.0;
  // No power of two brings infinity into [0.5, 1): it comes back as it is, exponent 0.
  if (nk::is_infinite(x)) return x;
  double m = x > -x ? x : -x;
  int k = 0;
  while (m >= 1.0) {
    m = m * 0.5;
    ++k;
  }
  while (m > 0 && m < 0.5) {
    m = m + m;
    --k;
  }
  if (exponent) *exponent = k;
  return x < 0 ? -m : m;
}

double fmod(double x, double y) {
  if (y == 0) return 0.0;
  double q = x / y;
  if (fits_int32(q)) return x - static_cast<double>(static_cast<int32_t>(q)) * y;
  // A quotient beyond 32 bits: the exact remainder, which no truncated quotient gives.
  if (!nk::is_finite(x) || !nk::is_finite(y)) return nk::quiet_nan();
  return nk::exact_remainder(x, y);
}

double pow(double x, double y) {
  if (!fits_int32(y)) return 0.0;  // outside the 32-bit range, or NaN
  int32_t n = static_cast<int32_t>(y);
  if (static_cast<double>(n) != y) return 0.0;
  if (n == 0) return 1.0;
  // The magnitude as unsigned, so that the most negative n has one.
  uint32_t magnitude = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
  double r = 1.0;
  double b = x;
  while (magnitude != 0) {
    if (magnitude & 1) r = r * b;
    b = b * b;
    magnitude >>= 1;
  }
  return n > 0 ? r : 1.0 / r;
}

double floor(double x) {
  double i = truncated(x);
  return x < i ? i - 1.0 : i;
}

double ceil(double x) {
  double f = floor(x);
  return f < x ? f + 1.0 : f;
}

double trunc(double x) { return x < 0 ? ceil(x) : floor(x); }

double round(double x) {
  double t = trunc(x);
  double d = x - t;
  if (d >= 0.5) return t + 1.0;
  if (d <= -0.5) return t - 1.0;
  return t;
}

namespace {
// Beyond the 64-bit range the nearest 64-bit value; NaN has no nearest integer and gives 0.
int64_t nearest_int64(double x) {
  double sum = x + (x >= 0 ? 0.5 : -0.5);
  if (sum != sum) return 0;
  if (sum >= kTwoTo63) return INT64_MAX;
  if (sum < -kTwoTo63) return INT64_MIN;
  return static_cast<int64_t>(sum);
}
}  // namespace

long lround(double x) { return nearest_int64(x); }
long long llround(double x) { return nearest_int64(x); }

double sqrt(double x) {
  if (x <= 0) return 0.0;
  if (x >= kNewtonLow && x <= kNewtonHigh) return newton_root(x);
  if (!nk::is_finite(x)) return x;  // +infinity, NaN
  // Far from 1 the steps run out before they reach the root. x = m * 4^k with m in [1, 4):
  // the root of m settles within the steps, and scaling it by 2^k is exact.
  int k = nk::binary_exponent(x) >> 1;  // floor(e / 2): arithmetic shift
  double m = x * nk::power_of_two(-k) * nk::power_of_two(-k);
  return newton_root(m) * nk::power_of_two(k);
}

double log(double x) {
  if (x <= 0) return -nk::infinity();
  if (nk::is_infinite(x)) return x;  // the halving below would never end
  int k = 0;
  while (x > 1.5) {
    x = x * 0.5;
    ++k;
  }
  while (x < 0.75) {
    x = x + x;
    --k;
  }
  double s = (x - 1.0) / (x + 1.0);
  double s2 = s * s;
  // atanh(s) = s + s^3/3 + ... + s^19/19: ten terms, no more.
  double sum = 0.0;
  double term = s;
  double denominator = 1.0;
  for (int i = 0; i < 10; ++i) {
    sum = sum + term / denominator;
    denominator = denominator + 2.0;
    term = term * s2;
  }
  return (sum + sum) + k * kLn2;
}

double fabs(double x) { return -x > x ? -x : x; }

int nk_math_isfinite(double x) { return nk::is_finite(x) ? 1 : 0; }
int isfinite(double x) { return nk_math_isfinite(x); }

int nk_math_isfinitef(float x) {
  return static_cast<int32_t>(nk::bits_of(x) & 0x7FFFFFFF) < 0x7F800000 ? 1 : 0;
}

// The x87 80-bit format: a 64-bit significand with an explicit integer bit, then sign and a
// 15-bit exponent; an encoding with a non-zero exponent and a clear integer bit is invalid.
int nk_math_isfinitel(long double x) {
  struct X87 {
    uint64_t significand;
    uint16_t sign_exponent;
    uint16_t padding[3];
  };
  X87 v = __builtin_bit_cast(X87, x);
  int exponent = v.sign_exponent & 0x7FFF;
  if (exponent == 0) return 1;
  if (exponent == 0x7FFF) return 0;
  return static_cast<int>(v.significand >> 63);
}

// Single precision: widen, compute in double, narrow (for floor and fmod that is exactly the
// single-precision algorithm too, as every float is a double). fabsf stays in single precision.
float ldexpf(float x, int n) { return static_cast<float>(ldexp(x, n)); }
float frexpf(float x, int* exponent) { return static_cast<float>(frexp(x, exponent)); }
float fmodf(float x, float y) { return static_cast<float>(fmod(x, y)); }
float powf(float x, float y) { return static_cast<float>(pow(x, y)); }
float floorf(float x) { return static_cast<float>(floor(x)); }
float ceilf(float x) { return static_cast<float>(ceil(x)); }
float truncf(float x) { return static_cast<float>(trunc(x)); }
float sqrtf(float x) { return static_cast<float>(sqrt(x)); }
float logf(float x) { return static_cast<float>(log(x)); }
float fabsf(float x) { return -x > x ? -x : x; }
