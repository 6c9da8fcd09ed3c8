// The 64-bit integer routines a compiler may call, and abs, checked against the host's
// own arithmetic over values that exercise every half-word boundary.

#include <climits>
#include <cstdint>
#include <vector>

#include "support/library_test.h"

namespace {

class Int64 : public nk::test::LibraryTest {};

const std::vector<int64_t> kValues = {0,
                                      1,
                                      -1,
                                      2,
                                      -7,
                                      7,
                                      0x7FFFFFFF,
                                      0x80000000LL,
                                      0xFFFFFFFFLL,
                                      0x100000000LL,
                                      -0x80000000LL,
                                      0x123456789ABCDEF0LL,
                                      -0x123456789ABCDEF0LL,
                                      INT64_MAX,
                                      INT64_MIN,
                                      INT64_MIN + 1};

TEST_F(Int64, ShiftsAgreeWithHardwareAndSaturateOutOfRange) {
  auto ashl = fn<int64_t(int64_t, int32_t)>("__ashldi3");
  auto lshr = fn<uint64_t(uint64_t, int32_t)>("__lshrdi3");
  auto ashr = fn<int64_t(int64_t, int32_t)>("__ashrdi3");
  for (int64_t v : kValues) {
    uint64_t u = uint64_t(v);
    for (int n = 1; n < 64; ++n) {
      EXPECT_EQ(ashl(v, n), int64_t(u << n)) << v << " << " << n;
      EXPECT_EQ(lshr(u, n), u >> n) << v << " >>> " << n;
      EXPECT_EQ(ashr(v, n), v >> n) << v << " >> " << n;
    }
    for (int n : {0, -1, INT32_MIN}) {
      EXPECT_EQ(ashl(v, n), v);
      EXPECT_EQ(lshr(u, n), u);
      EXPECT_EQ(ashr(v, n), v);
    }
    for (int n : {64, 65, INT32_MAX}) {
      EXPECT_EQ(ashl(v, n), 0);
      EXPECT_EQ(lshr(u, n), 0u);
      EXPECT_EQ(ashr(v, n), v < 0 ? -1 : 0);
    }
  }
}

TEST_F(Int64, DivisionTruncatesTowardZeroAndZeroDivisorGivesZero) {
  auto udiv = fn<uint64_t(uint64_t, uint64_t)>("__udivdi3");
  auto umod = fn<uint64_t(uint64_t, uint64_t)>("__umoddi3");
  auto sdiv = fn<int64_t(int64_t, int64_t)>("__divdi3");
  auto smod = fn<int64_t(int64_t, int64_t)>("__moddi3");
  for (int64_t a : kValues) {
    for (int64_t b : kValues) {
      if (b == 0) continue;
      uint64_t ua = uint64_t(a), ub = uint64_t(b);
      EXPECT_EQ(udiv(ua, ub), ua / ub) << a << " / " << b;
      EXPECT_EQ(umod(ua, ub), ua % ub) << a << " % " << b;
      if (a == INT64_MIN && b == -1) continue;
      EXPECT_EQ(sdiv(a, b), a / b) << a << " / " << b;
      EXPECT_EQ(smod(a, b), a % b) << a << " % " << b;
    }
    EXPECT_EQ(udiv(uint64_t(a), 0), 0u);
    EXPECT_EQ(umod(uint64_t(a), 0), 0u);
    EXPECT_EQ(sdiv(a, 0), 0);
    EXPECT_EQ(smod(a, 0), 0);
  }
  EXPECT_EQ(sdiv(-7, 2), -3);
  EXPECT_EQ(smod(-7, 2), -1);
  EXPECT_EQ(smod(7, -2), 1);
  // The one quotient that does not fit wraps instead of trapping.
  EXPECT_EQ(sdiv(INT64_MIN, -1), INT64_MIN);
  EXPECT_EQ(smod(INT64_MIN, -1), 0);
}

TEST_F(Int64, AbsKeepsTheMostNegativeValue) {
  auto abs = fn<int(int)>("abs");
  EXPECT_EQ(abs(-5), 5);
  EXPECT_EQ(abs(5), 5);
  EXPECT_EQ(abs(0), 0);
  EXPECT_EQ(abs(INT_MIN), INT_MIN);
  EXPECT_EQ(abs(INT_MIN + 1), INT_MAX);
}

}  // namespace
