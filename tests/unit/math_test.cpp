// The mathematical functions, bit for bit against the same fixed algorithms written plainly
// here (loops run their full count, turns are removed one by one), over many arguments;
// where those algorithms never end or leave their range, against the mathematically right
// value from the Linux C library.

#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <type_traits>
#include <vector>

#include "support/library_test.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---- The algorithms as written, in plain C++ ------------------------------------------

double ref_wrap_angle(double x) {
  while (x > kPi) x += -kTwoPi;
  while (x < -kPi) x += kTwoPi;
  return x;
}

double ref_sin(double x) {
  double r = ref_wrap_angle(x);
  double r2 = r * r;
  double a = r2 / -6.0 + 1.0;
  double r4 = r2 * r2;
  double r6 = r2 * r4;
  a += r4 / 120.0;
  a -= r6 / 5040.0;
  return r * a;
}

double ref_cos(double x) {
  double r = ref_wrap_angle(x);
  double r2 = r * r;
  double c = -0.5 * r2 + 1.0;
  double r4 = r2 * r2;
  double r6 = r2 * r4;
  c += r4 / 24.0;
  c -= r6 / 720.0;
  return c;
}

double ref_sqrt(double x) {
  if (x <= 0) return 0.0;
  double g = std::max(x, 1.0);
  for (int i = 0; i < 24; ++i) g = (x / g + g) * 0.5;
  return g;
}

// The same iteration run until a step changes nothing: the converged root.
double ref_sqrt_settled(double x) {
  double g = std::max(x, 1.0);
  for (;;) {
    double next = (x / g + g) * 0.5;
    if (next == g) return g;
    g = next;
  }
}

double ref_log(double x) {
  if (x <= 0) return -kInf;
  int k = 0;
  while (x > 1.5) x *= 0.5, ++k;
  while (x < 0.75) x += x, --k;
  double s = (x - 1) / (x + 1);
  double s2 = s * s;
  double sum = 0, term = s, denominator = 1.0;
  for (int i = 0; i < 10; ++i) {
    sum += term / denominator;
    denominator += 2.0;
    term *= s2;
  }
  return (sum + sum) + k * 0.6931471805599453;
}

double ref_frexp(double x, int* e) {
  *e = 0;
  if (x == 0) return 0.0;
  double m = std::max(x, -x);
  int k = 0;
  while (m >= 1.0) m *= 0.5, ++k;
  while (m > 0 && m < 0.5) m += m, --k;
  *e = k;
  return x < 0 ? -m : m;
}

double ref_ldexp(double x, int n) {
  for (int i = 0; i < n; ++i) x = x + x;
  for (int i = 0; i < -n; ++i) x = x * 0.5;
  return x;
}

double ref_fmod(double x, double y) {  // |x / y| within the 32-bit range
  if (y == 0) return 0.0;
  int32_t q = static_cast<int32_t>(x / y);
  return x - q * y;
}

double ref_pow(double x, double y) {  // y within the 32-bit range
  int32_t n = static_cast<int32_t>(y);
  if (n != y) return 0.0;
  if (n == 0) return 1.0;
  uint32_t magnitude = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
  double r = 1.0, b = x;
  for (; magnitude; magnitude >>= 1) {
    if (magnitude & 1) r *= b;
    b *= b;
  }
  return n > 0 ? r : 1.0 / r;
}

double ref_floor(double x) {  // within the 32-bit range
  int32_t i = static_cast<int32_t>(x);
  return x < i ? i - 1.0 : static_cast<double>(i);
}
double ref_ceil(double x) {
  double f = ref_floor(x);
  return f < x ? f + 1.0 : f;
}
double ref_trunc(double x) { return x < 0 ? ref_ceil(x) : ref_floor(x); }
double ref_round(double x) {
  double t = ref_trunc(x);
  double d = x - t;
  return d >= 0.5 ? t + 1.0 : d <= -0.5 ? t - 1.0 : t;
}
int64_t ref_lround(double x) {  // within the 64-bit range
  const double half[2] = {-0.5, 0.5};
  return static_cast<int64_t>(x + half[x >= 0]);
}

double ref_fabs(double x) { return -x > x ? -x : x; }

// ---- Helpers --------------------------------------------------------------------------

uint64_t bits(double x) { return std::bit_cast<uint64_t>(x); }

// Bit-for-bit equality, NaNs of any payload counting as equal.
template <class T>
::testing::AssertionResult same(T expected, T actual, T x) {
  using Bits = std::conditional_t<sizeof(T) == 8, uint64_t, uint32_t>;
  if (std::bit_cast<Bits>(expected) == std::bit_cast<Bits>(actual) ||
      (std::isnan(expected) && std::isnan(actual)))
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "for x = " << std::hexfloat << x << " expected "
                                       << expected << " got " << actual << std::defaultfloat;
}

// Units in the last place between two doubles of the same sign.
uint64_t ulps(double a, double b) {
  uint64_t x = bits(a) & ~(uint64_t{1} << 63), y = bits(b) & ~(uint64_t{1} << 63);
  return x > y ? x - y : y - x;
}

class Arguments {
 public:
  explicit Arguments(uint64_t seed) : random_(seed) {}
  // |x| log-uniform in [2^low, 2^high), random sign.
  double log_uniform(double low, double high, bool any_sign = true) {
    double x = std::exp2(low + uniform() * (high - low));
    return any_sign && (random_() & 1) ? -x : x;
  }
  double uniform(double low, double high) { return low + uniform() * (high - low); }
  double any_finite() {
    for (;;) {
      double x = std::bit_cast<double>(random_());
      if (std::isfinite(x)) return x;
    }
  }
  int integer(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

 private:
  double uniform() { return static_cast<double>(random_() >> 11) * 0x1p-53; }
  std::mt19937_64 random_;
};

class MathTest : public nk::test::LibraryTest {
 protected:
  using Unary = double(double);
  using Binary = double(double, double);
  using UnaryF = float(float);
};

// ---- Angles ---------------------------------------------------------------------------

TEST_F(MathTest, SinCosAndWrapAngleMatchTheSeriesBitForBit) {
  auto wrap = lib.internal_function<Unary>("wrap_angle");
  auto sin = fn<Unary>("sin");
  auto cos = fn<Unary>("cos");
  auto check = [&](double x) {
    ASSERT_TRUE(same(ref_wrap_angle(x), wrap(x), x));
    ASSERT_TRUE(same(ref_sin(x), sin(x), x));
    ASSERT_TRUE(same(ref_cos(x), cos(x), x));
  };
  Arguments args(1);
  for (int i = 0; i < 200000; ++i) check(args.uniform(-20, 20));
  for (int i = 0; i < 100000; ++i) check(args.log_uniform(-30, 14));
  for (int i = 0; i < 300; ++i) check(args.log_uniform(14, 22));
  // Where turns are skipped a binade at a time: both sides of each binade's edges.
  for (int e = 1; e <= 20; ++e)
    for (double edge : {std::exp2(e), -std::exp2(e)})
      for (int k = -40; k <= 40; ++k) check(edge + k * std::exp2(e - 52) * (k % 3 == 0 ? 1 : 977));
  for (double x : {kPi, -kPi, std::nextafter(kPi, 4.0), std::nextafter(-kPi, -4.0), kTwoPi, 3 * kPi,
                   0.0, -0.0, 1e-300, 5e-324})
    check(x);
  // Whole turns below zero land on +0, as the turn-by-turn sums do.
  for (int k = 1; k <= 3000; ++k) check(-k * kTwoPi);
  for (int k = 0; k < 20; ++k) check(-std::ldexp(kTwoPi, k));
  // A handful of large angles, each tens of millions of turns one at a time.
  for (int i = 0; i < 4; ++i) check(args.log_uniform(26, 28));
}

TEST_F(MathTest, SinAndCosKeepTheirShortSeriesValues) {
  auto sin = fn<Unary>("sin");
  auto cos = fn<Unary>("cos");
  EXPECT_EQ(sin(0.0), 0.0);
  EXPECT_EQ(cos(0.0), 1.0);
  EXPECT_NEAR(sin(kPi / 2), 0.99984, 1e-5);
  EXPECT_NEAR(sin(kPi), -0.0752, 1e-4);
  EXPECT_NEAR(cos(kPi), -1.2114, 1e-4);
  EXPECT_NEAR(cos(kPi / 2), -0.00089, 1e-5);
}

TEST_F(MathTest, AnglesEndForEveryArgument) {
  auto wrap = lib.internal_function<Unary>("wrap_angle");
  auto sin = fn<Unary>("sin");
  auto cos = fn<Unary>("cos");
  for (double x : {kInf, -kInf, kNaN}) {
    EXPECT_TRUE(std::isnan(sin(x))) << x;
    EXPECT_TRUE(std::isnan(cos(x))) << x;
    EXPECT_TRUE(std::isnan(wrap(x))) << x;
  }
  // From 2^56 on a turn changes nothing: the exact remainder by the double 2pi instead.
  Arguments args(2);
  for (int i = 0; i < 2000; ++i) {
    double x = args.log_uniform(56, 1023);
    double r = std::fmod(std::fabs(x), kTwoPi);
    if (r > kPi) r -= kTwoPi;
    ASSERT_TRUE(same(x < 0 ? -r : r, wrap(x), x));
    ASSERT_TRUE(same(ref_sin(wrap(x)), sin(x), x));
  }
  // Just below 2^56 the steps are of 8 and the result is the turn-by-turn one; it must
  // land in [-pi, pi] and come quickly for every binade up to there.
  for (int i = 0; i < 20000; ++i) {
    double x = args.log_uniform(24, 56);
    double r = wrap(x);
    ASSERT_TRUE(r >= -kPi && r <= kPi) << x;
  }
}

// ---- Square root and logarithm --------------------------------------------------------

TEST_F(MathTest, SqrtFollowsTheNewtonStepsWhereTheyConverge) {
  auto sqrt = fn<Unary>("sqrt");
  Arguments args(3);
  for (int i = 0; i < 300000; ++i) {
    double x = args.log_uniform(-38, 38, false);
    ASSERT_TRUE(same(ref_sqrt(x), sqrt(x), x));
  }
  for (double x : {2.0, 0.25, 1.0, 0x1p-38, 0x1p38, 1e-11, 1e11}) EXPECT_TRUE(same(ref_sqrt(x), sqrt(x), x));
  EXPECT_EQ(sqrt(2.0), 1.414213562373095);
  EXPECT_EQ(sqrt(0.25), 0.5);
  for (double x : {-4.0, 0.0, -0.0, -kInf}) EXPECT_TRUE(same(0.0, sqrt(x), x));
}

TEST_F(MathTest, SqrtConvergesForEveryPositiveFiniteArgument) {
  auto sqrt = fn<Unary>("sqrt");
  EXPECT_EQ(sqrt(1e16), 1e8);
  EXPECT_EQ(sqrt(1e12), 1e6);
  EXPECT_EQ(sqrt(1e-300), 1e-150);
  Arguments args(4);
  auto check = [&](double x) {
    ASSERT_TRUE(same(ref_sqrt_settled(x), sqrt(x), x));
    ASSERT_LE(ulps(std::sqrt(x), sqrt(x)), 1u) << x;
  };
  for (int i = 0; i < 100000; ++i) check(args.log_uniform(38, 1024, false));
  for (int i = 0; i < 100000; ++i) check(args.log_uniform(-1074, -38, false));
  for (double x : {std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
                   std::numeric_limits<double>::denorm_min()})
    check(x);
  EXPECT_EQ(sqrt(kInf), kInf);
  EXPECT_TRUE(std::isnan(sqrt(kNaN)));
}

TEST_F(MathTest, LogFollowsTheTenTermSeries) {
  auto log = fn<Unary>("log");
  Arguments args(5);
  for (int i = 0; i < 200000; ++i) {
    double x = args.log_uniform(-1074, 1024, false);
    ASSERT_TRUE(same(ref_log(x), log(x), x));
  }
  for (int i = 0; i < 100000; ++i) {
    double x = args.uniform(0.5, 3.0);
    ASSERT_TRUE(same(ref_log(x), log(x), x));
  }
  EXPECT_EQ(log(1.0), 0.0);
  EXPECT_EQ(log(2.0), 0.6931471805599453);
  for (double x : {0.0, -0.0, -1.0, -kInf}) EXPECT_EQ(log(x), -kInf) << x;
  EXPECT_EQ(log(kInf), kInf);
  EXPECT_TRUE(std::isnan(log(kNaN)));
}

// ---- Powers of two ------------------------------------------------------------------

TEST_F(MathTest, FrexpAndLdexpMatchTheirLoops) {
  auto frexp = fn<double(double, int*)>("frexp");
  auto ldexp = fn<double(double, int)>("ldexp");
  Arguments args(6);
  for (int i = 0; i < 100000; ++i) {
    double x = i % 2 ? args.any_finite() : args.log_uniform(-1074, 1024);
    int e = 99, expected_e;
    double expected = ref_frexp(x, &expected_e);
    ASSERT_TRUE(same(expected, frexp(x, &e), x));
    ASSERT_EQ(expected_e, e) << x;
    ASSERT_TRUE(same(expected, frexp(x, nullptr), x));
    int n = args.integer(-1200, 1200);
    ASSERT_TRUE(same(ref_ldexp(x, n), ldexp(x, n), x)) << "n = " << n;
  }
  int e = 99;
  EXPECT_EQ(frexp(8.0, &e), 0.5);
  EXPECT_EQ(e, 4);
  EXPECT_EQ(frexp(-3.0, &e), -0.75);
  EXPECT_EQ(e, 2);
  EXPECT_TRUE(same(0.0, frexp(-0.0, &e), -0.0));
  EXPECT_EQ(e, 0);
  EXPECT_EQ(ldexp(1.0, -1), 0.5);
  EXPECT_EQ(ldexp(3.0, 4), 48.0);
}

TEST_F(MathTest, FrexpAndLdexpEndOnEveryArgument) {
  auto frexp = fn<double(double, int*)>("frexp");
  auto ldexp = fn<double(double, int)>("ldexp");
  for (double x : {kInf, -kInf}) {
    int e = 99;
    EXPECT_EQ(frexp(x, &e), x);
    EXPECT_EQ(e, 0);
  }
  int e = 99;
  EXPECT_TRUE(std::isnan(frexp(kNaN, &e)));
  EXPECT_EQ(e, 0);
  EXPECT_EQ(ldexp(1.0, INT_MAX), kInf);
  EXPECT_TRUE(same(0.0, ldexp(1.0, INT_MIN), 1.0));
  EXPECT_TRUE(same(-0.0, ldexp(-3.0, INT_MIN), -3.0));
  EXPECT_TRUE(std::isnan(ldexp(kNaN, INT_MAX)));
}

// ---- Rounding ---------------------------------------------------------------------------

TEST_F(MathTest, RoundingFunctionsMatchTheirAlgorithmsInThe32BitRange) {
  auto floor = fn<Unary>("floor");
  auto ceil = fn<Unary>("ceil");
  auto trunc = fn<Unary>("trunc");
  auto round = fn<Unary>("round");
  auto lround = fn<long(double)>("lround");
  auto llround = fn<long long(double)>("llround");
  auto check = [&](double x) {
    ASSERT_TRUE(same(ref_floor(x), floor(x), x));
    ASSERT_TRUE(same(ref_ceil(x), ceil(x), x));
    ASSERT_TRUE(same(ref_trunc(x), trunc(x), x));
    ASSERT_TRUE(same(ref_round(x), round(x), x));
    ASSERT_EQ(ref_lround(x), lround(x)) << x;
    ASSERT_EQ(ref_lround(x), llround(x)) << x;
  };
  Arguments args(7);
  for (int i = 0; i < 200000; ++i) check(args.uniform(-2147483647.0, 2147483647.0));
  for (int i = 0; i < 200000; ++i) check(args.log_uniform(-1074, 31));
  for (int i = -20; i <= 20; ++i) check(i * 0.25);
  for (double x : {-0.0, 0.49999999999999994, -0.49999999999999994, 2147483647.5, -2147483648.0,
                   -2147483647.5, 0.5, -0.5})
    check(x);
  EXPECT_EQ(floor(-2.5), -3.0);
  EXPECT_EQ(ceil(-2.5), -2.0);
  EXPECT_EQ(trunc(-2.5), -2.0);
  EXPECT_EQ(round(2.5), 3.0);
  EXPECT_EQ(round(-2.5), -3.0);
  EXPECT_EQ(lround(-2.5), -3);
  EXPECT_EQ(lround(0.49999999999999994), 1);
}

TEST_F(MathTest, RoundingBeyond32BitsGivesTheMathematicalValue) {
  auto floor = fn<Unary>("floor");
  auto ceil = fn<Unary>("ceil");
  auto trunc = fn<Unary>("trunc");
  auto round = fn<Unary>("round");
  Arguments args(8);
  for (int i = 0; i < 200000; ++i) {
    double x = args.log_uniform(31, 1024);
    ASSERT_EQ(std::floor(x), floor(x)) << x;
    ASSERT_EQ(std::ceil(x), ceil(x)) << x;
    ASSERT_EQ(std::trunc(x), trunc(x)) << x;
    ASSERT_EQ(std::round(x), round(x)) << x;
  }
  EXPECT_EQ(floor(-3e9 - 0.5), -3000000001.0);
  EXPECT_EQ(ceil(4503599627370495.5), 4503599627370496.0);
  EXPECT_EQ(round(-4503599627370495.5), -4503599627370496.0);
  for (double x : {kInf, -kInf}) {
    EXPECT_EQ(floor(x), x);
    EXPECT_EQ(ceil(x), x);
    EXPECT_EQ(trunc(x), x);
    EXPECT_EQ(round(x), x);
  }
  for (auto f : {floor, ceil, trunc, round}) EXPECT_TRUE(std::isnan(f(kNaN)));
}

TEST_F(MathTest, LroundSaturatesBeyond64Bits) {
  auto lround = fn<long(double)>("lround");
  auto llround = fn<long long(double)>("llround");
  auto check = [](auto f) {
    EXPECT_EQ(f(1e19), INT64_MAX);
    EXPECT_EQ(f(kInf), INT64_MAX);
    EXPECT_EQ(f(0x1p63), INT64_MAX);
    EXPECT_EQ(f(-0x1p63), INT64_MIN);
    EXPECT_EQ(f(-1e300), INT64_MIN);
    EXPECT_EQ(f(-kInf), INT64_MIN);
    EXPECT_EQ(f(kNaN), 0);
    EXPECT_EQ(f(std::nextafter(0x1p63, 0.0)), 9223372036854774784);
  };
  check(lround);
  check(llround);
}

// ---- fmod and pow -------------------------------------------------------------------

TEST_F(MathTest, FmodMatchesItsAlgorithmAndIsExactBeyond32Bits) {
  auto fmod = fn<Binary>("fmod");
  Arguments args(9);
  for (int i = 0; i < 200000; ++i) {
    double y = args.log_uniform(-60, 60);
    double x = y * args.uniform(-2147483647.0, 2147483647.0) * (i % 2 ? 1 : 1e-9);
    if (!(std::fabs(x / y) < 2147483647.0)) continue;
    ASSERT_TRUE(same(ref_fmod(x, y), fmod(x, y), x)) << "y = " << y;
  }
  for (int i = 0; i < 100000; ++i) {
    double x = args.any_finite(), y = args.any_finite();
    if (std::fabs(x / y) < 0x1p31 || y == 0) continue;
    ASSERT_TRUE(same(std::fmod(x, y), fmod(x, y), x)) << "y = " << y;
  }
  EXPECT_EQ(fmod(5.5, 2.0), 1.5);
  EXPECT_EQ(fmod(-5.5, 2.0), -1.5);
  EXPECT_TRUE(same(0.0, fmod(3.0, 0.0), 3.0));
  EXPECT_TRUE(same(0.0, fmod(kNaN, -0.0), 0.0));
  EXPECT_EQ(fmod(1e300, 3.0), std::fmod(1e300, 3.0));
  EXPECT_EQ(fmod(-0x1p1000, 0x1.8p-1000), std::fmod(-0x1p1000, 0x1.8p-1000));
  EXPECT_EQ(fmod(1e308, 5e-324), 0.0);
  EXPECT_TRUE(std::isnan(fmod(kInf, 2.0)));
  EXPECT_TRUE(std::isnan(fmod(kNaN, 2.0)));
  EXPECT_TRUE(std::isnan(fmod(2.0, kNaN)));
}

TEST_F(MathTest, PowTakesIntegralExponentsOnly) {
  auto pow = fn<Binary>("pow");
  Arguments args(10);
  for (int i = 0; i < 200000; ++i) {
    double x = args.log_uniform(-40, 40);
    double y = args.integer(-80, 80);
    ASSERT_TRUE(same(ref_pow(x, y), pow(x, y), x)) << "y = " << y;
  }
  for (int i = 0; i < 20000; ++i) {
    double x = args.uniform(-1.001, 1.001);
    double y = args.integer(INT_MIN, INT_MAX);
    ASSERT_TRUE(same(ref_pow(x, y), pow(x, y), x)) << "y = " << y;
  }
  EXPECT_EQ(pow(2, 10), 1024.0);
  EXPECT_EQ(pow(2, -2), 0.25);
  EXPECT_EQ(pow(2, 0.5), 0.0);
  EXPECT_EQ(pow(kNaN, 0), 1.0);
  EXPECT_EQ(pow(0, -1), kInf);
  EXPECT_EQ(pow(0.5, INT_MIN), kInf);
  EXPECT_EQ(pow(2, INT_MIN), 0.0);
  for (double y : {0x1p31, -0x1p31 - 1, 1e300, kInf, -kInf, kNaN}) EXPECT_TRUE(same(0.0, pow(1.0, y), y));
}

// ---- fabs and finiteness --------------------------------------------------------------

TEST_F(MathTest, FabsAndFinitenessTests) {
  auto fabs = fn<Unary>("fabs");
  auto fabsf = fn<UnaryF>("fabsf");
  Arguments args(11);
  for (int i = 0; i < 10000; ++i) {
    double x = args.any_finite();
    ASSERT_TRUE(same(ref_fabs(x), fabs(x), x));
    float f = static_cast<float>(x);
    ASSERT_TRUE(same(-f > f ? -f : f, fabsf(f), f));
  }
  EXPECT_EQ(fabs(-kInf), kInf);

  auto isfinite = fn<int(double)>("isfinite");
  auto nk_isfinite = fn<int(double)>("nk_math_isfinite");
  auto isfinitef = fn<int(float)>("nk_math_isfinitef");
  auto isfinitel = fn<int(long double)>("nk_math_isfinitel");
  const double max = std::numeric_limits<double>::max();
  for (auto [x, finite] : std::vector<std::pair<double, int>>{
           {0.0, 1}, {-0.0, 1}, {max, 1}, {-max, 1}, {5e-324, 1}, {kInf, 0}, {-kInf, 0},
           {kNaN, 0}, {-kNaN, 0}, {std::bit_cast<double>(uint64_t{0x7FF0000000000001}), 0}}) {
    EXPECT_EQ(isfinite(x), finite) << x;
    EXPECT_EQ(nk_isfinite(x), finite) << x;
    EXPECT_EQ(isfinitef(static_cast<float>(x)), x == max || x == -max ? 0 : finite) << x;
  }
  EXPECT_EQ(isfinitef(std::numeric_limits<float>::max()), 1);
  EXPECT_EQ(isfinitef(std::numeric_limits<float>::denorm_min()), 1);

  // 80-bit values by their bits: significand (explicit integer bit on top), exponent.
  auto x87 = [](uint64_t significand, uint16_t sign_exponent) {
    long double v = 0;
    std::memcpy(&v, &significand, 8);
    std::memcpy(reinterpret_cast<char*>(&v) + 8, &sign_exponent, 2);
    return v;
  };
  struct Case {
    const char* name;
    long double value;
    int finite;
  };
  for (const Case& c : {Case{"zero", x87(0, 0), 1},
                        Case{"denormal", x87(1, 0), 1},
                        Case{"pseudo-denormal", x87(uint64_t{1} << 63, 0x8000), 1},
                        Case{"one", 1.0L, 1},
                        Case{"largest", std::numeric_limits<long double>::max(), 1},
                        Case{"negative", -3.5L, 1},
                        Case{"unnormal, exponent 1", x87(uint64_t{1} << 62, 1), 0},
                        Case{"unnormal, exponent 32766", x87(5, 0x7FFE), 0},
                        Case{"infinity", x87(uint64_t{1} << 63, 0x7FFF), 0},
                        Case{"negative infinity", x87(uint64_t{1} << 63, 0xFFFF), 0},
                        Case{"NaN", x87(3ull << 62, 0x7FFF), 0},
                        Case{"pseudo-infinity", x87(0, 0x7FFF), 0}})
    EXPECT_EQ(isfinitel(c.value), c.finite) << c.name;
}

TEST_F(MathTest, HeaderServesCAndCppPrograms) {
  EXPECT_EQ(run_guest("math_header_c"), 0);
  EXPECT_EQ(run_guest("math_header_cpp"), 0);
}

// ---- Single precision ---------------------------------------------------------------

TEST_F(MathTest, SinglePrecisionNarrowsTheDoubleAlgorithms) {
  struct UnaryPair {
    const char* name;
    double (*reference)(double);
  };
  Arguments args(12);
  for (const UnaryPair& f : {UnaryPair{"sinf", ref_sin}, UnaryPair{"cosf", ref_cos},
                             UnaryPair{"sqrtf", ref_sqrt}, UnaryPair{"logf", ref_log},
                             UnaryPair{"floorf", ref_floor}, UnaryPair{"ceilf", ref_ceil},
                             UnaryPair{"truncf", ref_trunc}}) {
    SCOPED_TRACE(f.name);
    auto g = fn<UnaryF>(f.name);
    for (int i = 0; i < 50000; ++i) {
      float x = static_cast<float>(args.log_uniform(-20, 20));
      ASSERT_TRUE(same(static_cast<float>(f.reference(x)), g(x), x));
    }
  }
  auto fmodf = fn<float(float, float)>("fmodf");
  auto powf = fn<float(float, float)>("powf");
  auto ldexpf = fn<float(float, int)>("ldexpf");
  auto frexpf = fn<float(float, int*)>("frexpf");
  for (int i = 0; i < 50000; ++i) {
    float x = static_cast<float>(args.log_uniform(-20, 20));
    float y = static_cast<float>(args.log_uniform(-10, 10));
    int n = args.integer(-300, 300);
    ASSERT_TRUE(same(static_cast<float>(ref_fmod(x, y)), fmodf(x, y), x)) << y;
    ASSERT_TRUE(same(static_cast<float>(ref_pow(x, n % 20)), powf(x, static_cast<float>(n % 20)), x));
    ASSERT_TRUE(same(static_cast<float>(ref_ldexp(x, n)), ldexpf(x, n), x)) << n;
    int e, expected_e;
    ASSERT_TRUE(same(static_cast<float>(ref_frexp(x, &expected_e)), frexpf(x, &e), x));
    ASSERT_EQ(expected_e, e);
  }
  EXPECT_EQ(fn<UnaryF>("floorf")(3e9f), 3e9f);
  EXPECT_EQ(fn<UnaryF>("floorf")(-1e20f), -1e20f);
  EXPECT_EQ(fmodf(1e20f, 3.0f), std::fmod(1e20f, 3.0f));
  EXPECT_EQ(powf(2.0f, 0.5f), 0.0f);
}

}  // namespace
