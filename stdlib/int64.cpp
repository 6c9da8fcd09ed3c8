// The 64-bit integer routines a compiler may call, and abs. Nothing here traps: a zero
// divisor gives 0, and out-of-range shift counts give the saturated result.

#include <stdint.h>
#include <stdlib.h>

namespace {

uint32_t high_half(uint64_t value) { return static_cast<uint32_t>(value >> 32); }
uint32_t low_half(uint64_t value) { return static_cast<uint32_t>(value); }
uint64_t join(uint32_t high, uint32_t low) { return (uint64_t{high} << 32) | low; }

// Restoring shift-and-subtract division; a zero divisor gives quotient and remainder 0.
uint64_t udivmod64(uint64_t dividend, uint64_t divisor, uint64_t* remainder) {
  uint64_t quotient = 0;
  uint64_t rest = 0;
  if (divisor != 0) {
    for (int i = 63; i >= 0; --i) {
      rest = (rest << 1) | ((dividend >> i) & 1);
      if (rest >= divisor) {
        rest -= divisor;
        quotient |= uint64_t{1} << i;
      }
    }
  }
  if (remainder) *remainder = rest;
  return quotient;
}

// Magnitudes are taken in unsigned arithmetic so that the most negative value has one.
uint64_t magnitude(int64_t value) {
  return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}
int64_t with_sign(uint64_t value, bool negative) {
  return static_cast<int64_t>(negative ? 0 - value : value);
}

}  // namespace

int abs(int x) {
  // The most negative value has no positive counterpart and comes back unchanged.
  return x < 0 ? static_cast<int>(0u - static_cast<unsigned>(x)) : x;
}

#pragma GCC visibility push(default)
extern "C" {

int64_t __ashldi3(int64_t a, int32_t n) {
  if (n <= 0) return a;
  if (n > 63) return 0;
  uint32_t high = high_half(a), low = low_half(a);
  if (n >= 32) return static_cast<int64_t>(join(low << (n - 32), 0));
  return static_cast<int64_t>(join((high << n) | (low >> (32 - n)), low << n));
}

uint64_t __lshrdi3(uint64_t a, int32_t n) {
  if (n <= 0) return a;
  if (n > 63) return 0;
  uint32_t high = high_half(a), low = low_half(a);
  if (n >= 32) return join(0, high >> (n - 32));
  return join(high >> n, (low >> n) | (high << (32 - n)));
}

int64_t __ashrdi3(int64_t a, int32_t n) {
  if (n <= 0) return a;
  if (n > 63) return a < 0 ? -1 : 0;
  int32_t high = static_cast<int32_t>(high_half(a));
  uint32_t low = low_half(a);
  // Right shifts of negative values are arithmetic on this compiler (and in C++20).
  uint32_t fill = static_cast<uint32_t>(high >> 31);
  if (n >= 32) return static_cast<int64_t>(join(fill, static_cast<uint32_t>(high >> (n - 32))));
  return static_cast<int64_t>(
      join(static_cast<uint32_t>(high >> n), (low >> n) | (static_cast<uint32_t>(high) << (32 - n))));
}

uint64_t __udivdi3(uint64_t a, uint64_t b) { return udivmod64(a, b, nullptr); }

uint64_t __umoddi3(uint64_t a, uint64_t b) {
  uint64_t remainder;
  udivmod64(a, b, &remainder);
  return remainder;
}

// Truncates toward zero. The most negative value divided by -1 wraps to itself instead of
// trapping.
int64_t __divdi3(int64_t a, int64_t b) {
  return with_sign(udivmod64(magnitude(a), magnitude(b), nullptr), (a < 0) != (b < 0));
}

// The remainder takes the sign of the dividend.
int64_t __moddi3(int64_t a, int64_t b) {
  uint64_t remainder;
  udivmod64(magnitude(a), magnitude(b), &remainder);
  return with_sign(remainder, a < 0);
}

}  // extern "C"
#pragma GCC visibility pop
