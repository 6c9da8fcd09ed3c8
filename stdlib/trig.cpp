// Sine and cosine: the angle is moved into [-pi, pi] by whole turns, then a short Taylor
// series is evaluated. The series are deliberately short (about 0.075 off near +-pi) and
// programs see exactly their values, so the operations stay in their written order.

#include <math.h>
#include <stdint.h>

#include "stdlib/float_bits.h"

#pragma clang fp contract(off)

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
// Turns are removed one at a time below this; above, a binade at a time (see below_binade).
constexpr double kTurnByTurnLimit = 128.0;
// From here on the spacing of doubles exceeds 2pi, and subtracting it changes nothing.
constexpr double kNoTurnLimit = 0x1p56;

// Within the binade [2^e, 2^(e+1)) doubles lie on a grid of spacing u = 2^(e-52), so as
// long as x - 2pi stays in the binade, each subtraction takes away the same amount: 2pi
// rounded to a multiple of u. Many of them can then be taken at once, with the same result
// as one at a time. From 128 on, u is at least 2^-45, and 2pi (a multiple of 2^-47 but not
// of 2^-46) never lies halfway between two multiples of u.
double below_binade(double x) {  // x >= 128
  int e = nk::binary_exponent(x);
  double base = nk::power_of_two(e);
  double unit = nk::power_of_two(e - nk::kFractionBits);
  double units = kTwoPi / unit;
  double whole = static_cast<double>(static_cast<int64_t>(units));
  double step = (units - whole > 0.5 ? whole + 1.0 : whole) * unit;
  // Two turns of margin keep every skipped subtraction inside the binade; the last few
  // turns, where the result leaves it, are taken one by one.
  double turns = static_cast<double>(static_cast<int64_t>((x - base) / step)) - 2.0;
  if (turns >= 1.0) x = x - turns * step;
  while (x >= base) x = x + -kTwoPi;
  return x;
}

// x > pi: whole turns removed, bit for bit as subtracting 2pi once per turn would.
double turns_removed(double x) {
  if (x >= kNoTurnLimit) {
    // Turn by turn this would never end. Infinity has no angle: NaN. Otherwise the exact
    // remainder by 2pi (the double), moved into [-pi, pi].
    if (!nk::is_finite(x)) return nk::quiet_nan();
    double r = nk::exact_remainder(x, kTwoPi);
    return r > kPi ? r - kTwoPi : r;
  }
  while (x >= kTurnByTurnLimit) x = below_binade(x);
  while (x > kPi) x = x + -kTwoPi;
  return x;
}

}  // namespace

// Rounding to nearest is symmetric, so adding 2pi to a negative angle mirrors subtracting it
// from a positive one, except in the sign of an exact zero: a sum of opposite values is
// +0, so a negative angle that lands on zero turn by turn lands on +0, not -0.
extern "C" double wrap_angle(double x) {
  if (x > kPi) return turns_removed(x);
  if (x < -kPi) {
    double r = -turns_removed(-x);
    return r == 0.0 ? 0.0 : r;
  }
  return x;
}

double sin(double x) {
  double r = wrap_angle(x);
  double r2 = r * r;
  double a = r2 / -6.0 + 1.0;
  double r4 = r2 * r2;
  double r6 = r2 * r4;
  a = a + r4 / 120.0;
  a = a - r6 / 5040.0;
  return r * a;
}

double cos(double x) {
  double r = wrap_angle(x);
  double r2 = r * r;
  double c = -0.5 * r2 + 1.0;
  double r4 = r2 * r2;
  double r6 = r2 * r4;
  c = c + r4 / 24.0;
  c = c - r6 / 720.0;
  return c;
}

float sinf(float x) { return static_cast<float>(sin(x)); }
float cosf(float x) { return static_cast<float>(cos(x)); }
