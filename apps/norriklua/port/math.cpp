// Accurate double-precision mathematics for Lua's math library and its ^ and % operators:
// the library's own sin, cos, log and pow are short approximations by contract (pow with a
// fractional exponent gives 0), which scripts cannot live with. The methods are the
// classic fdlibm ones (Sun Microsystems, freely redistributable), within one unit in the
// last place; the native test compares every function with glibc.

#include <stdint.h>

#include "norriklua_port.h"

#pragma clang fp contract(off)

namespace {

uint64_t bits(double x) {
  uint64_t b;
  __builtin_memcpy(&b, &x, sizeof b);
  return b;
}
double from_bits(uint64_t b) {
  double x;
  __builtin_memcpy(&x, &b, sizeof x);
  return x;
}
int32_t high(double x) { return static_cast<int32_t>(bits(x) >> 32); }
uint32_t low(double x) { return static_cast<uint32_t>(bits(x)); }
double with_high(double x, uint32_t h) {
  return from_bits((static_cast<uint64_t>(h) << 32) | low(x));
}
double with_low(double x, uint32_t l) { return from_bits((bits(x) & ~0xFFFFFFFFull) | l); }
double zero_low(double x) { return with_low(x, 0); }

constexpr double kHuge = 1.0e300;
constexpr double kTiny = 1.0e-300;

// ---- exp --------------------------------------------------------------------------

constexpr double kLn2Hi = 6.93147180369123816490e-01;
constexpr double kLn2Lo = 1.90821492927058770002e-10;
constexpr double kInvLn2 = 1.44269504088896338700e+00;
constexpr double P1 = 1.66666666666666019037e-01, P2 = -2.77777777770155933842e-03,
                 P3 = 6.61375632143793436117e-05, P4 = -1.65339022054652515390e-06,
                 P5 = 4.13813679705723846039e-08;

// ---- log kernels ------------------------------------------------------------------

constexpr double Lg1 = 6.666666666666735130e-01, Lg2 = 3.999999999940941908e-01,
                 Lg3 = 2.857142874366239149e-01, Lg4 = 2.222219843214978396e-01,
                 Lg5 = 1.818357216161805012e-01, Lg6 = 1.531383769920937332e-01,
                 Lg7 = 1.479819860511658591e-01;

// x reduced to 1+f in [sqrt(2)/2, sqrt(2)) and k with x = 2^k (1+f); hi + lo = log(1+f).
// Returns false (with the final result in *special) for zero, negatives, inf and nan.
bool log_reduce(double x, int* k, double* hi, double* lo, double* special) {
  uint64_t u = bits(x);
  uint32_t hx = static_cast<uint32_t>(u >> 32);
  *k = 0;
  if (hx < 0x00100000 || hx >> 31) {
    if (u << 1 == 0) {
      *special = -1 / (x * x);
      return false;
    }
    if (hx >> 31) {
      *special = (x - x) / 0.0;
      return false;
    }
    *k -= 54;
    x *= 0x1p54;
    u = bits(x);
    hx = static_cast<uint32_t>(u >> 32);
  } else if (hx >= 0x7ff00000) {
    *special = x;
    return false;
  } else if (hx == 0x3ff00000 && u << 32 == 0) {
    *special = 0;
    return false;
  }
  hx += 0x3ff00000 - 0x3fe6a09e;
  *k += static_cast<int>(hx >> 20) - 0x3ff;
  hx = (hx & 0x000fffff) + 0x3fe6a09e;
  x = from_bits(static_cast<uint64_t>(hx) << 32 | (u & 0xffffffff));
  double f = x - 1.0;
  double hfsq = 0.5 * f * f;
  double s = f / (2.0 + f);
  double z = s * s;
  double w = z * z;
  double t1 = w * (Lg2 + w * (Lg4 + w * Lg6));
  double t2 = z * (Lg1 + w * (Lg3 + w * (Lg5 + w * Lg7)));
  double r = t2 + t1;
  *hi = zero_low(f - hfsq);
  *lo = f - *hi - hfsq + s * (hfsq + r);
  return true;
}

// ---- trigonometric kernels (|x| <= pi/4, y the tail of x) --------------------------

double kernel_sin(double x, double y, bool has_tail) {
  constexpr double S1 = -1.66666666666666324348e-01, S2 = 8.33333333332248946124e-03,
                   S3 = -1.98412698298579493134e-04, S4 = 2.75573137070700676789e-06,
                   S5 = -2.50507602534068634195e-08, S6 = 1.58969099521155010221e-10;
  double z = x * x;
  double v = z * x;
  double r = S2 + z * (S3 + z * (S4 + z * (S5 + z * S6)));
  if (!has_tail) return x + v * (S1 + z * r);
  return x - ((z * (0.5 * y - v * r) - y) - v * S1);
}

double kernel_cos(double x, double y) {
  constexpr double C1 = 4.16666666666666019037e-02, C2 = -1.38888888888741095749e-03,
                   C3 = 2.48015872894767294178e-05, C4 = -2.75573143513906633035e-07,
                   C5 = 2.08757232129817482790e-09, C6 = -1.13596475577881948265e-11;
  double z = x * x;
  double w = z * z;
  double r = z * (C1 + z * (C2 + z * C3)) + w * w * (C4 + z * (C5 + z * C6));
  double hz = 0.5 * z;
  w = 1.0 - hz;
  return w + (((1.0 - w) - hz) + (z * r - x * y));
}

// tan(x + y) for odd == false, -1/tan(x + y) for odd == true.
double kernel_tan(double x, double y, bool odd) {
  static constexpr double T[] = {
      3.33333333333334091986e-01, 1.33333333333201242699e-01,  5.39682539762260521377e-02,
      2.18694882948595424599e-02, 8.86323982359930005737e-03,  3.59207910759131235356e-03,
      1.45620945432529025516e-03, 5.88041240820264096874e-04,  2.46463134818469906812e-04,
      7.81794442939557092300e-05, 7.14072491382608190305e-05,  -1.85586374855275456654e-05,
      2.59073051863633712884e-05};
  constexpr double kPio4 = 7.85398163397448278999e-01, kPio4Lo = 3.06161699786838301793e-17;
  int32_t hx = high(x);
  int32_t ix = hx & 0x7fffffff;
  bool big = ix >= 0x3FE59428;  // |x| >= 0.6744
  if (big) {
    if (hx < 0) {
      x = -x;
      y = -y;
    }
    double z = kPio4 - x;
    double w = kPio4Lo - y;
    x = z + w;
    y = 0.0;
  }
  double z = x * x;
  double w = z * z;
  double r = T[1] + w * (T[3] + w * (T[5] + w * (T[7] + w * (T[9] + w * T[11]))));
  double v = z * (T[2] + w * (T[4] + w * (T[6] + w * (T[8] + w * (T[10] + w * T[12])))));
  double s = z * x;
  r = y + z * (s * (r + v) + y);
  r += T[0] * s;
  w = x + r;
  if (big) {
    v = odd ? -1.0 : 1.0;
    return static_cast<double>(1 - ((hx >> 30) & 2)) * (v - 2.0 * (x - (w * w / (w + v) - r)));
  }
  if (!odd) return w;
  // -1/(x + r) computed accurately.
  z = zero_low(w);
  v = r - (z - x);
  double a = -1.0 / w;
  double t = zero_low(a);
  s = 1.0 + t * z;
  return t + a * (s + t * v);
}

// The binary digits of 2/pi, 64 to a word from the point on: enough for every exponent a
// double can have, with the 256-bit window the reduction below multiplies by.
constexpr uint64_t kTwoOverPi[] = {
    0xa2f9836e4e441529, 0xfc2757d1f534ddc0, 0xdb6295993c439041, 0xfe5163abdebbc561,
    0xb7246e3a424dd2e0, 0x06492eea09d1921c, 0xfe1deb1cb129a73e, 0xe88235f52ebb4484,
    0xe99c7026b45f7e41, 0x3991d639835339f4, 0x9c845f8bbdf9283b, 0x1ff897ffde05980f,
    0xef2f118b5a0a6d1f, 0x6d367ecf27cb09b7, 0x4f463f669e5fea2d, 0x7527bac7ebe5f17b,
    0x3d0739f78a5292ea, 0x6bfb5fb11f8d5d08, 0x56033046fc7b6bab, 0xf0cfbc209af4361d};

// 64 digits of 2/pi starting with the one worth 2^-index (digits before the point are 0).
uint64_t two_over_pi_bits(int index) {
  auto word = [](int w) { return w >= 0 && w < 20 ? kTwoOverPi[w] : 0; };
  int first = index - 1;  // digit position counted from 0
  int w = first >= 0 ? first / 64 : -((63 - first) / 64);
  int shift = first - w * 64;
  if (shift == 0) return word(w);
  return word(w) << shift | word(w + 1) >> (64 - shift);
}

// hi + lo = a * b exactly (Dekker), without a fused multiply-add.
void exact_product(double a, double b, double* hi, double* lo) {
  constexpr double kSplit = 134217729.0;  // 2^27 + 1
  double ca = kSplit * a, cb = kSplit * b;
  double ah = ca - (ca - a), al = a - ah, bh = cb - (cb - b), bl = b - bh;
  *hi = a * b;
  *lo = ((ah * bh - *hi) + ah * bl + al * bh) + al * bl;
}

// Payne and Hanek's reduction for arguments too large for the three-step one: |x| = m 2^e
// times 2/pi, computed exactly modulo 4 from the 256 digits of 2/pi that matter, gives the
// quadrant and 128 bits of the fraction, which then scale by pi/2 in double-double.
int reduce_half_pi_large(double x, double* y0, double* y1) {
  using u128 = unsigned __int128;
  uint64_t u = bits(x);
  uint64_t m = (u & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  int e = static_cast<int>(u >> 52 & 0x7ff) - 1075;
  // Digits worth more than 2^(e-2) multiply m into multiples of 4: start just after them.
  uint64_t w[4];
  for (int k = 0; k < 4; ++k) w[k] = two_over_pi_bits(e - 1 + 64 * k);
  // p = m * window, 5 limbs, most significant first; x 2/pi = p / 2^254 (mod 4).
  uint64_t p[5];
  u128 carry = 0;
  for (int k = 3; k >= 0; --k) {
    u128 t = static_cast<u128>(m) * w[k] + carry;
    p[k + 1] = static_cast<uint64_t>(t);
    carry = t >> 64;
  }
  p[0] = static_cast<uint64_t>(carry);
  // Bits 255..254 are the quadrant, the 128 below them the fraction.
  int n = static_cast<int>(p[1] >> 62 & 3);
  uint64_t fh = p[1] << 2 | p[2] >> 62, fl = p[2] << 2 | p[3] >> 62;
  bool negative = fh >> 63;  // fraction >= 1/2: the next quadrant, from below
  if (negative) {
    ++n;
    fh = ~fh, fl = ~fl;  // 1 - fraction, to within 2^-128
  }
  double sign = negative != (u >> 63) ? -1.0 : 1.0;
  if ((u >> 63) != 0) n = -n;
  if (fh == 0 && fl == 0) {
    *y0 = *y1 = 0;
    return n & 3;
  }
  int shift = fh != 0 ? __builtin_clzll(fh) : 64 + __builtin_clzll(fl);
  if (shift >= 64) fh = fl, fl = 0, shift -= 64;
  if (shift > 0) fh = fh << shift | fl >> (64 - shift), fl <<= shift;
  double scale = nklua_ldexp(1.0, -64 - shift);
  double hi = static_cast<double>(fh & ~uint64_t{0x7ff}) * scale;
  double lo = (static_cast<double>(fh & 0x7ff) + static_cast<double>(fl) * 0x1p-64) * scale;
  // (hi + lo) * pi/2 in double-double.
  constexpr double kPio2Hi = 1.57079632679489655800e+00, kPio2Lo = 6.12323399573676603587e-17;
  double ph, pl;
  exact_product(hi, kPio2Hi, &ph, &pl);
  pl += hi * kPio2Lo + lo * kPio2Hi;
  double r = ph + pl;
  *y0 = sign * r;
  *y1 = sign * (pl - (r - ph));
  return n & 3;
}

// x = n * pi/2 + (y0 + y1), |y0 + y1| <= pi/4; returns n mod 4.
int reduce_half_pi(double x, double* y0, double* y1) {
  constexpr double kInvPio2 = 6.36619772367581382433e-01;
  constexpr double kPio2_1 = 1.57079632673412561417e+00, kPio2_1t = 6.07710050650619224932e-11;
  constexpr double kPio2_2 = 6.07710050630396597660e-11, kPio2_2t = 2.02226624879595063154e-21;
  constexpr double kPio2_3 = 2.02226624871116645580e-21, kPio2_3t = 8.47842766036889956997e-32;
  int32_t ix = high(x) & 0x7fffffff;
  if (ix <= 0x3fe921fb) {  // |x| <= pi/4
    *y0 = x;
    *y1 = 0;
    return 0;
  }
  if (ix >= 0x413921fb) return reduce_half_pi_large(x, y0, y1);  // |x| >= 2^20 pi/2
  double fn = x * kInvPio2 + 0x1.8p52;
  fn = fn - 0x1.8p52;
  int n = static_cast<int>(fn);
  double r = x - fn * kPio2_1;
  double w = fn * kPio2_1t;
  int j = ix >> 20;
  *y0 = r - w;
  int i = j - ((high(*y0) >> 20) & 0x7ff);
  if (i > 16) {  // cancellation: a second step, good to 118 bits
    double t = r;
    w = fn * kPio2_2;
    r = t - w;
    w = fn * kPio2_2t - ((t - r) - w);
    *y0 = r - w;
    i = j - ((high(*y0) >> 20) & 0x7ff);
    if (i > 49) {  // a third, good to 151 bits
      t = r;
      w = fn * kPio2_3;
      r = t - w;
      w = fn * kPio2_3t - ((t - r) - w);
      *y0 = r - w;
    }
  }
  *y1 = (r - *y0) - w;
  return n & 3;
}

constexpr double kPio2Hi = 1.57079632679489655800e+00, kPio2Lo = 6.12323399573676603587e-17;
constexpr double kPi = 3.14159265358979311600e+00;

double asin_ratio(double t) {  // the rational part of asin and acos
  constexpr double pS0 = 1.66666666666666657415e-01, pS1 = -3.25565818622400915405e-01,
                   pS2 = 2.01212532134862925881e-01, pS3 = -4.00555345006794114027e-02,
                   pS4 = 7.91534994289814532176e-04, pS5 = 3.47933107596021167570e-05,
                   qS1 = -2.40339491173441421878e+00, qS2 = 2.02094576023350569471e+00,
                   qS3 = -6.88283971605453293030e-01, qS4 = 7.70381505559019352791e-02;
  double p = t * (pS0 + t * (pS1 + t * (pS2 + t * (pS3 + t * (pS4 + t * pS5)))));
  double q = 1.0 + t * (qS1 + t * (qS2 + t * (qS3 + t * qS4)));
  return p / q;
}

}  // namespace

extern "C" {

double nklua_fabs(double x) { return from_bits(bits(x) & ~(uint64_t{1} << 63)); }

double nklua_sqrt(double x) {
  __asm__("sqrtsd %1, %0" : "=x"(x) : "x"(x));  // correctly rounded by the processor
  return x;
}

double nklua_floor(double x) {
  if (!(nklua_fabs(x) < 0x1p52)) return x;  // integral already, or inf/nan
  double t = static_cast<double>(static_cast<int64_t>(x));
  if (t > x) t -= 1.0;
  return t == 0 ? from_bits(bits(x) & (uint64_t{1} << 63)) : t;
}

double nklua_ceil(double x) {
  if (!(nklua_fabs(x) < 0x1p52)) return x;
  double t = static_cast<double>(static_cast<int64_t>(x));
  if (t < x) t += 1.0;
  return t == 0 ? from_bits(bits(x) & (uint64_t{1} << 63)) : t;
}

double nklua_fmod(double x, double y) {
  uint64_t ux = bits(x), uy = bits(y);
  int ex = static_cast<int>(ux >> 52 & 0x7ff);
  int ey = static_cast<int>(uy >> 52 & 0x7ff);
  uint64_t sx = ux >> 63;
  if (uy << 1 == 0 || (uy << 1) > (0x7ffull << 53) || ex == 0x7ff) return (x * y) / (x * y);
  if (ux << 1 <= uy << 1) return ux << 1 == uy << 1 ? 0 * x : x;
  uint64_t i;
  if (!ex) {
    for (i = ux << 12; i >> 63 == 0; ex--, i <<= 1) {
    }
    ux <<= -ex + 1;
  } else {
    ux &= ~0ull >> 12;
    ux |= 1ull << 52;
  }
  if (!ey) {
    for (i = uy << 12; i >> 63 == 0; ey--, i <<= 1) {
    }
    uy <<= -ey + 1;
  } else {
    uy &= ~0ull >> 12;
    uy |= 1ull << 52;
  }
  for (; ex > ey; ex--) {  // long division, one bit at a time: exact
    i = ux - uy;
    if (i >> 63 == 0) {
      if (i == 0) return 0 * x;
      ux = i;
    }
    ux <<= 1;
  }
  i = ux - uy;
  if (i >> 63 == 0) {
    if (i == 0) return 0 * x;
    ux = i;
  }
  for (; ux >> 52 == 0; ux <<= 1, ex--) {
  }
  if (ex > 0) {
    ux -= 1ull << 52;
    ux |= static_cast<uint64_t>(ex) << 52;
  } else {
    ux >>= -ex + 1;
  }
  return from_bits(ux | sx << 63);
}

double nklua_ldexp(double x, int n) {
  // Two steps at most on each side, so that a subnormal result is rounded once.
  double y = x;
  if (n > 1023) {
    y *= 0x1p1023;
    n -= 1023;
    if (n > 1023) {
      y *= 0x1p1023;
      n -= 1023;
      if (n > 1023) n = 1023;
    }
  } else if (n < -1022) {
    y *= 0x1p-1022 * 0x1p53;
    n += 1022 - 53;
    if (n < -1022) {
      y *= 0x1p-1022 * 0x1p53;
      n += 1022 - 53;
      if (n < -1022) n = -1022;
    }
  }
  return y * from_bits(static_cast<uint64_t>(0x3ff + n) << 52);
}

double nklua_frexp(double x, int* e) {
  uint64_t u = bits(x);
  int ee = static_cast<int>(u >> 52 & 0x7ff);
  if (!ee) {
    if (x) {
      x = nklua_frexp(x * 0x1p64, e);
      *e -= 64;
    } else {
      *e = 0;
    }
    return x;
  }
  if (ee == 0x7ff) {
    *e = 0;
    return x;
  }
  *e = ee - 0x3fe;
  return from_bits((u & 0x800fffffffffffffull) | 0x3fe0000000000000ull);
}

double nklua_exp(double x) {
  constexpr double kOverflow = 7.09782712893383973096e+02;
  constexpr double kUnderflow = -7.45133219101941108420e+02;
  constexpr double kTwoM1000 = 9.33263618503218878990e-302;
  double hi = 0, lo = 0;
  int k = 0;
  uint32_t hx = static_cast<uint32_t>(high(x));
  int xsb = hx >> 31;
  hx &= 0x7fffffff;
  if (hx >= 0x40862E42) {  // |x| >= 709.78
    if (hx >= 0x7ff00000) {
      if (((hx & 0xfffff) | low(x)) != 0) return x + x;
      return xsb == 0 ? x : 0.0;
    }
    if (x > kOverflow) return kHuge * kHuge;
    if (x < kUnderflow) return kTwoM1000 * kTwoM1000;
  }
  if (hx > 0x3fd62e42) {    // |x| > ln2 / 2
    if (hx < 0x3FF0A2B2) {  // and < 1.5 ln2
      hi = xsb ? x + kLn2Hi : x - kLn2Hi;
      lo = xsb ? -kLn2Lo : kLn2Lo;
      k = xsb ? -1 : 1;
    } else {
      k = static_cast<int>(kInvLn2 * x + (xsb ? -0.5 : 0.5));
      double t = k;
      hi = x - t * kLn2Hi;
      lo = t * kLn2Lo;
    }
    x = hi - lo;
  } else if (hx < 0x3e300000) {  // |x| < 2^-28
    return 1.0 + x;
  }
  double t = x * x;
  double c = x - t * (P1 + t * (P2 + t * (P3 + t * (P4 + t * P5))));
  if (k == 0) return 1.0 - ((x * c) / (c - 2.0) - x);
  double y = 1.0 - ((lo - (x * c) / (2.0 - c)) - hi);
  if (k >= -1021) return with_high(y, static_cast<uint32_t>(high(y) + (k << 20)));
  y = with_high(y, static_cast<uint32_t>(high(y) + ((k + 1000) << 20)));
  return y * kTwoM1000;
}

double nklua_log(double x) {
  int k;
  double hi, lo, special;
  if (!log_reduce(x, &k, &hi, &lo, &special)) return special;
  double dk = k;
  // log(1+f) + k ln2, with k ln2 in two parts so that the sum is rounded once.
  double val = hi + lo;
  return dk * kLn2Hi + (val + dk * kLn2Lo);
}

double nklua_log2(double x) {
  constexpr double kIvln2Hi = 1.44269504072144627571e+00, kIvln2Lo = 1.67517131648865118353e-10;
  int k;
  double hi, lo, special;
  if (!log_reduce(x, &k, &hi, &lo, &special)) return special;
  double val_hi = hi * kIvln2Hi;
  double val_lo = (lo + hi) * kIvln2Lo + lo * kIvln2Hi;
  double y = k;
  double w = y + val_hi;
  val_lo += (y - w) + val_hi;
  return val_lo + w;
}

double nklua_log10(double x) {
  constexpr double kIvln10Hi = 4.34294481878168880939e-01, kIvln10Lo = 2.50829467116452752298e-11;
  constexpr double kLog10_2Hi = 3.01029995663611771306e-01, kLog10_2Lo = 3.69423907715893078616e-13;
  int k;
  double hi, lo, special;
  if (!log_reduce(x, &k, &hi, &lo, &special)) return special;
  double val_hi = hi * kIvln10Hi;
  double dk = k;
  double y = dk * kLog10_2Hi;
  double val_lo = dk * kLog10_2Lo + (lo + hi) * kIvln10Lo + lo * kIvln10Hi;
  double w = y + val_hi;
  val_lo += (y - w) + val_hi;
  return val_lo + w;
}

double nklua_pow(double x, double y) {
  static constexpr double bp[] = {1.0, 1.5};
  static constexpr double dp_h[] = {0.0, 5.84962487220764160156e-01};
  static constexpr double dp_l[] = {0.0, 1.35003920212974897128e-08};
  constexpr double two53 = 9007199254740992.0;
  constexpr double L1 = 5.99999999999994648725e-01, L2 = 4.28571428578550184252e-01,
                   L3 = 3.33333329818377432918e-01, L4 = 2.72728123808534006489e-01,
                   L5 = 2.30660745775561754067e-01, L6 = 2.06975017800338417784e-01;
  constexpr double lg2 = 6.93147180559945286227e-01, lg2_h = 6.93147182464599609375e-01,
                   lg2_l = -1.90465429995776804525e-09;
  constexpr double ovt = 8.0085662595372944372e-17;
  constexpr double cp = 9.61796693925975554329e-01, cp_h = 9.61796700954437255859e-01,
                   cp_l = -7.02846165095275826516e-09;
  constexpr double ivln2 = 1.44269504088896338700e+00, ivln2_h = 1.44269502162933349609e+00,
                   ivln2_l = 1.92596299112661746887e-08;

  int32_t hx = high(x), hy = high(y);
  uint32_t lx = low(x), ly = low(y);
  int32_t ix = hx & 0x7fffffff, iy = hy & 0x7fffffff;

  if ((iy | ly) == 0) return 1.0;                     // x^0 = 1, even for nan
  if (hx == 0x3ff00000 && lx == 0) return 1.0;        // 1^y = 1, even for nan
  if (ix > 0x7ff00000 || (ix == 0x7ff00000 && lx != 0) || iy > 0x7ff00000 ||
      (iy == 0x7ff00000 && ly != 0))
    return x + y;

  // y_is_int: 0 not an integer, 1 odd, 2 even (only needed for x < 0).
  int yisint = 0;
  if (hx < 0) {
    if (iy >= 0x43400000) {
      yisint = 2;
    } else if (iy >= 0x3ff00000) {
      int k = (iy >> 20) - 0x3ff;
      if (k > 20) {
        uint32_t j = ly >> (52 - k);
        if ((j << (52 - k)) == ly) yisint = 2 - (j & 1);
      } else if (ly == 0) {
        int32_t j = iy >> (20 - k);
        if ((j << (20 - k)) == iy) yisint = 2 - (j & 1);
      }
    }
  }

  if (ly == 0) {
    if (iy == 0x7ff00000) {                             // y is +-inf
      if (((ix - 0x3ff00000) | lx) == 0) return 1.0;    // (-1)^+-inf
      if (ix >= 0x3ff00000) return hy >= 0 ? y : 0.0;   // |x| > 1
      return hy < 0 ? -y : 0.0;                         // |x| < 1
    }
    if (iy == 0x3ff00000) return hy < 0 ? 1.0 / x : x;  // y is +-1
    if (hy == 0x40000000) return x * x;                 // y is 2
    if (hy == 0x3fe00000 && hx >= 0) return nklua_sqrt(x);  // y is 0.5
  }

  double ax = nklua_fabs(x);
  if (lx == 0 && (ix == 0x7ff00000 || ix == 0 || ix == 0x3ff00000)) {  // +-0, +-inf, +-1
    double z = ax;
    if (hy < 0) z = 1.0 / z;
    if (hx < 0) {
      if (((ix - 0x3ff00000) | yisint) == 0) z = (z - z) / (z - z);  // (-1)^non-int
      else if (yisint == 1) z = -z;
    }
    return z;
  }

  int n = (static_cast<uint32_t>(hx) >> 31) ^ 1;  // 0 when x < 0
  if ((n | yisint) == 0) return (x - x) / (x - x);  // negative ^ non-integer
  double s = 1.0;
  if ((n | (yisint - 1)) == 0) s = -1.0;  // negative ^ odd integer

  double t1, t2;
  if (iy > 0x41e00000) {  // |y| > 2^31
    if (iy > 0x43f00000) {  // |y| > 2^64: certain over- or underflow
      if (ix <= 0x3fefffff) return hy < 0 ? kHuge * kHuge : kTiny * kTiny;
      if (ix >= 0x3ff00000) return hy > 0 ? kHuge * kHuge : kTiny * kTiny;
    }
    if (ix < 0x3fefffff) return hy < 0 ? s * kHuge * kHuge : s * kTiny * kTiny;
    if (ix > 0x3ff00000) return hy > 0 ? s * kHuge * kHuge : s * kTiny * kTiny;
    // |1 - x| <= 2^-20: log(x) by x - x^2/2 + x^3/3 - x^4/4.
    double t = ax - 1.0;
    double w = (t * t) * (0.5 - t * (0.3333333333333333333333 - t * 0.25));
    double u = ivln2_h * t;
    double v = t * ivln2_l - w * ivln2;
    t1 = zero_low(u + v);
    t2 = v - (t1 - u);
  } else {
    n = 0;
    if (ix < 0x00100000) {  // subnormal x
      ax *= two53;
      n -= 53;
      ix = high(ax);
    }
    n += (ix >> 20) - 0x3ff;
    int32_t j = ix & 0x000fffff;
    int k;
    ix = j | 0x3ff00000;
    if (j <= 0x3988E) {
      k = 0;  // |x| < sqrt(3/2)
    } else if (j < 0xBB67A) {
      k = 1;  // |x| < sqrt(3)
    } else {
      k = 0;
      n += 1;
      ix -= 0x00100000;
    }
    ax = with_high(ax, static_cast<uint32_t>(ix));

    // ss = s_h + s_l = (x - 1) / (x + 1) or (x - 1.5) / (x + 1.5)
    double u = ax - bp[k];
    double v = 1.0 / (ax + bp[k]);
    double ss = u * v;
    double s_h = zero_low(ss);
    double t_h = from_bits(static_cast<uint64_t>(((ix >> 1) | 0x20000000) + 0x00080000 + (k << 18)) << 32);
    double t_l = ax - (t_h - bp[k]);
    double s_l = v * ((u - s_h * t_h) - s_h * t_l);
    // log(ax)
    double s2 = ss * ss;
    double r = s2 * s2 * (L1 + s2 * (L2 + s2 * (L3 + s2 * (L4 + s2 * (L5 + s2 * L6)))));
    r += s_l * (s_h + ss);
    s2 = s_h * s_h;
    t_h = zero_low(3.0 + s2 + r);
    t_l = r - ((t_h - 3.0) - s2);
    u = s_h * t_h;
    v = s_l * t_h + t_l * ss;
    double p_h = zero_low(u + v);
    double p_l = v - (p_h - u);
    double z_h = cp_h * p_h;
    double z_l = cp_l * p_h + p_l * cp + dp_l[k];
    // log2(ax) = n + dp_h + z_h + z_l
    double t = n;
    t1 = zero_low(((z_h + z_l) + dp_h[k]) + t);
    t2 = z_l - (((t1 - t) - dp_h[k]) - z_h);
  }

  // (y1 + y2) * (t1 + t2)
  double y1 = zero_low(y);
  double p_l = (y - y1) * t1 + y * t2;
  double p_h = y1 * t1;
  double z = p_l + p_h;
  int32_t j = high(z);
  int32_t i = static_cast<int32_t>(low(z));
  if (j >= 0x40900000) {  // z >= 1024
    if (((j - 0x40900000) | i) != 0) return s * kHuge * kHuge;
    if (p_l + ovt > z - p_h) return s * kHuge * kHuge;
  } else if ((j & 0x7fffffff) >= 0x4090cc00) {  // z <= -1075
    if (((static_cast<uint32_t>(j) - 0xc090cc00u) | static_cast<uint32_t>(i)) != 0)
      return s * kTiny * kTiny;
    if (p_l <= z - p_h) return s * kTiny * kTiny;
  }
  // 2^(p_h + p_l)
  i = j & 0x7fffffff;
  int k = (i >> 20) - 0x3ff;
  n = 0;
  if (i > 0x3fe00000) {  // |z| > 0.5: n = [z + 0.5]
    n = j + (0x00100000 >> (k + 1));
    k = ((n & 0x7fffffff) >> 20) - 0x3ff;
    double t = from_bits(static_cast<uint64_t>(static_cast<uint32_t>(n & ~(0x000fffff >> k))) << 32);
    n = ((n & 0x000fffff) | 0x00100000) >> (20 - k);
    if (j < 0) n = -n;
    p_h -= t;
  }
  double t = zero_low(p_l + p_h);
  double u = t * lg2_h;
  double v = (p_l - (t - p_h)) * lg2 + t * lg2_l;
  z = u + v;
  double w = v - (z - u);
  t = z * z;
  t1 = z - t * (P1 + t * (P2 + t * (P3 + t * (P4 + t * P5))));
  double r = (z * t1) / (t1 - 2.0) - (w + z * w);
  z = 1.0 - (r - z);
  j = high(z) + (n << 20);
  if ((j >> 20) <= 0) z = nklua_ldexp(z, n);  // subnormal result
  else z = with_high(z, static_cast<uint32_t>(j));
  return s * z;
}

double nklua_sin(double x) {
  if ((high(x) & 0x7fffffff) >= 0x7ff00000) return x - x;
  if ((high(x) & 0x7fffffff) < 0x3e500000) return x;  // |x| < 2^-26
  double y0, y1;
  switch (reduce_half_pi(x, &y0, &y1)) {
    case 0: return kernel_sin(y0, y1, true);
    case 1: return kernel_cos(y0, y1);
    case 2: return -kernel_sin(y0, y1, true);
    default: return -kernel_cos(y0, y1);
  }
}

double nklua_cos(double x) {
  if ((high(x) & 0x7fffffff) >= 0x7ff00000) return x - x;
  double y0, y1;
  switch (reduce_half_pi(x, &y0, &y1)) {
    case 0: return kernel_cos(y0, y1);
    case 1: return -kernel_sin(y0, y1, true);
    case 2: return -kernel_cos(y0, y1);
    default: return kernel_sin(y0, y1, true);
  }
}

double nklua_tan(double x) {
  if ((high(x) & 0x7fffffff) >= 0x7ff00000) return x - x;
  if ((high(x) & 0x7fffffff) < 0x3e400000) return x;  // |x| < 2^-27
  double y0, y1;
  int n = reduce_half_pi(x, &y0, &y1);
  return kernel_tan(y0, y1, n & 1);
}

double nklua_asin(double x) {
  int32_t hx = high(x);
  int32_t ix = hx & 0x7fffffff;
  if (ix >= 0x3ff00000) {
    if (((ix - 0x3ff00000) | low(x)) == 0) return x * kPio2Hi + x * kPio2Lo;
    return (x - x) / (x - x);
  }
  if (ix < 0x3fe00000) {  // |x| < 0.5
    if (ix < 0x3e500000) return x;
    return x + x * asin_ratio(x * x);
  }
  double w = 1.0 - nklua_fabs(x);
  double t = w * 0.5;
  double r = asin_ratio(t);
  double s = nklua_sqrt(t);
  if (ix >= 0x3FEF3333) {  // |x| > 0.975
    t = kPio2Hi - (2.0 * (s + s * r) - kPio2Lo);
  } else {
    constexpr double kPio4Hi = 7.85398163397448278999e-01;
    w = zero_low(s);
    double c = (t - w * w) / (s + w);
    double p = 2.0 * s * r - (kPio2Lo - 2.0 * c);
    double q = kPio4Hi - 2.0 * w;
    t = kPio4Hi - (p - q);
  }
  return hx > 0 ? t : -t;
}

double nklua_acos(double x) {
  int32_t hx = high(x);
  int32_t ix = hx & 0x7fffffff;
  if (ix >= 0x3ff00000) {
    if (((ix - 0x3ff00000) | low(x)) == 0) return hx > 0 ? 0.0 : kPi + 2.0 * kPio2Lo;
    return (x - x) / (x - x);
  }
  if (ix < 0x3fe00000) {  // |x| < 0.5
    if (ix <= 0x3c600000) return kPio2Hi + kPio2Lo;
    return kPio2Hi - (x - (kPio2Lo - x * asin_ratio(x * x)));
  }
  if (hx < 0) {
    double z = (1.0 + x) * 0.5;
    double s = nklua_sqrt(z);
    double w = asin_ratio(z) * s - kPio2Lo;
    return kPi - 2.0 * (s + w);
  }
  double z = (1.0 - x) * 0.5;
  double s = nklua_sqrt(z);
  double df = zero_low(s);
  double c = (z - df * df) / (s + df);
  double w = asin_ratio(z) * s + c;
  return 2.0 * (df + w);
}

double nklua_atan(double x) {
  static constexpr double atanhi[] = {4.63647609000806093515e-01, 7.85398163397448278999e-01,
                                      9.82793723247329054082e-01, 1.57079632679489655800e+00};
  static constexpr double atanlo[] = {2.26987774529616870924e-17, 3.06161699786838301793e-17,
                                      1.39033110312309984516e-17, 6.12323399573676603587e-17};
  static constexpr double aT[] = {
      3.33333333333329318027e-01,  -1.99999999998764832476e-01, 1.42857142725034663711e-01,
      -1.11111104054623557880e-01, 9.09088713343650656196e-02,  -7.69187620504482999495e-02,
      6.66107313738753120669e-02,  -5.83357013379057348645e-02, 4.97687799461593236017e-02,
      -3.65315727442169155270e-02, 1.62858201153657823623e-02};
  int32_t hx = high(x);
  int32_t ix = hx & 0x7fffffff;
  int id;
  if (ix >= 0x44100000) {  // |x| >= 2^66
    if (ix > 0x7ff00000 || (ix == 0x7ff00000 && low(x) != 0)) return x + x;
    return hx > 0 ? atanhi[3] + atanlo[3] : -atanhi[3] - atanlo[3];
  }
  if (ix < 0x3fdc0000) {  // |x| < 0.4375
    if (ix < 0x3e400000) return x;
    id = -1;
  } else {
    x = nklua_fabs(x);
    if (ix < 0x3ff30000) {
      if (ix < 0x3fe60000) {
        id = 0;
        x = (2.0 * x - 1.0) / (2.0 + x);
      } else {
        id = 1;
        x = (x - 1.0) / (x + 1.0);
      }
    } else if (ix < 0x40038000) {
      id = 2;
      x = (x - 1.5) / (1.0 + 1.5 * x);
    } else {
      id = 3;
      x = -1.0 / x;
    }
  }
  double z = x * x;
  double w = z * z;
  double s1 = z * (aT[0] + w * (aT[2] + w * (aT[4] + w * (aT[6] + w * (aT[8] + w * aT[10])))));
  double s2 = w * (aT[1] + w * (aT[3] + w * (aT[5] + w * (aT[7] + w * aT[9]))));
  if (id < 0) return x - x * (s1 + s2);
  z = atanhi[id] - ((x * (s1 + s2) - atanlo[id]) - x);
  return hx < 0 ? -z : z;
}

double nklua_atan2(double y, double x) {
  constexpr double kPiO4 = 7.8539816339744827900E-01, kPiO2 = 1.5707963267948965580E+00;
  constexpr double kPiLo = 1.2246467991473531772E-16;
  if (x != x || y != y) return x + y;
  int32_t hx = high(x), hy = high(y);
  uint32_t lx = low(x), ly = low(y);
  int32_t ix = hx & 0x7fffffff, iy = hy & 0x7fffffff;
  if (hx == 0x3ff00000 && lx == 0) return nklua_atan(y);
  int m = ((hy >> 31) & 1) | ((hx >> 30) & 2);  // 2 * sign(x) + sign(y)
  if ((iy | ly) == 0) {
    switch (m) {
      case 0:
      case 1: return y;
      case 2: return kPi + kTiny;
      default: return -kPi - kTiny;
    }
  }
  if ((ix | lx) == 0) return hy < 0 ? -kPiO2 - kTiny : kPiO2 + kTiny;
  if (ix == 0x7ff00000) {
    if (iy == 0x7ff00000) {
      switch (m) {
        case 0: return kPiO4 + kTiny;
        case 1: return -kPiO4 - kTiny;
        case 2: return 3.0 * kPiO4 + kTiny;
        default: return -3.0 * kPiO4 - kTiny;
      }
    }
    switch (m) {
      case 0: return 0.0;
      case 1: return -0.0;
      case 2: return kPi + kTiny;
      default: return -kPi - kTiny;
    }
  }
  if (iy == 0x7ff00000) return hy < 0 ? -kPiO2 - kTiny : kPiO2 + kTiny;
  int k = (iy - ix) >> 20;
  double z;
  if (k > 60) z = kPiO2 + 0.5 * kPiLo;
  else if (hx < 0 && k < -60) z = 0.0;
  else z = nklua_atan(nklua_fabs(y / x));
  switch (m) {
    case 0: return z;
    case 1: return -z;
    case 2: return kPi - (z - kPiLo);
    default: return (z - kPiLo) - kPi;
  }
}

// The hyperbolic functions exist only for Lua 5.3 scripts (math.sinh, ...); a few ulps.
double nklua_sinh(double x) {
  double a = nklua_fabs(x);
  double r;
  if (a < 0.5) {
    double z = x * x;  // the series to x^17
    r = a * (1 + z / 6 * (1 + z / 20 * (1 + z / 42 * (1 + z / 72 * (1 + z / 110 * (1 + z / 156 * (1 + z / 210 * (1 + z / 272))))))));
  } else if (a < 709) {
    double e = nklua_exp(a);
    r = (e - 1 / e) / 2;
  } else {
    double h = nklua_exp(a / 2);  // e^a overflows before sinh does
    r = h * (h / 2);
  }
  return x < 0 ? -r : r;
}

double nklua_cosh(double x) {
  double a = nklua_fabs(x);
  if (a < 709) {
    double e = nklua_exp(a);
    return (e + 1 / e) / 2;
  }
  double h = nklua_exp(a / 2);
  return h * (h / 2);
}

double nklua_tanh(double x) {
  double a = nklua_fabs(x);
  double r;
  if (a > 22) r = 1;
  else if (a < 0.5) r = nklua_sinh(a) / nklua_cosh(a);
  else r = 1 - 2 / (nklua_exp(2 * a) + 1);
  return x < 0 ? -r : r;
}

}  // extern "C"
