// A fixed-capacity unsigned big integer, enough for the exact decimal value of any double
// and for correctly rounded decimal-to-double conversion. Plain C++ with no library
// calls, so the same code is tested natively against the host's C library.
#pragma once
#include <stdint.h>

namespace nklua {

class BigNum {
 public:
  static constexpr int kWords = 130;  // 4160 bits: 10^1130 and 2^1100 * 10^...

  void set(uint64_t v) {
    size_ = 0;
    while (v) {
      w_[size_++] = static_cast<uint32_t>(v);
      v >>= 32;
    }
  }
  bool is_zero() const { return size_ == 0; }
  int size() const { return size_; }
  uint32_t word(int i) const { return w_[i]; }

  void mul_small(uint32_t m, uint32_t add = 0) {
    uint64_t carry = add;
    for (int i = 0; i < size_; ++i) {
      uint64_t t = static_cast<uint64_t>(w_[i]) * m + carry;
      w_[i] = static_cast<uint32_t>(t);
      carry = t >> 32;
    }
    if (carry && size_ < kWords) w_[size_++] = static_cast<uint32_t>(carry);
  }
  // Divides in place and returns the remainder.
  uint32_t div_small(uint32_t d) {
    uint64_t rem = 0;
    for (int i = size_ - 1; i >= 0; --i) {
      uint64_t t = (rem << 32) | w_[i];
      w_[i] = static_cast<uint32_t>(t / d);
      rem = t % d;
    }
    trim();
    return static_cast<uint32_t>(rem);
  }
  void mul_pow5(int k) {
    for (; k >= 13; k -= 13) mul_small(1220703125u);  // 5^13
    static constexpr uint32_t kSmall[13] = {1, 5, 25, 125, 625, 3125, 15625, 78125, 390625,
                                            1953125, 9765625, 48828125, 244140625};
    if (k) mul_small(kSmall[k]);
  }
  void mul_pow10(int k) {
    for (; k >= 9; k -= 9) mul_small(1000000000u);
    static constexpr uint32_t kSmall[9] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000,
                                           100000000};
    if (k) mul_small(kSmall[k]);
  }
  void shift_left(int bits) {
    if (is_zero() || bits == 0) return;
    int words = bits / 32, rest = bits % 32;
    int n = size_ + words + 1;
    if (n > kWords) n = kWords;
    for (int i = n - 1; i >= 0; --i) {
      int src = i - words;
      uint64_t hi = src >= 0 && src < size_ ? w_[src] : 0;
      uint64_t lo = src - 1 >= 0 && src - 1 < size_ ? w_[src - 1] : 0;
      w_[i] = rest ? static_cast<uint32_t>((hi << rest) | (lo >> (32 - rest)))
                   : static_cast<uint32_t>(hi);
    }
    size_ = n;
    trim();
  }
  int bit_length() const {
    if (!size_) return 0;
    uint32_t top = w_[size_ - 1];
    int bits = 0;
    while (top) {
      ++bits;
      top >>= 1;
    }
    return (size_ - 1) * 32 + bits;
  }
  bool bit(int i) const {
    int word = i / 32;
    return word < size_ && (w_[word] >> (i % 32)) & 1;
  }
  // The 64 bits from bit 'low' upwards, and whether any bit below 'low' is set.
  uint64_t bits_from(int low, bool* below) const {
    uint64_t v = 0;
    for (int i = 63; i >= 0; --i) v = (v << 1) | (bit(low + i) ? 1 : 0);
    *below = false;
    for (int i = 0; i < low && !*below; ++i) *below = bit(i);
    return v;
  }
  int compare(const BigNum& o) const {
    if (size_ != o.size_) return size_ < o.size_ ? -1 : 1;
    for (int i = size_ - 1; i >= 0; --i)
      if (w_[i] != o.w_[i]) return w_[i] < o.w_[i] ? -1 : 1;
    return 0;
  }
  void subtract(const BigNum& o) {  // requires *this >= o
    int64_t borrow = 0;
    for (int i = 0; i < size_; ++i) {
      int64_t t = static_cast<int64_t>(w_[i]) - (i < o.size_ ? o.w_[i] : 0) - borrow;
      borrow = t < 0;
      w_[i] = static_cast<uint32_t>(t + (borrow << 32));
    }
    trim();
  }
  void shift_right_one() {
    for (int i = 0; i < size_; ++i)
      w_[i] = (w_[i] >> 1) | (i + 1 < size_ ? w_[i + 1] << 31 : 0);
    trim();
  }

 private:
  void trim() {
    while (size_ && !w_[size_ - 1]) --size_;
  }
  uint32_t w_[kWords];
  int size_ = 0;
};

}  // namespace nklua
