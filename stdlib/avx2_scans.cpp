// strlen, memchr, memcmp, strcmp and strncmp 32 bytes at a time, for processors with AVX2
// whose registers the system saves (stdlib/byte_vectors.h says when). The same rules as the
// 16-byte versions: aligned groups of 32 and 128 never cross a page, unaligned reads stay
// inside the blocks or the pages of the strings.

#include <immintrin.h>

#include "stdlib/byte_vectors.h"

namespace {

using Bytes32 = __m256i;
using Byte = unsigned char;
using nk::address;
using nk::back_room;
using nk::lowest_bit;
using nk::page_room;

[[gnu::target("avx2")]] inline Bytes32 load32_aligned(const void* p) {
  return _mm256_load_si256(static_cast<const Bytes32*>(p));
}
[[gnu::target("avx2")]] inline Bytes32 load32(const void* p) {
  return _mm256_loadu_si256(static_cast<const Bytes32*>(p));
}
[[gnu::target("avx2")]] inline uint32_t equal_mask32(Bytes32 a, Bytes32 b) {
  return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, b)));
}

// The offset of the first byte equal to needle in four aligned groups of 32, given that
// their combined test found one.
[[gnu::target("avx2")]] unsigned first_in_128(const Byte* p, Bytes32 needle) {
  uint64_t low = equal_mask32(load32_aligned(p), needle) |
                 uint64_t{equal_mask32(load32_aligned(p + 32), needle)} << 32;
  if (low) return nk::lowest_bit(low);
  uint64_t high = equal_mask32(load32_aligned(p + 64), needle) |
                  uint64_t{equal_mask32(load32_aligned(p + 96), needle)} << 32;
  return 64 + nk::lowest_bit(high);
}

}  // namespace

[[gnu::target("avx2")]] size_t nk::string_length_avx2(const char* s) {
  Bytes32 zero = _mm256_setzero_si256();
  size_t offset = address(s) & 31;
  const Byte* group = reinterpret_cast<const Byte*>(s) - offset;
  // The first 32 bytes in one read where that stays in s's page, else the aligned group
  // holding s; either way every byte up to the next aligned group.
  uint32_t m = page_room(s) >= 32 ? equal_mask32(load32(s), zero)
                                  : equal_mask32(load32_aligned(group), zero) >> offset;
  if (m) return lowest_bit(m);
  // Four more groups one by one for the many short strings, then groups of 128 from the
  // 128-byte boundary at or below the first byte not yet seen.
  for (int i = 0; i < 4; ++i)
    if ((m = equal_mask32(load32_aligned(group += 32), zero)))
      return size_t(group - reinterpret_cast<const Byte*>(s)) + lowest_bit(m);
  for (group = reinterpret_cast<const Byte*>(address(group + 32) & ~uintptr_t{127});; group += 128) {
    Bytes32 least = _mm256_min_epu8(_mm256_min_epu8(load32_aligned(group), load32_aligned(group + 32)),
                                    _mm256_min_epu8(load32_aligned(group + 64), load32_aligned(group + 96)));
    if (equal_mask32(least, zero))
      return size_t(group - reinterpret_cast<const Byte*>(s)) + first_in_128(group, zero);
  }
}

[[gnu::target("avx2")]] const void* nk::find_byte_avx2(const void* s, unsigned char c, size_t n) {
  const Byte* p = static_cast<const Byte*>(s);
  Bytes32 needle = _mm256_set1_epi8(static_cast<char>(c));
  size_t offset = address(p) & 31;
  const Byte* group = p - offset;
  // Bytes from group on that belong to the block; n may be as large as size_t allows.
  size_t left = n > SIZE_MAX - offset ? SIZE_MAX : n + offset;
  uint32_t m;
  if (page_room(p) >= 32) {  // the first 32 bytes in one read that stays in p's page
    if ((m = equal_mask32(load32(p), needle))) {
      unsigned i = lowest_bit(m);
      return i < n ? p + i : nullptr;
    }
    if (n <= 32) return nullptr;
  } else {
    m = equal_mask32(load32_aligned(group), needle) >> offset << offset;
  }
  for (;;) {
    if (m) {
      unsigned i = lowest_bit(m);
      return i < left ? group + i : nullptr;
    }
    if (left <= 32) return nullptr;
    group += 32;
    left -= 32;
    if ((address(group) & 127) == 0) break;
    m = equal_mask32(load32_aligned(group), needle);
  }
  for (;; group += 128, left -= 128) {
    Bytes32 any = _mm256_or_si256(
        _mm256_or_si256(_mm256_cmpeq_epi8(load32_aligned(group), needle),
                        _mm256_cmpeq_epi8(load32_aligned(group + 32), needle)),
        _mm256_or_si256(_mm256_cmpeq_epi8(load32_aligned(group + 64), needle),
                        _mm256_cmpeq_epi8(load32_aligned(group + 96), needle)));
    if (_mm256_movemask_epi8(any)) {
      unsigned i = first_in_128(group, needle);
      return i < left ? group + i : nullptr;
    }
    if (left <= 128) return nullptr;
  }
}

// The first and last 32 bytes apart; in between, a is read at aligned addresses, which
// halves the reads that straddle two cache lines.
[[gnu::target("avx2")]] int nk::compare_blocks_avx2(const void* left, const void* right, size_t n) {
  const Byte* a = static_cast<const Byte*>(left);
  const Byte* b = static_cast<const Byte*>(right);
  auto first_difference = [&](size_t i, uint32_t equal) {
    unsigned k = lowest_bit(~equal);
    return a[i + k] - b[i + k];
  };
  uint32_t equal = equal_mask32(load32(a), load32(b));
  if (equal != 0xFFFFFFFF) return first_difference(0, equal);
  if (n > 64) {
    size_t i = 32 - (address(a) & 31);
    for (; i + 128 <= n; i += 128) {
      Bytes32 all = _mm256_and_si256(
          _mm256_and_si256(_mm256_cmpeq_epi8(load32_aligned(a + i), load32(b + i)),
                           _mm256_cmpeq_epi8(load32_aligned(a + i + 32), load32(b + i + 32))),
          _mm256_and_si256(_mm256_cmpeq_epi8(load32_aligned(a + i + 64), load32(b + i + 64)),
                           _mm256_cmpeq_epi8(load32_aligned(a + i + 96), load32(b + i + 96))));
      if (static_cast<uint32_t>(_mm256_movemask_epi8(all)) != 0xFFFFFFFF) break;
    }
    for (; i + 32 <= n; i += 32) {
      equal = equal_mask32(load32_aligned(a + i), load32(b + i));
      if (equal != 0xFFFFFFFF) return first_difference(i, equal);
    }
  }
  equal = equal_mask32(load32(a + n - 32), load32(b + n - 32));
  return equal == 0xFFFFFFFF ? 0 : first_difference(n - 32, equal);
}

namespace {

// For 32 bytes of a against b: 0 in each byte that differs or where a ends.
[[gnu::target("avx2")]] inline Bytes32 stops32(const Byte* a, const Byte* b) {
  Bytes32 x = load32(a);
  return _mm256_min_epu8(_mm256_cmpeq_epi8(x, load32(b)), x);
}
[[gnu::target("avx2")]] inline uint32_t zero_mask32(Bytes32 v) {
  return equal_mask32(v, _mm256_setzero_si256());
}
[[gnu::target("avx2")]] inline uint32_t stop_mask32(const Byte* a, const Byte* b) {
  return zero_mask32(stops32(a, b));
}

// The offset of the first stop in 128 bytes of a against b, or 128 if there is none.
[[gnu::target("avx2")]] inline size_t first_stop_in_128(const Byte* a, const Byte* b) {
  Bytes32 s0 = stops32(a, b), s1 = stops32(a + 32, b + 32);
  Bytes32 s2 = stops32(a + 64, b + 64), s3 = stops32(a + 96, b + 96);
  if (!zero_mask32(_mm256_min_epu8(_mm256_min_epu8(s0, s1), _mm256_min_epu8(s2, s3)))) return 128;
  uint64_t low = zero_mask32(s0) | uint64_t{zero_mask32(s1)} << 32;
  if (low) return lowest_bit(low);
  return 64 + lowest_bit(zero_mask32(s2) | uint64_t{zero_mask32(s3)} << 32);
}

// The 16-byte compare_strings in stdlib/string.cpp, 32 and 128 at a time, from byte i on.
// Reads may pass the limit while they stay in both pages: a stop found past it means the
// strings agree up to it.
[[gnu::target("avx2"), gnu::noinline]] int compare_strings_from(const Byte* a, const Byte* b, size_t i,
                                                               size_t limit) {
  auto result_at = [&](size_t k) { return k < limit ? a[k] - b[k] : 0; };
  while (i < limit) {
    size_t room = page_room(a + i) < page_room(b + i) ? page_room(a + i) : page_room(b + i);
    if (room < 32) {
      // The read backs off to end at the nearer page end; the bytes it repeats belong to the
      // strings or to the pages where they start, so it cannot fault.
      size_t back = 32 - room;
      if (i + back_room(a) >= back && i + back_room(b) >= back) {
        if (uint32_t m = stop_mask32(a + i - back, b + i - back) >> back) return result_at(i + lowest_bit(m));
      } else {  // at the start, one near its page end and the other near its page start
        for (size_t k = i; k < i + room && k < limit; ++k)
          if (a[k] != b[k] || a[k] == 0) return result_at(k);
      }
      i += room;
      continue;
    }
    // Reads up to stop stay in both pages. After one unaligned read if need be, they are
    // aligned in a, and in b too where the strings are aligned alike.
    size_t stop = i + room;
    if (size_t offset = address(a + i) & 31) {
      if (uint32_t m = stop_mask32(a + i, b + i)) return result_at(i + lowest_bit(m));
      i += 32 - offset;
    }
    for (; i + 128 <= stop && i < limit; i += 128)
      if (size_t k = first_stop_in_128(a + i, b + i); k < 128) return result_at(i + k);
    for (; i + 32 <= stop && i < limit; i += 32)
      if (uint32_t m = stop_mask32(a + i, b + i)) return result_at(i + lowest_bit(m));
  }
  return 0;
}

// Within 128 bytes of a page end: the bytes up to it are read 32 at a time, the last read
// ending exactly there (backing off over bytes already compared, or over the start of the
// page, when fewer than 32 are left), and the same again up to the other string's page end
// if that is near too; from there on both have room and the fast start takes over.
[[gnu::target("avx2"), gnu::noinline]] int compare_to_page_end(const Byte* a, const Byte* b, size_t room,
                                                              size_t limit) {
  auto result_at = [&](size_t k) { return k < limit ? a[k] - b[k] : 0; };
  size_t i = 0;
  for (;;) {
    size_t end = i + room;
    if (room >= 32) {
      for (; i + 32 < end; i += 32)
        if (uint32_t m = stop_mask32(a + i, b + i)) return result_at(i + lowest_bit(m));
      if (uint32_t m = stop_mask32(a + end - 32, b + end - 32)) return result_at(end - 32 + lowest_bit(m));
    } else if (size_t back = 32 - room; i + back_room(a) >= back && i + back_room(b) >= back) {
      if (uint32_t m = stop_mask32(a + i - back, b + i - back) >> back) return result_at(i + lowest_bit(m));
    } else {  // one string at its page end, the other at its page start
      for (; i < end; ++i)
        if (a[i] != b[i] || a[i] == 0) return result_at(i);
    }
    i = end;
    if (i >= limit) return 0;
    room = page_room(a + i) < page_room(b + i) ? page_room(a + i) : page_room(b + i);
    if (room >= 128) return nk::compare_strings_avx2(a + i, b + i, limit - i);
  }
}

}  // namespace

// Most strings differ or end within their first 128 bytes, so these come first, 32 at a time,
// then the next 128 in one go, where both pages have room for the reads.
[[gnu::target("avx2")]] int nk::compare_strings_avx2(const Byte* a, const Byte* b, size_t limit) {
  size_t room = page_room(a) < page_room(b) ? page_room(a) : page_room(b);
  if (room < 128) return compare_to_page_end(a, b, room, limit);
  auto result_at = [&](size_t k) { return k < limit ? a[k] - b[k] : 0; };
  for (size_t i = 0, head = limit < 128 ? limit : 128; i < head; i += 64)
    if (uint64_t m = stop_mask32(a + i, b + i) | uint64_t{stop_mask32(a + i + 32, b + i + 32)} << 32)
      return result_at(i + lowest_bit(m));
  if (limit <= 128) return 0;
  if (room < 256) return compare_strings_from(a, b, 128, limit);
  if (size_t k = first_stop_in_128(a + 128, b + 128); k < 128) return result_at(128 + k);
  return limit <= 256 ? 0 : compare_strings_from(a, b, 256, limit);
}
