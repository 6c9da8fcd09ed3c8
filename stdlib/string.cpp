// String functions. strlen, strcmp and strncmp read sixteen bytes at a time where that is
// safe (stdlib/byte_vectors.h); the rest are plain byte loops. The compiler would turn those
// loops into calls to themselves; -fno-builtin is what keeps it from doing so.

#include <stdlib.h>
#include <string.h>

#include "stdlib/byte_vectors.h"

namespace {

using nk::Bytes16;
using Byte = unsigned char;


bool on_valgrind() {
  volatile unsigned long request[6] = {0x1001, 0, 0, 0, 0, 0};  // RUNNING_ON_VALGRIND
  unsigned long answer = 0;
  __asm__ volatile(
      "rolq $3, %%rdi; rolq $13, %%rdi; rolq $61, %%rdi; rolq $51, %%rdi; xchgq %%rbx, %%rbx"
      : "+d"(answer)
      : "a"(&request[0])
      : "cc", "memory");
  return answer != 0;
}

// For 16 bytes of a against b: a bit for each byte that differs or where a ends.
Bytes16 stops(const Byte* a, const Byte* b) {
  Bytes16 x = nk::load(a);
  return _mm_min_epu8(_mm_cmpeq_epi8(x, nk::load(b)), x);  // 0 where they differ or x is 0
}
unsigned stop_mask(const Byte* a, const Byte* b) { return nk::zero_mask(stops(a, b)); }

int difference_at(const Byte* a, const Byte* b, size_t i) { return a[i] - b[i]; }

size_t smaller(size_t x, size_t y) { return x < y ? x : y; }

// Compares a and b from byte 0 up to limit positions. Unaligned reads of 16 run while both
// pages have room, four at a time in a long run. Within 16 bytes of a page end the read backs
// off to end there, and the bytes it repeats are masked out: they belong to the strings or to
// the pages where they start, so the read cannot fault.
int compare_strings(const Byte* a, const Byte* b, size_t limit) {
  for (size_t i = 0; i < limit;) {
    size_t room = smaller(nk::page_room(a + i), nk::page_room(b + i));
    size_t left = limit - i;
    if (room >= 16 && left >= 16) {
      size_t stop = i + smaller(room, left) / 16 * 16;
      for (size_t short_run = smaller(stop, i + 64); i < short_run; i += 16)  // short strings end here
        if (unsigned m = stop_mask(a + i, b + i)) return difference_at(a, b, i + nk::lowest_bit(m));
      for (; i + 64 <= stop; i += 64) {
        Bytes16 low = _mm_min_epu8(stops(a + i, b + i), stops(a + i + 16, b + i + 16));
        Bytes16 high = _mm_min_epu8(stops(a + i + 32, b + i + 32), stops(a + i + 48, b + i + 48));
        if (nk::zero_mask(_mm_min_epu8(low, high))) break;
      }
      for (; i < stop; i += 16)
        if (unsigned m = stop_mask(a + i, b + i)) return difference_at(a, b, i + nk::lowest_bit(m));
      continue;
    }
    unsigned m;
    size_t step = smaller(room, 16);
    if (room >= 16) {
      m = stop_mask(a + i, b + i);
    } else if (i + nk::back_room(a) >= 16 - room && i + nk::back_room(b) >= 16 - room) {
      m = stop_mask(a + i - (16 - room), b + i - (16 - room)) >> (16 - room);
    } else {  // at the start, one near its page end and the other near its page start
      for (size_t stop = i + smaller(room, left); i < stop; ++i)
        if (a[i] != b[i] || a[i] == 0) return difference_at(a, b, i);
      continue;
    }
    if (left < step) m &= (1u << left) - 1;
    if (m) return difference_at(a, b, i + nk::lowest_bit(m));
    i += step;
  }
  return 0;
}

}  // namespace

namespace {

void cpuid(unsigned leaf, unsigned regs[4]) {
  __asm__("cpuid" : "=a"(regs[0]), "=b"(regs[1]), "=c"(regs[2]), "=d"(regs[3]) : "a"(leaf), "c"(0));
}

bool avx2_usable() {
  unsigned regs[4];
  cpuid(0, regs);
  if (regs[0] < 7) return false;
  cpuid(1, regs);
  constexpr unsigned kOsxsave = 1u << 27, kAvx = 1u << 28;
  if ((regs[2] & (kOsxsave | kAvx)) != (kOsxsave | kAvx)) return false;
  unsigned low, high;
  __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  if ((low & 6) != 6) return false;  // XMM and YMM state saved by the system
  cpuid(7, regs);
  return regs[1] & (1u << 5);
}

}  // namespace

nk::ReadMode nk::gReadMode;

nk::ReadMode nk::settle_read_mode() {
  gReadMode = on_valgrind() ? ReadMode::bytewise : avx2_usable() ? ReadMode::avx2 : ReadMode::sse2;
  return gReadMode;
}

namespace {

// Aligned groups of 16 up to a 64-byte boundary, then of 64.
size_t string_length(const char* s) {
  size_t offset = nk::address(s) & 15;
  const char* group = s - offset;
  unsigned m = nk::zero_mask(nk::load_aligned(group)) >> offset;
  if (m) return nk::lowest_bit(m);
  for (group += 16; nk::address(group) & 63; group += 16)
    if ((m = nk::zero_mask(nk::load_aligned(group)))) return size_t(group - s) + nk::lowest_bit(m);
  for (;; group += 64) {
    Bytes16 a = nk::load_aligned(group), b = nk::load_aligned(group + 16);
    Bytes16 c = nk::load_aligned(group + 32), d = nk::load_aligned(group + 48);
    Bytes16 least = _mm_min_epu8(_mm_min_epu8(a, b), _mm_min_epu8(c, d));
    if (nk::zero_mask(least)) {
      uint64_t all = nk::zero_mask(a) | uint64_t{nk::zero_mask(b)} << 16 |
                     uint64_t{nk::zero_mask(c)} << 32 | uint64_t{nk::zero_mask(d)} << 48;
      return size_t(group - s) + nk::lowest_bit(all);
    }
  }
}

}  // namespace

size_t strlen(const char* s) {
  if (s == nullptr) return 0;
  switch (nk::gReadMode) {
    case nk::ReadMode::avx2:
      return nk::string_length_avx2(s);
    case nk::ReadMode::sse2:
      return string_length(s);
    case nk::ReadMode::bytewise: {
      size_t n = 0;
      while (s[n]) ++n;
      return n;
    }
    case nk::ReadMode::unknown:
      break;
  }
  return nk::once_settled(strlen, s);
}

int strcmp(const char* a, const char* b) {
  const Byte* x = reinterpret_cast<const Byte*>(a);
  const Byte* y = reinterpret_cast<const Byte*>(b);
  switch (nk::gReadMode) {
    case nk::ReadMode::avx2:
      return nk::compare_strings_avx2(x, y, SIZE_MAX);
    case nk::ReadMode::sse2:
      return compare_strings(x, y, SIZE_MAX);
    case nk::ReadMode::bytewise:
      while (*x && *x == *y) ++x, ++y;
      return *x - *y;
    case nk::ReadMode::unknown:
      break;
  }
  return nk::once_settled(strcmp, a, b);
}

int strncmp(const char* a, const char* b, size_t n) {
  const Byte* x = reinterpret_cast<const Byte*>(a);
  const Byte* y = reinterpret_cast<const Byte*>(b);
  switch (nk::gReadMode) {
    case nk::ReadMode::avx2:
      return nk::compare_strings_avx2(x, y, n);
    case nk::ReadMode::sse2:
      return compare_strings(x, y, n);
    case nk::ReadMode::bytewise:
      for (size_t i = 0; i < n; ++i) {
        if (x[i] != y[i]) return x[i] - y[i];
        if (x[i] == 0) return 0;
      }
      return 0;
    case nk::ReadMode::unknown:
      break;
  }
  return nk::once_settled(strncmp, a, b, n);
}

int strcoll(const char* a, const char* b) { return strcmp(a, b); }

char* strcpy(char* dst, const char* src) {
  for (size_t i = 0; (dst[i] = src[i]) != 0; ++i) {
  }
  return dst;
}

char* strdup(const char* s) {
  if (s == nullptr) return nullptr;
  size_t size = strlen(s) + 1;
  char* copy = static_cast<char*>(malloc(size));
  if (copy) memcpy(copy, s, size);
  return copy;
}

char* strchr(const char* s, int c) {
  char wanted = static_cast<char>(c);
  for (;; ++s) {
    if (*s == wanted) return const_cast<char*>(s);
    if (*s == 0) return nullptr;
  }
}

namespace {

// The bytes of a set as 256 bits: one look-up per byte scanned, whatever the set's length
// (Lua's string.format calls strspn with a set of fourteen for every conversion).
class ByteSet {
 public:
  explicit ByteSet(const char* set) {
    for (; *set; ++set) add(static_cast<unsigned char>(*set));
  }
  bool has(char c) const {
    auto byte = static_cast<unsigned char>(c);
    return bits_[byte >> 6] >> (byte & 63) & 1;
  }

 private:
  void add(unsigned char byte) { bits_[byte >> 6] |= uint64_t{1} << (byte & 63); }
  uint64_t bits_[4] = {};
};

}  // namespace

size_t strspn(const char* s, const char* set) {
  ByteSet bytes(set);
  size_t n = 0;
  while (s[n] && bytes.has(s[n])) ++n;
  return n;
}

char* strpbrk(const char* s, const char* set) {
  ByteSet bytes(set);
  for (; *s; ++s)
    if (bytes.has(*s)) return const_cast<char*>(s);
  return nullptr;
}

char* strstr(const char* haystack, const char* needle) {
  if (*needle == 0) return const_cast<char*>(haystack);
  for (; *haystack; ++haystack) {
    size_t i = 0;
    while (needle[i] && haystack[i] == needle[i]) ++i;
    if (needle[i] == 0) return const_cast<char*>(haystack);
  }
  return nullptr;
}
