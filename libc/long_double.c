/* long double (the x87's 64-bit significand) mathematics, which newlib does not have for
   x86-64 (its sqrtl and hypotl are wrong for large arguments). Exact operations use the
   x87's own instructions and are correctly rounded: sqrtl, rounding to integers, fmodl, remainderl,
   remquol, ldexpl, scalbnl, frexpl, logbl, ilogbl, modfl, fabsl, copysignl, fdiml, fmaxl,
   fminl, nextafterl. Logarithms, exponentials and trigonometric functions use the x87's
   transcendental instructions with care at the edges; the rest is built from those, within
   a few units in the last place for ordinary arguments. powl computes 2^(y log2 x), whose
   rounding costs a relative error of about 2^-64 times the result's binary exponent: some
   units for results near 1, about 2^-50 near the ends of the range (still within double's
   precision); integral powers up to 64 are products. sinl, cosl and tanl use the x87's
   reduction, whose pi has 66 bits: near large multiples of pi they are accurate to a few
   units of double. Arguments of 2^63 and beyond are reduced as doubles. lgammal, tgammal,
   erfl and erfcl are the double functions; fmal rounds the product before the sum. */
#include <limits.h>
#include <math.h>

typedef long double ld;

static const ld kLn2Hi = 6.93147180369123816490e-01L;  /* 32 bits, so n * kLn2Hi is exact */
static const ld kLn2Lo = 1.90821492927058770002e-10L;
static const ld kLog2E = 1.44269504088896340735992468100189214L;

/* ---- Exact operations ----------------------------------------------------------------- */

/* frndint under the rounding given in the x87 control word's RC bits. */
static ld round_with(ld x, unsigned short rounding) {
  unsigned short saved, wanted;
  __asm__ volatile("fnstcw %0" : "=m"(saved));
  wanted = (unsigned short)((saved & ~0x0C00) | rounding);
  __asm__ volatile("fldcw %2\n\tfrndint\n\tfldcw %3" : "=t"(x) : "0"(x), "m"(wanted), "m"(saved));
  return x;
}

ld floorl(ld x) { return round_with(x, 0x0400); }
ld ceill(ld x) { return round_with(x, 0x0800); }
ld truncl(ld x) { return round_with(x, 0x0C00); }

ld rintl(ld x) {
  __asm__("frndint" : "=t"(x) : "0"(x));
  return x;
}

ld nearbyintl(ld x) { return rintl(x); }

ld roundl(ld x) {
  ld whole = truncl(x);
  if (fabsl(x - whole) >= 0.5L) whole += copysignl(1.0L, x);
  return whole;
}

long lrintl(ld x) {
  long long value;
  __asm__("fistpll %0" : "=m"(value) : "t"(x) : "st");
  return (long)value;
}

long long llrintl(ld x) { return lrintl(x); }
long lroundl(ld x) { return (long)roundl(x); }
long long llroundl(ld x) { return (long long)roundl(x); }

ld fabsl(ld x) { return __builtin_fabsl(x); }

ld sqrtl(ld x) {
  __asm__("fsqrt" : "=t"(x) : "0"(x));
  return x;
}

/* Scaled by a power of two so that the squares neither overflow nor underflow. */
ld hypotl(ld x, ld y) {
  if (isinf(x) || isinf(y)) return HUGE_VALL;  /* even beside a NaN */
  if (isnan(x) || isnan(y)) return x + y;
  x = fabsl(x), y = fabsl(y);
  if (x < y) {
    ld larger = y;
    y = x, x = larger;
  }
  if (y == 0) return x;
  int e = ilogbl(x);
  x = scalbnl(x, -e), y = scalbnl(y, -e);
  return scalbnl(sqrtl(x * x + y * y), e);
}
ld copysignl(ld x, ld y) { return __builtin_copysignl(x, y); }

ld fmodl(ld x, ld y) {
  __asm__("1:\n\tfprem\n\tfnstsw %%ax\n\ttestw $0x400, %%ax\n\tjnz 1b"
          : "=t"(x) : "0"(x), "u"(y) : "ax", "cc");
  return x;
}

/* The IEEE remainder; the x87 leaves the quotient's low three bits in C0, C3, C1. */
static ld ieee_remainder(ld x, ld y, unsigned short *status) {
  unsigned short word;
  __asm__("1:\n\tfprem1\n\tfnstsw %%ax\n\ttestw $0x400, %%ax\n\tjnz 1b\n\tmovw %%ax, %1"
          : "=t"(x), "=m"(word) : "0"(x), "u"(y) : "ax", "cc");
  *status = word;
  return x;
}

ld remainderl(ld x, ld y) {
  unsigned short status;
  return ieee_remainder(x, y, &status);
}

ld remquol(ld x, ld y, int *quotient) {
  unsigned short status;
  ld r = ieee_remainder(x, y, &status);
  int bits = ((status >> 8) & 1) << 2 | ((status >> 14) & 1) << 1 | ((status >> 9) & 1);
  *quotient = signbit(x) != signbit(y) ? -bits : bits;
  return r;
}

ld scalbnl(ld x, int n) {
  ld scale = n;
  __asm__("fscale" : "=t"(x) : "0"(x), "u"(scale));
  return x;
}

ld scalblnl(ld x, long n) {
  if (n > INT_MAX) n = INT_MAX;
  if (n < INT_MIN) n = INT_MIN;
  return scalbnl(x, (int)n);
}

ld ldexpl(ld x, int n) { return scalbnl(x, n); }

/* x = significand * 2^exponent with the significand in [1, 2), for finite non-zero x. */
static ld extract(ld x, ld *exponent) {
  ld significand;
  __asm__("fxtract" : "=t"(significand), "=u"(*exponent) : "0"(x));
  return significand;
}

ld frexpl(ld x, int *exponent) {
  if (x == 0 || isnan(x) || isinf(x)) {
    *exponent = 0;
    return x + x;
  }
  ld e;
  ld m = extract(x, &e);
  *exponent = (int)e + 1;
  return m / 2;
}

ld logbl(ld x) {
  if (x == 0) return -1.0L / fabsl(x);
  if (isnan(x)) return x + x;
  if (isinf(x)) return fabsl(x);
  ld e;
  extract(x, &e);
  return e;
}

int ilogbl(ld x) {
  if (x == 0) return FP_ILOGB0;
  if (isnan(x)) return FP_ILOGBNAN;
  if (isinf(x)) return INT_MAX;
  ld e;
  extract(x, &e);
  return (int)e;
}

ld modfl(ld x, ld *whole) {
  *whole = truncl(x);
  if (isinf(x)) return copysignl(0.0L, x);
  return copysignl(x - *whole, x);
}

ld fdiml(ld x, ld y) {
  if (isnan(x) || isnan(y)) return x + y;
  return x > y ? x - y : 0.0L;
}

ld fmaxl(ld x, ld y) {
  if (isnan(x)) return y;
  if (isnan(y)) return x;
  if (x == y) return signbit(x) ? y : x;
  return x > y ? x : y;
}

ld fminl(ld x, ld y) {
  if (isnan(x)) return y;
  if (isnan(y)) return x;
  if (x == y) return signbit(x) ? x : y;
  return x < y ? x : y;
}

/* The x87 format: a 64-bit significand with its integer bit, then sign and exponent. */
union extended {
  ld value;
  struct {
    unsigned long long significand;
    unsigned short sign_exponent;
  } bits;
};

static const unsigned long long kIntegerBit = 1ULL << 63;

ld nextafterl(ld x, ld y) {
  if (isnan(x) || isnan(y)) return x + y;
  if (x == y) return y;
  union extended u = {x};
  if (x == 0) {
    u.bits.significand = 1;
    u.bits.sign_exponent = signbit(y) ? 0x8000 : 0;
    return u.value;
  }
  unsigned exponent = u.bits.sign_exponent & 0x7FFF;
  if ((x < y) == (x > 0)) {  /* away from zero */
    if (++u.bits.significand == 0 || (exponent == 0 && u.bits.significand == kIntegerBit)) {
      u.bits.significand = kIntegerBit;
      ++u.bits.sign_exponent;  /* may reach infinity, whose significand this is */
    }
  } else if (u.bits.significand == kIntegerBit && exponent > 0) {
    --u.bits.sign_exponent;
    u.bits.significand = exponent > 1 ? ~0ULL : kIntegerBit - 1;
  } else {
    --u.bits.significand;
  }
  return u.value;
}

ld nexttowardl(ld x, ld y) { return nextafterl(x, y); }

double nexttoward(double x, ld y) {
  if (isnan(x) || isnan(y)) return x + (double)y;
  if ((ld)x == y) return (double)y;
  return nextafter(x, (ld)x < y ? INFINITY : -INFINITY);
}

float nexttowardf(float x, ld y) {
  if (isnan(x) || isnan(y)) return x + (float)y;
  if ((ld)x == y) return (float)y;
  return nextafterf(x, (ld)x < y ? INFINITY : -INFINITY);
}

/* ---- Logarithms and exponentials --------------------------------------------------------- */

/* y * log2(x), the x87's fyl2x: NaN for x < 0, -infinity (times y) for 0. */
static ld y_log2(ld x, ld y) {
  __asm__("fyl2x" : "=t"(x) : "0"(x), "u"(y) : "st(1)");
  return x;
}

/* y * log2(1 + x) for |x| < 1 - sqrt(2)/2, accurate for small x. */
static ld y_log2_1p(ld x, ld y) {
  __asm__("fyl2xp1" : "=t"(x) : "0"(x), "u"(y) : "st(1)");
  return x;
}

/* 2^x - 1 for |x| <= 1. */
static ld exp2_m1(ld x) {
  __asm__("f2xm1" : "=t"(x) : "0"(x));
  return x;
}

static const ld kLn2 = 6.93147180559945309417232121458176568e-01L;
static const ld kLog10Of2 = 3.01029995663981195213738894724493027e-01L;

ld log2l(ld x) { return y_log2(x, 1.0L); }
ld logl(ld x) { return y_log2(x, kLn2); }
ld log10l(ld x) { return y_log2(x, kLog10Of2); }

ld log1pl(ld x) {
  if (fabsl(x) < 0.29L) return y_log2_1p(x, kLn2);
  return logl(1.0L + x);
}

/* 2^(n + f) for an integral n and |f| <= 1. */
static ld scaled_exp2(ld n, ld f) {
  return scalbnl(exp2_m1(f) + 1.0L, n > 32768 ? 32768 : n < -32768 ? -32768 : (int)n);
}

ld exp2l(ld x) {
  if (isnan(x)) return x + x;
  if (isinf(x)) return x > 0 ? x : 0.0L;
  ld n = rintl(x);
  return scaled_exp2(n, x - n);
}

ld expl(ld x) {
  if (isnan(x)) return x + x;
  if (isinf(x)) return x > 0 ? x : 0.0L;
  if (fabsl(x) > 12000) return x > 0 ? HUGE_VALL : 0.0L;
  /* x = n ln2 + r with r found in two steps, so that it keeps all its bits. */
  ld n = rintl(x * kLog2E);
  ld r = (x - n * kLn2Hi) - n * kLn2Lo;
  return scaled_exp2(n, r * kLog2E);
}

ld expm1l(ld x) {
  if (fabsl(x) < 0.5L) return exp2_m1(x * kLog2E);
  return expl(x) - 1.0L;
}

static int is_integer(ld y) { return truncl(y) == y; }
static int is_odd_integer(ld y) {
  return is_integer(y) && fabsl(y) < 0x1p64L && fmodl(y, 2.0L) != 0;
}

/* x^n for an integer 0 < n <= 64 by squaring: a few roundings, exact for small results. */
static ld integer_power(ld x, unsigned n) {
  ld result = 1.0L;
  for (; n; n >>= 1, x *= x)
    if (n & 1) result *= x;
  return result;
}

ld powl(ld x, ld y) {
  if (y == 0 || x == 1) return 1.0L;
  if (y == 1) return x;
  if (isnan(x) || isnan(y)) return x + y;
  if (isinf(y)) {
    if (x == -1) return 1.0L;
    return (fabsl(x) < 1) == (y > 0) ? 0.0L : HUGE_VALL;
  }
  if (x == 0) {
    if (y < 0) return is_odd_integer(y) ? 1.0L / x : HUGE_VALL;
    return is_odd_integer(y) ? x : 0.0L;
  }
  if (isinf(x)) {
    if (x > 0) return y > 0 ? x : 0.0L;
    if (y < 0) return is_odd_integer(y) ? -0.0L : 0.0L;
    return is_odd_integer(y) ? x : -x;
  }
  int negative = 0;
  if (x < 0) {
    if (!is_integer(y)) return (x - x) / (x - x);
    negative = is_odd_integer(y);
    x = -x;
  }
  /* The result's binary exponent; its rounding error, relative to the result, is about
     2^-64 times it, which is what exp2l(y log2 x) loses far from 1. */
  ld exponent = y_log2(x, y);
  ld result;
  if (is_integer(y) && fabsl(y) <= 64 && fabsl(exponent) < 16000) {
    result = integer_power(x, (unsigned)fabsl(y));
    if (y < 0) result = 1.0L / result;
  } else {
    result = exp2l(exponent);
  }
  return negative ? -result : result;
}

ld cbrtl(ld x) {
  if (x == 0 || isnan(x) || isinf(x)) return x + x;
  int e;
  ld m = frexpl(fabsl(x), &e);  /* m in [0.5, 1) */
  int r = e % 3;
  if (r < 0) r += 3;
  m = ldexpl(m, r);             /* m in [0.5, 4), e - r a multiple of 3 */
  ld y = cbrt((double)m);
  y -= (y * y * y - m) / (3 * y * y);  /* one Newton step from double's answer */
  return copysignl(ldexpl(y, (e - r) / 3), x);
}

/* ---- Trigonometric and hyperbolic functions ---------------------------------------------- */

static int reducible(ld x) { return fabsl(x) < 0x1p63L; }

ld sinl(ld x) {
  if (!reducible(x)) return isnan(x) || isinf(x) ? (x - x) / (x - x) : sin((double)x);
  __asm__("fsin" : "=t"(x) : "0"(x));
  return x;
}

ld cosl(ld x) {
  if (!reducible(x)) return isnan(x) || isinf(x) ? (x - x) / (x - x) : cos((double)x);
  __asm__("fcos" : "=t"(x) : "0"(x));
  return x;
}

ld tanl(ld x) {
  if (!reducible(x)) return isnan(x) || isinf(x) ? (x - x) / (x - x) : tan((double)x);
  __asm__("fptan\n\tfstp %%st(0)" : "=t"(x) : "0"(x));
  return x;
}

/* atan2(y, x) in the right quadrant, the x87's fpatan. */
ld atan2l(ld y, ld x) {
  __asm__("fpatan" : "=t"(x) : "0"(x), "u"(y) : "st(1)");
  return x;
}

ld atanl(ld x) { return atan2l(x, 1.0L); }

ld asinl(ld x) {
  if (fabsl(x) > 1) return (x - x) / (x - x);
  return atan2l(x, sqrtl((1.0L - x) * (1.0L + x)));
}

ld acosl(ld x) {
  if (fabsl(x) > 1) return (x - x) / (x - x);
  return atan2l(sqrtl((1.0L - x) * (1.0L + x)), x);
}

ld sinhl(ld x) {
  ld a = fabsl(x);
  if (a < 0x1p-32L) return x;
  ld result;
  if (a < 22) {
    ld t = expm1l(a);
    result = (t + t / (t + 1.0L)) / 2;
  } else {
    ld half = expl(a / 2);  /* e^a / 2 without overflowing before the end */
    result = half * (half / 2);
  }
  return copysignl(result, x);
}

ld coshl(ld x) {
  ld a = fabsl(x);
  if (a < 22) {
    ld t = expl(a);
    return (t + 1.0L / t) / 2;
  }
  ld half = expl(a / 2);
  return half * (half / 2);
}

ld tanhl(ld x) {
  ld a = fabsl(x);
  ld result;
  if (a < 0x1p-32L) return x;
  if (a > 24)
    result = 1.0L;
  else if (a < 0.55L) {
    ld t = expm1l(2 * a);
    result = t / (t + 2.0L);
  } else {
    result = 1.0L - 2.0L / (expm1l(2 * a) + 2.0L);
  }
  return copysignl(result, x);
}

ld asinhl(ld x) {
  ld a = fabsl(x);
  ld result;
  if (a < 0x1p-32L || isnan(x) || isinf(x)) return x;
  if (a > 0x1p32L)
    result = logl(a) + kLn2;
  else
    result = log1pl(a + a * a / (1.0L + sqrtl(1.0L + a * a)));
  return copysignl(result, x);
}

ld acoshl(ld x) {
  if (x < 1) return (x - x) / (x - x);
  if (x > 0x1p32L) return isinf(x) ? x : logl(x) + kLn2;
  ld t = x - 1.0L;
  return log1pl(t + sqrtl(2 * t + t * t));
}

ld atanhl(ld x) {
  ld a = fabsl(x);
  if (a > 1) return (x - x) / (x - x);
  if (a == 1) return x / 0.0L;
  return copysignl(log1pl(2 * a / (1.0L - a)) / 2, x);
}

/* ---- Special functions, as doubles -------------------------------------------------------- */

ld erfl(ld x) { return erf((double)x); }
ld erfcl(ld x) { return erfc((double)x); }
ld lgammal(ld x) { return lgamma((double)x); }
ld tgammal(ld x) { return tgamma((double)x); }
ld fmal(ld x, ld y, ld z) { return x * y + z; }
