#pragma once
// Exact arithmetic for the last step of a decimal conversion: a rational rounded once to the
// nearest double, and mantissas whose product with a power of ten lands next to a midpoint
// between two doubles, where anything short of exact arithmetic can pick the wrong neighbour.

#include <gmpxx.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace nk::test {

inline mpq_class power_of_two(long k) {
  mpq_class r(1);
  if (k >= 0) mpq_mul_2exp(r.get_mpq_t(), r.get_mpq_t(), k);
  else mpq_div_2exp(r.get_mpq_t(), r.get_mpq_t(), -k);
  return r;
}

inline mpq_class power_of_ten(int e) {
  mpz_class p;
  mpz_ui_pow_ui(p.get_mpz_t(), 10, std::abs(e));
  return e >= 0 ? mpq_class(p) : mpq_class(1) / mpq_class(p);
}

// The exponent of the last place of the doubles next to a positive x: 52 bits below its
// leading bit, and never below the last place of the subnormals.
inline long last_place(const mpq_class& x) {
  mpz_class num = x.get_num(), den = x.get_den();
  long lead = static_cast<long>(mpz_sizeinbase(num.get_mpz_t(), 2)) -
              static_cast<long>(mpz_sizeinbase(den.get_mpz_t(), 2));
  if (lead >= 0 ? num < den << lead : num << -lead < den) --lead;
  return std::max(lead - 52, -1074L);
}

struct Rounded {
  double value;
  mpq_class offset;  // where x lies between two doubles, in last places: 0 on the midpoint
};

// x > 0 rounded once to the nearest double, ties to even; past the largest, infinity.
inline Rounded round_exactly(const mpq_class& x) {
  long q = last_place(x);
  mpz_class num = x.get_num(), den = x.get_den();
  if (q < 0) num <<= -q;
  else den <<= q;
  mpz_class n = num / den, r = num % den;
  Rounded out{0, mpq_class(2 * r - den, 2 * den)};
  out.offset.canonicalize();
  if (2 * r > den || (2 * r == den && mpz_odd_p(n.get_mpz_t()))) ++n;
  bool overflow = static_cast<long>(mpz_sizeinbase(n.get_mpz_t(), 2)) + q > 1024;
  out.value = overflow ? std::numeric_limits<double>::infinity() : std::ldexp(n.get_d(), q);
  return out;
}

// A mantissa m whose product m * alpha (a mantissa's product with 10^e, in last places of the
// result) lies about 2^-window_bits from a half-integer: among the mantissas within
// 2^window_bits of `center`, the closest vector of the lattice of (mantissa step, the step's
// move of the product), after Lagrange reduction and Babai rounding. 0 if it falls outside.
inline uint64_t near_midpoint_mantissa(const mpq_class& alpha, uint64_t center, int window_bits) {
  using Vector = std::array<mpz_class, 2>;
  auto dot = [](const Vector& a, const Vector& b) -> mpz_class {
    return a[0] * b[0] + a[1] * b[1];
  };
  auto nearest = [](const mpz_class& a, const mpz_class& b) -> mpz_class {  // a / b rounded, b > 0
    mpz_class q, twice_b = 2 * b, twice_a = 2 * a + b;
    mpz_fdiv_q(q.get_mpz_t(), twice_a.get_mpz_t(), twice_b.get_mpz_t());
    return q;
  };
  // Doubled, so that the half-integer target is whole: m * a / b, target b / 2 modulo b.
  mpz_class a = 2 * alpha.get_num(), b = 2 * alpha.get_den();
  mpz_class c = static_cast<unsigned long>(center);
  mpz_class target = alpha.get_den() - c * a % b;  // the move that puts center on a midpoint
  mpz_class scale = mpz_class(1) << (2 * window_bits - 2);  // half a window weighs as its move
  Vector u{b, a * scale}, v{0, b * scale};
  for (;;) {
    if (dot(u, u) > dot(v, v)) std::swap(u, v);
    mpz_class mu = nearest(dot(u, v), dot(u, u));
    if (mu == 0) break;
    v[0] -= mu * u[0];
    v[1] -= mu * u[1];
  }
  // The point (0, target * scale) in the reduced basis, rounded to lattice coordinates.
  mpz_class det = u[0] * v[1] - u[1] * v[0], x = -target * scale * v[0], y = u[0] * target * scale;
  if (det < 0) {
    det = -det;
    x = -x;
    y = -y;
  }
  mpz_class step = (nearest(x, det) * u[0] + nearest(y, det) * v[0]) / b;
  return abs(step) > mpz_class(1) << window_bits ? 0 : mpz_class(c + step).get_ui();
}

// An odd j < 2^53 whose j * 5^e has 54 bits, 1 <= e <= 23, shifted to at least 2^36: its
// product with 10^e lies exactly halfway between two doubles.
inline uint64_t halfway_mantissa(int e, std::mt19937_64& random) {
  mpz_class five, low, high;
  mpz_ui_pow_ui(five.get_mpz_t(), 5, e);
  mpz_cdiv_q(low.get_mpz_t(), mpz_class(mpz_class(1) << 53).get_mpz_t(), five.get_mpz_t());
  high = ((mpz_class(1) << 54) - 1) / five;
  uint64_t j = (low.get_ui() + random() % (high.get_ui() - low.get_ui() + 1)) | 1;
  if (j > high) j -= 2;
  int width = static_cast<int>(std::bit_width(j)), least = std::max(0, 36 - width);
  return j << (least + random() % (54 - width - least));
}

struct Product {
  uint64_t mantissa;  // 0: none found
  int e;
};

// A mantissa m and an exponent |e| >= 24 such that m * 2^s * 10^e lies in [2^binade,
// 2^(binade + 1)) next to a midpoint, for -1071 <= binade <= 1023. e puts the binade's first
// mantissa between 2^44 and 2^52, so that windows of 2^36 to 2^50 mantissas each side fit in
// it; the window spans a few midpoints even among the subnormals.
inline Product near_midpoint_product(int binade, int s, std::mt19937_64& random) {
  const double log2_10 = std::log2(10.0);
  int low = static_cast<int>(std::ceil((binade - 52 - s) / log2_10));
  int high = static_cast<int>(std::floor((binade - 44 - s) / log2_10));
  int e = low + static_cast<int>(random() % (high - low + 1));
  if (std::abs(e) < 24) return {0, e};
  mpq_class scale = power_of_ten(e) * power_of_two(s);
  mpq_class first = power_of_two(binade) / scale;
  mpz_class lowest;
  mpz_cdiv_q(lowest.get_mpz_t(), first.get_num_mpz_t(), first.get_den_mpz_t());
  uint64_t m_low = lowest.get_ui();
  int most = std::min(50, static_cast<int>(std::bit_width(m_low)) - 2);
  int window_bits = most - static_cast<int>(random() % std::min(8, binade + 1073));
  uint64_t window = uint64_t{1} << window_bits;
  uint64_t center = m_low + window + random() % (m_low - 2 * window + 1);
  mpq_class alpha = scale / power_of_two(std::max(binade - 52, -1074));
  return {near_midpoint_mantissa(alpha, center, window_bits), e};
}

}  // namespace nk::test
