// Memory block functions: memcpy, memmove, memset, bzero, memcmp, memchr. Results are those
// of plain byte loops; the work is done sixteen bytes at a time.

#include <string.h>
#include <strings.h>

#include "stdlib/byte_vectors.h"

namespace {

using nk::Bytes16;
using nk::load;
using nk::store;
using Byte = unsigned char;

// Blocks of at most 128 bytes are read whole before any byte is written, so they may
// overlap in either direction.
[[gnu::always_inline]] inline void copy_small(Byte* d, const Byte* s, size_t n) {
  if (n >= 16) {
    if (n <= 32) {
      Bytes16 a = load(s), b = load(s + n - 16);
      store(d, a);
      store(d + n - 16, b);
    } else if (n <= 64) {
      Bytes16 a = load(s), b = load(s + 16), c = load(s + n - 32), e = load(s + n - 16);
      store(d, a);
      store(d + 16, b);
      store(d + n - 32, c);
      store(d + n - 16, e);
    } else {
      Bytes16 a = load(s), b = load(s + 16), c = load(s + 32), e = load(s + 48);
      Bytes16 f = load(s + n - 64), g = load(s + n - 48), h = load(s + n - 32), i = load(s + n - 16);
      store(d, a);
      store(d + 16, b);
      store(d + 32, c);
      store(d + 48, e);
      store(d + n - 64, f);
      store(d + n - 48, g);
      store(d + n - 32, h);
      store(d + n - 16, i);
    }
  } else if (n >= 8) {
    uint64_t a = nk::load_scalar<nk::Unaligned64>(s), b = nk::load_scalar<nk::Unaligned64>(s + n - 8);
    nk::store_scalar<nk::Unaligned64>(d, a);
    nk::store_scalar<nk::Unaligned64>(d + n - 8, b);
  } else if (n >= 4) {
    uint32_t a = nk::load_scalar<nk::Unaligned32>(s), b = nk::load_scalar<nk::Unaligned32>(s + n - 4);
    nk::store_scalar<nk::Unaligned32>(d, a);
    nk::store_scalar<nk::Unaligned32>(d + n - 4, b);
  } else if (n >= 2) {
    uint16_t a = nk::load_scalar<nk::Unaligned16>(s), b = nk::load_scalar<nk::Unaligned16>(s + n - 2);
    nk::store_scalar<nk::Unaligned16>(d, a);
    nk::store_scalar<nk::Unaligned16>(d + n - 2, b);
  } else if (n == 1) {
    *d = *s;
  }
}

constexpr size_t kSmall = 128;

// From here on the processor's string moves outrun the loops below.
constexpr size_t kStringMove = 4096;

// n bytes forward, one at a time as the instruction defines it; correct when d lies below s
// or the blocks do not overlap.
void* move_bytes(Byte* d, const Byte* s, size_t n) {
  void* dst = d;
  __asm__ volatile("rep movsb" : "+D"(d), "+S"(s), "+c"(n) : : "memory");
  return dst;
}

void store_bytes(Byte* d, Byte c, size_t n) {
  __asm__ volatile("rep stosb" : "+D"(d), "+c"(n) : "a"(c) : "memory");
}

// n > kSmall; correct when d lies below s or the blocks do not overlap. The first 16 and the
// last 64 bytes are read up front and written last; in between, stores are aligned and each
// group is read before it is written, ahead of every store that could reach it. Returns d, as
// do the AVX2 versions, so that memcpy and memmove can end in a jump to them.
void* copy_forward(Byte* d, const Byte* s, size_t n) {
  if (n >= kStringMove) return move_bytes(d, s, n);
  if (nk::gReadMode == nk::ReadMode::avx2) return nk::copy_forward_avx2(d, s, n);
  if (nk::gReadMode == nk::ReadMode::unknown) return nk::once_settled(copy_forward, d, s, n);
  Bytes16 head = load(s);
  Bytes16 t0 = load(s + n - 64), t1 = load(s + n - 48), t2 = load(s + n - 32), t3 = load(s + n - 16);
  size_t skip = 16 - (nk::address(d) & 15);
  Byte* to = d + skip;
  const Byte* from = s + skip;
  for (size_t left = n - skip; left > 64; left -= 64, to += 64, from += 64) {
    Bytes16 a = load(from), b = load(from + 16), c = load(from + 32), e = load(from + 48);
    nk::store_aligned(to, a);
    nk::store_aligned(to + 16, b);
    nk::store_aligned(to + 32, c);
    nk::store_aligned(to + 48, e);
  }
  store(d + n - 64, t0);
  store(d + n - 48, t1);
  store(d + n - 32, t2);
  store(d + n - 16, t3);
  store(d, head);
  return d;
}

// The mirror image, for d above s: from the end down.
void* copy_backward(Byte* d, const Byte* s, size_t n) {
  if (nk::gReadMode == nk::ReadMode::avx2) return nk::copy_backward_avx2(d, s, n);
  if (nk::gReadMode == nk::ReadMode::unknown) return nk::once_settled(copy_backward, d, s, n);
  Bytes16 tail = load(s + n - 16);
  Bytes16 h0 = load(s), h1 = load(s + 16), h2 = load(s + 32), h3 = load(s + 48);
  size_t skip = nk::address(d + n) & 15;
  Byte* to = d + n - skip;
  const Byte* from = s + n - skip;
  for (size_t left = n - skip; left > 64; left -= 64) {
    to -= 64;
    from -= 64;
    Bytes16 a = load(from), b = load(from + 16), c = load(from + 32), e = load(from + 48);
    nk::store_aligned(to, a);
    nk::store_aligned(to + 16, b);
    nk::store_aligned(to + 32, c);
    nk::store_aligned(to + 48, e);
  }
  store(d, h0);
  store(d + 16, h1);
  store(d + 32, h2);
  store(d + 48, h3);
  store(d + n - 16, tail);
  return d;
}

// Whether copying forward could read a byte it has already written.
bool overlaps_ahead(const Byte* d, const Byte* s, size_t n) {
  return nk::address(d) - nk::address(s) - 1 < n - 1;  // s < d < s + n
}

// The first of 16 bytes that differ, as memcmp reports it; mask has a bit for each equal byte.
int first_difference(const Byte* a, const Byte* b, unsigned equal) {
  unsigned i = nk::lowest_bit(~equal);
  return a[i] - b[i];
}

int compare_word(uint64_t x, uint64_t y) {
  unsigned shift = nk::lowest_bit(x ^ y) & ~7u;
  return static_cast<int>((x >> shift) & 0xFF) - static_cast<int>((y >> shift) & 0xFF);
}

// The offset of the first byte equal to the needle in four aligned groups of 16, known to
// hold one.
unsigned first_in_64(const Byte* p, Bytes16 needle) {
  for (unsigned i = 0;; i += 16)
    if (unsigned m = nk::equal_mask(nk::load_aligned(p + i), needle)) return i + nk::lowest_bit(m);
}

}  // namespace

void* memcpy(void* dst, const void* src, size_t n) {
  Byte* d = static_cast<Byte*>(dst);
  const Byte* s = static_cast<const Byte*>(src);
  if (overlaps_ahead(d, s, n)) {
    // The rules copy byte 0 first, one at a time: bytes already written are copied again.
    for (size_t i = 0; i < n; ++i) d[i] = s[i];
    return dst;
  }
  if (n > kSmall) return copy_forward(d, s, n);
  copy_small(d, s, n);
  return dst;
}

void* memmove(void* dst, const void* src, size_t n) {
  if (n == 0 || dst == src) return dst;
  Byte* d = static_cast<Byte*>(dst);
  const Byte* s = static_cast<const Byte*>(src);
  if (n > kSmall) return overlaps_ahead(d, s, n) ? copy_backward(d, s, n) : copy_forward(d, s, n);
  copy_small(d, s, n);
  return dst;
}

void* memset(void* dst, int c, size_t n) {
  Byte* d = static_cast<Byte*>(dst);
  if (n < 16) {
    uint64_t word = static_cast<Byte>(c) * 0x0101010101010101ull;
    if (n >= 8) {
      nk::store_scalar<nk::Unaligned64>(d, word);
      nk::store_scalar<nk::Unaligned64>(d + n - 8, word);
    } else if (n >= 4) {
      nk::store_scalar<nk::Unaligned32>(d, word);
      nk::store_scalar<nk::Unaligned32>(d + n - 4, word);
    } else if (n >= 2) {
      nk::store_scalar<nk::Unaligned16>(d, word);
      nk::store_scalar<nk::Unaligned16>(d + n - 2, word);
    } else if (n == 1) {
      *d = static_cast<Byte>(c);
    }
    return dst;
  }
  if (n >= kStringMove) {
    store_bytes(d, static_cast<Byte>(c), n);
    return dst;
  }
  if (n > 64 && nk::gReadMode == nk::ReadMode::avx2) return nk::fill_avx2(d, static_cast<Byte>(c), n);
  if (n > 64 && nk::gReadMode == nk::ReadMode::unknown) return nk::once_settled(memset, dst, c, n);
  Bytes16 v = _mm_set1_epi8(static_cast<char>(c));
  store(d, v);
  store(d + n - 16, v);
  if (n <= 32) return dst;
  store(d + 16, v);
  store(d + n - 32, v);
  if (n <= 64) return dst;
  // Aligned groups of 64 from the first boundary past d; the last 64 bytes are stored apart.
  Byte* end = d + n - 64;
  store(end, v);
  store(end + 16, v);
  for (Byte* p = reinterpret_cast<Byte*>((nk::address(d) + 16) & ~uintptr_t{15}); p < end; p += 64) {
    nk::store_aligned(p, v);
    nk::store_aligned(p + 16, v);
    nk::store_aligned(p + 32, v);
    nk::store_aligned(p + 48, v);
  }
  return dst;
}

void bzero(void* dst, size_t n) { memset(dst, 0, n); }

void __bzero(void* dst, size_t n) { memset(dst, 0, n); }

int memcmp(const void* left, const void* right, size_t n) {
  const Byte* a = static_cast<const Byte*>(left);
  const Byte* b = static_cast<const Byte*>(right);
  if (n < 16) {
    if (n >= 8) {
      uint64_t x = nk::load_scalar<nk::Unaligned64>(a), y = nk::load_scalar<nk::Unaligned64>(b);
      if (x != y) return compare_word(x, y);
      x = nk::load_scalar<nk::Unaligned64>(a + n - 8);
      y = nk::load_scalar<nk::Unaligned64>(b + n - 8);
      return x == y ? 0 : compare_word(x, y);
    }
    for (size_t i = 0; i < n; ++i)
      if (a[i] != b[i]) return a[i] - b[i];
    return 0;
  }
  if (n <= 32) {
    unsigned equal = nk::equal_mask(load(a), load(b));
    if (equal != 0xFFFF) return first_difference(a, b, equal);
  } else {
    if (nk::gReadMode == nk::ReadMode::avx2) return nk::compare_blocks_avx2(a, b, n);
    if (nk::gReadMode == nk::ReadMode::unknown) return nk::once_settled(memcmp, left, right, n);
    size_t i = 0;
    for (; i + 64 <= n; i += 64) {
      Bytes16 e0 = _mm_cmpeq_epi8(load(a + i), load(b + i));
      Bytes16 e1 = _mm_cmpeq_epi8(load(a + i + 16), load(b + i + 16));
      Bytes16 e2 = _mm_cmpeq_epi8(load(a + i + 32), load(b + i + 32));
      Bytes16 e3 = _mm_cmpeq_epi8(load(a + i + 48), load(b + i + 48));
      Bytes16 all = _mm_and_si128(_mm_and_si128(e0, e1), _mm_and_si128(e2, e3));
      if (_mm_movemask_epi8(all) != 0xFFFF) break;
    }
    for (; i + 16 <= n; i += 16) {
      unsigned equal = nk::equal_mask(load(a + i), load(b + i));
      if (equal != 0xFFFF) return first_difference(a + i, b + i, equal);
    }
    if (i == n) return 0;
  }
  // The last 16 bytes, which may repeat some already compared.
  unsigned equal = nk::equal_mask(load(a + n - 16), load(b + n - 16));
  return equal == 0xFFFF ? 0 : first_difference(a + n - 16, b + n - 16, equal);
}

namespace {

// Aligned groups of 16, then of 64, from the group holding p: each holds a byte of the
// block, and the search stops in the first that holds the byte sought.
const Byte* find_byte(const Byte* p, Byte wanted, size_t n) {
  Bytes16 needle = _mm_set1_epi8(static_cast<char>(wanted));
  size_t offset = nk::address(p) & 15;
  const Byte* group = p - offset;
  // Bytes from group on that belong to the block; n may be as large as size_t allows.
  size_t left = n > SIZE_MAX - offset ? SIZE_MAX : n + offset;
  unsigned m = nk::equal_mask(nk::load_aligned(group), needle) >> offset << offset;
  for (;;) {
    if (m) {
      unsigned i = nk::lowest_bit(m);
      return i < left ? group + i : nullptr;
    }
    if (left <= 16) return nullptr;
    group += 16;
    left -= 16;
    if ((nk::address(group) & 63) == 0) break;
    m = nk::equal_mask(nk::load_aligned(group), needle);
  }
  for (;; group += 64, left -= 64) {
    Bytes16 e0 = _mm_cmpeq_epi8(nk::load_aligned(group), needle);
    Bytes16 e1 = _mm_cmpeq_epi8(nk::load_aligned(group + 16), needle);
    Bytes16 e2 = _mm_cmpeq_epi8(nk::load_aligned(group + 32), needle);
    Bytes16 e3 = _mm_cmpeq_epi8(nk::load_aligned(group + 48), needle);
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(e0, e1), _mm_or_si128(e2, e3)))) {
      unsigned i = first_in_64(group, needle);
      return i < left ? group + i : nullptr;
    }
    if (left <= 64) return nullptr;
  }
}

}  // namespace

void* memchr(const void* s, int c, size_t n) {
  const Byte* p = static_cast<const Byte*>(s);
  Byte wanted = static_cast<Byte>(c);
  if (n == 0) return nullptr;
  switch (nk::gReadMode) {
    case nk::ReadMode::avx2:
      return const_cast<void*>(nk::find_byte_avx2(p, wanted, n));
    case nk::ReadMode::sse2:
      return const_cast<Byte*>(find_byte(p, wanted, n));
    case nk::ReadMode::bytewise:
      for (size_t i = 0; i < n; ++i)
        if (p[i] == wanted) return const_cast<Byte*>(p + i);
      return nullptr;
    case nk::ReadMode::unknown:
      break;
  }
  return nk::once_settled(memchr, s, c, n);
}
