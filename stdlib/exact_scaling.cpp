// The exact last step of strtod for products that land near a rounding midpoint: v * 10^e
// compared with the midpoints next to a candidate in integer arithmetic, with no rounding.

#include "stdlib/exact_scaling.h"

#include "stdlib/float_bits.h"

namespace {

// Large enough for 5^700 times a 54-bit significand shifted by up to 3000 bits.
constexpr int kLimbs = 150;

// A non-negative integer in 32-bit limbs, least significant first.
struct BigInteger {
  uint32_t limb[kLimbs];
  int size = 0;

  explicit BigInteger(uint64_t value) {
    for (; value; value >>= 32) limb[size++] = static_cast<uint32_t>(value);
  }

  void multiply(uint32_t factor) {
    uint64_t carry = 0;
    for (int i = 0; i < size; ++i) {
      carry += uint64_t{limb[i]} * factor;
      limb[i] = static_cast<uint32_t>(carry);
      carry >>= 32;
    }
    if (carry) limb[size++] = static_cast<uint32_t>(carry);
  }

  void multiply_by_power_of_five(int n) {
    constexpr uint32_t kFiveTo13 = 1220703125;
    for (; n >= 13; n -= 13) multiply(kFiveTo13);
    uint32_t rest = 1;
    for (; n > 0; --n) rest *= 5;
    multiply(rest);
  }

  void shift_left(int bits) {
    int words = bits / 32, part = bits % 32;
    if (size == 0) return;
    limb[size] = 0;
    for (int i = size; i >= 0; --i) {
      uint64_t wide = (uint64_t{limb[i]} << 32 | (i > 0 ? limb[i - 1] : 0)) << part;
      limb[i + words] = static_cast<uint32_t>(wide >> 32);
    }
    for (int i = 0; i < words; ++i) limb[i] = 0;
    size += words + 1;
    while (size > 0 && limb[size - 1] == 0) --size;
  }
};

int compare(const BigInteger& a, const BigInteger& b) {
  if (a.size != b.size) return a.size < b.size ? -1 : 1;
  for (int i = a.size - 1; i >= 0; --i)
    if (a.limb[i] != b.limb[i]) return a.limb[i] < b.limb[i] ? -1 : 1;
  return 0;
}

// A finite non-negative double as significand * 2^exponent (significand < 2^53).
struct Binary {
  uint64_t significand;
  int exponent;
};

Binary binary_of(double x) {
  uint64_t bits = nk::bits_of(x);
  uint64_t field = bits >> nk::kFractionBits;
  uint64_t fraction = bits & nk::kFractionField;
  if (field == 0) return {fraction, 1 - nk::kExponentBias - nk::kFractionBits};
  return {fraction | uint64_t{1} << nk::kFractionBits,
          static_cast<int>(field) - nk::kExponentBias - nk::kFractionBits};
}

// The sign of v * 10^e minus the midpoint between the finite double a and the next one up,
// (2 * significand + 1) * 2^(exponent - 1). Both sides become integers by moving the power
// of five and the powers of two to where they are whole.
int compare_with_midpoint_above(Binary v, int e, double a) {
  Binary low = binary_of(a);
  BigInteger x(v.significand), mid(2 * low.significand + 1);
  int shift = v.exponent + e - (low.exponent - 1);
  if (e >= 0)
    x.multiply_by_power_of_five(e);
  else
    mid.multiply_by_power_of_five(-e);
  if (shift >= 0)
    x.shift_left(shift);
  else
    mid.shift_left(-shift);
  return compare(x, mid);
}

double next_up(double x) { return nk::double_from_bits(nk::bits_of(x) + 1); }
double next_down(double x) { return nk::double_from_bits(nk::bits_of(x) - 1); }
bool is_odd(double x) { return nk::bits_of(x) & 1; }

}  // namespace

double nk::nearest_scaled_by_power_of_ten(double candidate, double v, int e) {
  Binary exact = binary_of(v);
  double largest = double_from_bits(kExponentField - 1);
  if (candidate <= largest) {
    int up = compare_with_midpoint_above(exact, e, candidate);
    if (up > 0 || (up == 0 && is_odd(candidate))) return next_up(candidate);
  }
  if (candidate > 0) {
    double below = next_down(candidate);
    int down = compare_with_midpoint_above(exact, e, below);
    if (down < 0 || (down == 0 && !is_odd(below))) return below;
  }
  return candidate;
}
