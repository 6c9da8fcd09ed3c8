#pragma once
// Bit-level views of IEEE doubles and floats, shared by the number parser and the
// mathematical functions. Everything here is exact: no operation rounds.

#include <stdint.h>

namespace nk {

constexpr uint64_t kSignBit = uint64_t{1} << 63;
constexpr uint64_t kExponentField = 0x7FF0000000000000;
constexpr uint64_t kFractionField = 0x000FFFFFFFFFFFFF;
constexpr int kFractionBits = 52;
constexpr int kExponentBias = 1023;

inline uint64_t bits_of(double x) { return __builtin_bit_cast(uint64_t, x); }
inline double double_from_bits(uint64_t bits) { return __builtin_bit_cast(double, bits); }
inline uint32_t bits_of(float x) { return __builtin_bit_cast(uint32_t, x); }

inline bool is_finite(double x) {
  return static_cast<int64_t>(bits_of(x) & ~kSignBit) < static_cast<int64_t>(kExponentField);
}
inline bool is_infinite(double x) { return (bits_of(x) & ~kSignBit) == kExponentField; }

inline double quiet_nan() { return double_from_bits(0x7FF8000000000000); }
inline double infinity() { return double_from_bits(kExponentField); }

// 2^k for k in [-1074, 1023], subnormal powers included.
inline double power_of_two(int k) {
  if (k >= 1 - kExponentBias)
    return double_from_bits(static_cast<uint64_t>(k + kExponentBias) << kFractionBits);
  return double_from_bits(uint64_t{1} << (k + 1074));
}

// The exponent e of a finite, non-zero x, so that 2^e <= |x| < 2^(e+1).
inline int binary_exponent(double x) {
  uint64_t bits = bits_of(x) & ~kSignBit;
  int field = static_cast<int>(bits >> kFractionBits);
  if (field != 0) return field - kExponentBias;
  // Subnormal: the leading one of the fraction says it.
  int e = -kExponentBias;
  for (uint64_t top = uint64_t{1} << (kFractionBits - 1); (bits & top) == 0; top >>= 1) --e;
  return e;
}

// The remainder of x by y with the quotient truncated and taken exactly, however large
// it is; finite x, finite non-zero y. The result is exact and has the sign of x.
double exact_remainder(double x, double y);

}  // namespace nk
