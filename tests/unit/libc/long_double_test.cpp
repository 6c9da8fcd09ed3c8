// The platform layer's long double mathematics and complex helpers, called in a program
// built for the platform and compared with glibc's (whose long double functions are
// within a unit or two of the exact results) over many arguments.

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <complex>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "support/library_test.h"

extern "C" {
long double _Complex __mulxc3(long double, long double, long double, long double);
double _Complex __muldc3(double, double, double, double);
double _Complex __divdc3(double, double, double, double);
}

namespace {

using ld = long double;
constexpr int FP_ILOGB0_NEWLIB = -INT_MAX;
constexpr int FP_ILOGBNAN_NEWLIB = INT_MAX;
using Unary = ld(ld);
using Binary = ld(ld, ld);

// Distance in units of the last place of the expected value (NaNs and infinities must match).
ld ulps(ld got, ld expected) {
  if (std::isnan(expected)) return std::isnan(got) ? 0 : INFINITY;
  if (std::isinf(expected) || std::isinf(got)) return got == expected ? 0 : INFINITY;
  if (got == expected) return 0;
  int exponent = expected == 0 ? LDBL_MIN_EXP - 1 : std::max(std::ilogb(expected), LDBL_MIN_EXP - 1);
  return std::fabs(got - expected) / std::scalbn(1.0L, exponent - (LDBL_MANT_DIG - 1));
}

class LongDoubleTest : public nk::test::LibraryTest {
 protected:
  const nk::sim::Image& program = machine.load_program(nk::test::guest_path("libc_long_double_functions"));
  std::mt19937_64 random{20240229};

  template <class F>
  F* platform(const char* name) {
    return program.internal_function<F>(name);
  }
  // Values spread over [low, high], with random low bits beyond double's.
  std::vector<ld> arguments(ld low, ld high, int count = 4000) {
    std::uniform_real_distribution<double> where(0, 1);
    std::vector<ld> values;
    for (int i = 0; i < count; ++i) {
      ld x = low + (high - low) * (ld)where(random);
      values.push_back(std::nextafter(x, (ld)(random() & 1 ? INFINITY : -INFINITY)));
    }
    return values;
  }
  // Arguments from 1e-4000 to 1e4000 in magnitude, both signs.
  std::vector<ld> wide(int count = 4000) {
    std::uniform_real_distribution<double> exponent(-13000, 13000);
    std::vector<ld> values;
    for (int i = 0; i < count; ++i) {
      ld x = std::scalbn((ld)1 + (ld)(random() >> 11) / 0x1p53L + (ld)(random() >> 53) / 0x1p64L,
                         (int)exponent(random));
      values.push_back(random() & 1 ? -x : x);
    }
    return values;
  }
  static std::vector<ld> specials() {
    return {0.0L, -0.0L, 1.0L, -1.0L, 0.5L, -0.5L, 1.5L, 2.5L, -2.5L, 1e300L, -1e-300L,
            LDBL_MAX, -LDBL_MAX, LDBL_MIN, LDBL_TRUE_MIN, -LDBL_TRUE_MIN, 0x1p63L, 0x1p64L,
            -0x1p63L, INFINITY, -INFINITY, NAN};
  }
  void expect_unary(const char* name, std::function<ld(ld)> reference,
                    const std::vector<ld>& values, ld tolerance) {
    Unary* f = platform<Unary>(name);
    ld worst = 0, worst_at = 0;
    for (ld x : values) {
      ld error = ulps(f(x), reference(x));
      if (!(error <= worst)) worst = error, worst_at = x;
    }
    EXPECT_LE(worst, tolerance) << name << " at " << (double)worst_at << " (" << std::hexfloat
                                << worst_at << "): got " << f(worst_at) << ", expected "
                                << reference(worst_at);
  }
};

TEST_F(LongDoubleTest, ExactOperationsMatchGlibcBitForBit) {
  std::vector<ld> values = wide();
  for (ld x : specials()) values.push_back(x);
  for (ld x : arguments(-100, 100)) values.push_back(x);
  expect_unary("floorl", [](ld x) { return floorl(x); }, values, 0);
  expect_unary("ceill", [](ld x) { return ceill(x); }, values, 0);
  expect_unary("truncl", [](ld x) { return truncl(x); }, values, 0);
  expect_unary("roundl", [](ld x) { return roundl(x); }, values, 0);
  expect_unary("rintl", [](ld x) { return rintl(x); }, values, 0);
  expect_unary("nearbyintl", [](ld x) { return nearbyintl(x); }, values, 0);
  expect_unary("fabsl", [](ld x) { return fabsl(x); }, values, 0);
  expect_unary("logbl", [](ld x) { return logbl(x); }, values, 0);
  expect_unary("sqrtl", [](ld x) { return sqrtl(x); }, values, 0);
  expect_unary("cbrtl", [](ld x) { return cbrtl(x); }, values, 1);

  auto* fmod = platform<Binary>("fmodl");
  auto* remainder = platform<Binary>("remainderl");
  auto* remquo = platform<ld(ld, ld, int*)>("remquol");
  auto* next = platform<Binary>("nextafterl");
  auto* frexp = platform<ld(ld, int*)>("frexpl");
  auto* scalbn = platform<ld(ld, int)>("scalbnl");
  auto* modf = platform<ld(ld, ld*)>("modfl");
  auto* ilogb = platform<int(ld)>("ilogbl");
  auto* lround = platform<long(ld)>("lroundl");
  auto* fmax = platform<Binary>("fmaxl");
  for (size_t i = 0; i + 1 < values.size(); ++i) {
    ld x = values[i], y = values[i + 1];
    SCOPED_TRACE(std::to_string((double)x) + ", " + std::to_string((double)y));
    EXPECT_EQ(ulps(fmod(x, y), fmodl(x, y)), 0);
    EXPECT_EQ(ulps(remainder(x, y), remainderl(x, y)), 0);
    int q = 0, expected_q = 0;
    EXPECT_EQ(ulps(remquo(x, y, &q), remquol(x, y, &expected_q)), 0);
    if (std::isfinite(x) && std::isfinite(y) && y != 0) EXPECT_EQ(q & 7, expected_q & 7);
    EXPECT_EQ(ulps(next(x, y), nextafterl(x, y)), 0);
    EXPECT_EQ(ulps(fmax(x, y), fmaxl(x, y)), 0);
    int e = 0, expected_e = 0;
    EXPECT_EQ(ulps(frexp(x, &e), frexpl(x, &expected_e)), 0);
    if (std::isfinite(x)) EXPECT_EQ(e, expected_e);
    int n = (int)(random() % 200) - 100;
    EXPECT_EQ(ulps(scalbn(x, n), scalbnl(x, n)), 0);
    ld whole = 0, expected_whole = 0;
    EXPECT_EQ(ulps(modf(x, &whole), modfl(x, &expected_whole)), 0);
    EXPECT_EQ(ulps(whole, expected_whole), 0);
    // The values for 0 and NaN are the platform's (newlib's), not glibc's.
    EXPECT_EQ(ilogb(x), x == 0 ? FP_ILOGB0_NEWLIB : std::isnan(x) ? FP_ILOGBNAN_NEWLIB : ilogbl(x));
    if (std::fabs(x) < 1e18L) EXPECT_EQ(lround(x), lroundl(x));
  }
  // Steps over the edges of the format: subnormals, powers of two, the largest value.
  for (ld x : {LDBL_TRUE_MIN, LDBL_MIN, 0x1p-16383L, 1.0L, 0x1p64L, LDBL_MAX})
    for (ld y : {0.0L, (ld)INFINITY}) {
      EXPECT_EQ(ulps(next(x, y), nextafterl(x, y)), 0) << (double)x;
      EXPECT_EQ(ulps(next(-x, y), nextafterl(-x, y)), 0) << (double)x;
    }
}

TEST_F(LongDoubleTest, TranscendentalFunctionsAreWithinAFewUnits) {
  std::vector<ld> unit = arguments(-1, 1), positive = arguments(0, 1e6), moderate = arguments(-700, 700);
  expect_unary("logl", [](ld x) { return logl(x); }, positive, 2);
  expect_unary("log2l", [](ld x) { return log2l(x); }, positive, 2);
  expect_unary("log10l", [](ld x) { return log10l(x); }, positive, 2);
  expect_unary("log1pl", [](ld x) { return log1pl(x); }, unit, 2);
  expect_unary("expl", [](ld x) { return expl(x); }, moderate, 3);
  expect_unary("exp2l", [](ld x) { return exp2l(x); }, moderate, 3);
  expect_unary("expm1l", [](ld x) { return expm1l(x); }, arguments(-2, 2), 4);
  expect_unary("atanl", [](ld x) { return atanl(x); }, arguments(-1e4, 1e4), 2);
  expect_unary("asinl", [](ld x) { return asinl(x); }, unit, 4);
  expect_unary("acosl", [](ld x) { return acosl(x); }, unit, 4);
  expect_unary("sinhl", [](ld x) { return sinhl(x); }, arguments(-50, 50), 4);
  expect_unary("coshl", [](ld x) { return coshl(x); }, arguments(-50, 50), 4);
  expect_unary("tanhl", [](ld x) { return tanhl(x); }, arguments(-30, 30), 4);
  expect_unary("asinhl", [](ld x) { return asinhl(x); }, arguments(-1e5, 1e5), 4);
  expect_unary("acoshl", [](ld x) { return acoshl(x); }, arguments(1, 1e5), 4);
  expect_unary("atanhl", [](ld x) { return atanhl(x); }, unit, 4);
  // Away from the zeros of sine and cosine, the x87's reduction is within a few units.
  expect_unary("sinl", [](ld x) { return sinl(x); }, arguments(-3, 3), 2);
  expect_unary("cosl", [](ld x) { return cosl(x); }, arguments(-1.5, 1.5), 2);
  expect_unary("tanl", [](ld x) { return tanl(x); }, arguments(-1.5, 1.5), 3);
  // Over nearly all of the range: the reduction keeps every bit.
  expect_unary("expl", [](ld x) { return expl(x); }, arguments(-11000, 11000), 3);

  auto* atan2 = platform<Binary>("atan2l");
  auto* hypot = platform<Binary>("hypotl");
  auto* pow = platform<Binary>("powl");
  std::vector<ld> xs = arguments(-100, 100), ys = arguments(-100, 100), huge = wide();
  for (size_t i = 0; i < xs.size(); ++i) {
    EXPECT_LE(ulps(atan2(ys[i], xs[i]), atan2l(ys[i], xs[i])), 2) << (double)ys[i] << ", " << (double)xs[i];
    EXPECT_LE(ulps(hypot(huge[i], xs[i]), hypotl(huge[i], xs[i])), 1) << (double)huge[i];
    EXPECT_LE(ulps(hypot(huge[i], huge[i] / 3), hypotl(huge[i], huge[i] / 3)), 1) << (double)huge[i];
    // pow's error grows with the result's binary exponent (see libc/long_double.c).
    ld base = std::fabs(xs[i]), power = ys[i] * 30;
    ld expected = powl(base, power);
    EXPECT_LE(ulps(pow(base, power), expected), 4 + 2 * std::fabs(power * log2l(base)))
        << (double)base << " ^ " << (double)power;
    ld whole = std::round(ys[i] / 2);
    EXPECT_LE(ulps(pow(xs[i], whole), powl(xs[i], whole)), 1 + std::fabs(whole))
        << (double)xs[i] << " ^ " << (double)whole;
  }
  // C's special cases of pow.
  for (ld x : specials())
    for (ld y : specials()) {
      ld got = pow(x, y), expected = powl(x, y), exponent = y * log2l(std::fabs(x));
      // glibc's powl gives +infinity for (-infinity)^(-2^63); C gives +0, as here.
      if (x == -INFINITY && y == -0x1p63L) expected = 0;
      EXPECT_TRUE(ulps(got, expected) <= 4 + (std::isfinite(exponent) ? 2 * std::fabs(exponent) : 0) &&
                  (std::isnan(expected) || std::signbit(got) == std::signbit(expected)))
          << std::hexfloat << x << " ^ " << y << ": got " << got << ", expected " << expected;
    }
}

TEST_F(LongDoubleTest, ComplexProductsAndQuotientsRecoverInfinities) {
  auto* mul = platform<double _Complex(double, double, double, double)>("__muldc3");
  auto* div = platform<double _Complex(double, double, double, double)>("__divdc3");
  std::vector<double> parts = {0.0, -0.0, 1.5, -2.0, 1e308, -1e-308, INFINITY, -INFINITY, NAN};
  for (double a : parts)
    for (double b : parts)
      for (double c : parts)
        for (double d : parts) {
          double _Complex got = mul(a, b, c, d), expected = __muldc3(a, b, c, d);
          // libgcc follows the same rules in the same precision.
          auto same = [](double x, double y) { return (std::isnan(x) && std::isnan(y)) || x == y; };
          EXPECT_TRUE(same(__real__ got, __real__ expected) && same(__imag__ got, __imag__ expected))
              << "(" << a << ", " << b << ") * (" << c << ", " << d << ")";
        }
  // Quotients, against their exact values (libgcc's own scaling differs at the edges).
  auto quotient = [&](double a, double b, double c, double d) {
    double _Complex z = div(a, b, c, d);
    return std::pair<double, double>(__real__ z, __imag__ z);
  };
  EXPECT_EQ(quotient(1e300, 1e300, 1e300, 1e300), std::make_pair(1.0, 0.0));  // c * c would overflow
  EXPECT_EQ(quotient(4, 2, 0, 0), std::make_pair((double)INFINITY, (double)INFINITY));
  EXPECT_EQ(quotient(-2, -2, 0, -1e-308), std::make_pair((double)INFINITY, -(double)INFINITY));
  EXPECT_EQ(quotient(INFINITY, 1, 2, 3), std::make_pair((double)INFINITY, -(double)INFINITY));
  EXPECT_EQ(quotient(1, 2, INFINITY, NAN), std::make_pair(0.0, 0.0));
  EXPECT_TRUE(std::isnan(quotient(NAN, 1, 2, 3).first));
  double _Complex z = div(1, 2, 3, 4);
  EXPECT_DOUBLE_EQ(__real__ z, 0.44);
  EXPECT_DOUBLE_EQ(__imag__ z, 0.08);
}

}  // namespace
