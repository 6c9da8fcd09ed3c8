// The library's memory and string functions on nkhost beside glibc's, from 16 bytes to
// 64 KiB, in one run. Compared blocks and strings differ only in their last byte.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "bench/support/bench_machine.h"

namespace {

using nk::bench::library;

using Copy = void*(void*, const void*, size_t);
using Fill = void*(void*, int, size_t);
using Compare = int(const void*, const void*, size_t);
using Find = void*(const void*, int, size_t);
using Length = size_t(const char*);
using StringCompare = int(const char*, const char*);
using BoundedCompare = int(const char*, const char*, size_t);

// Through pointers, so that the compiler calls glibc rather than inlining its own.
Copy* const linux_memcpy = std::memcpy;
Copy* const linux_memmove = std::memmove;
Fill* const linux_memset = std::memset;
Compare* const linux_memcmp = std::memcmp;
Find* const linux_memchr = [](const void* s, int c, size_t n) {
  return const_cast<void*>(std::memchr(s, c, n));
};
Length* const linux_strlen = std::strlen;
StringCompare* const linux_strcmp = std::strcmp;
BoundedCompare* const linux_strncmp = std::strncmp;

constexpr size_t kPage = 4096;

// Where a block starts within its page. The heap would put the buffers wherever the
// allocations before them left it, so that a string might cross a page in one run and not
// in the next; from a page start, the layout is the same in every run.
char* on_page(std::vector<char>& buffer, size_t offset) {
  uintptr_t page = (reinterpret_cast<uintptr_t>(buffer.data()) + kPage - 1) & ~(kPage - 1);
  return reinterpret_cast<char*>(page + offset);
}

// Two buffers of n bytes of 'x', the second ending in 'y', both NUL-terminated. They start
// 3 and 43 bytes into a page, so that neither side gets only aligned work and the two are
// aligned differently.
struct Pair {
  std::vector<char> a, b;
  explicit Pair(size_t n) : a(n + 2 * kPage, 0), b(a.size(), 0) {
    std::memset(first(), 'x', n);
    std::memset(second(), 'x', n);
    second()[n - 1] = 'y';
  }
  char* first() { return on_page(a, 3); }
  char* second() { return on_page(b, 43); }
};

void bytes(benchmark::State& state) {
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void copy(benchmark::State& state, Copy* f) {
  Pair p(size_t(state.range(0)));
  for (auto _ : state) {
    f(p.second() + 1, p.first(), size_t(state.range(0)));
    benchmark::ClobberMemory();
  }
  bytes(state);
}
void BM_Memcpy_Nkhost(benchmark::State& s) { copy(s, library().function<Copy>("memcpy")); }
void BM_Memcpy_Linux(benchmark::State& s) { copy(s, linux_memcpy); }

// Within one buffer, forward and backward by turns.
void move(benchmark::State& state, Copy* f) {
  size_t n = size_t(state.range(0));
  Pair p(n + 16);
  bool forward = true;
  for (auto _ : state) {
    if (forward)
      f(p.first(), p.first() + 13, n);
    else
      f(p.first() + 13, p.first(), n);
    forward = !forward;
    benchmark::ClobberMemory();
  }
  bytes(state);
}
void BM_Memmove_Nkhost(benchmark::State& s) { move(s, library().function<Copy>("memmove")); }
void BM_Memmove_Linux(benchmark::State& s) { move(s, linux_memmove); }

void fill(benchmark::State& state, Fill* f) {
  Pair p(size_t(state.range(0)));
  for (auto _ : state) {
    f(p.first(), 'z', size_t(state.range(0)));
    benchmark::ClobberMemory();
  }
  bytes(state);
}
void BM_Memset_Nkhost(benchmark::State& s) { fill(s, library().function<Fill>("memset")); }
void BM_Memset_Linux(benchmark::State& s) { fill(s, linux_memset); }

void compare(benchmark::State& state, Compare* f) {
  Pair p(size_t(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(f(p.first(), p.second(), size_t(state.range(0))));
  bytes(state);
}
void BM_Memcmp_Nkhost(benchmark::State& s) { compare(s, library().function<Compare>("memcmp")); }
void BM_Memcmp_Linux(benchmark::State& s) { compare(s, linux_memcmp); }

void find(benchmark::State& state, Find* f) {
  Pair p(size_t(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(f(p.second(), 'y', size_t(state.range(0))));
  bytes(state);
}
void BM_Memchr_Nkhost(benchmark::State& s) { find(s, library().function<Find>("memchr")); }
void BM_Memchr_Linux(benchmark::State& s) { find(s, linux_memchr); }

void length(benchmark::State& state, Length* f) {
  Pair p(size_t(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(f(p.first()));
  bytes(state);
}
void BM_Strlen_Nkhost(benchmark::State& s) { length(s, library().function<Length>("strlen")); }
void BM_Strlen_Linux(benchmark::State& s) { length(s, linux_strlen); }

void string_compare(benchmark::State& state, StringCompare* f) {
  Pair p(size_t(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(f(p.first(), p.second()));
  bytes(state);
}
void BM_Strcmp_Nkhost(benchmark::State& s) {
  string_compare(s, library().function<StringCompare>("strcmp"));
}
void BM_Strcmp_Linux(benchmark::State& s) { string_compare(s, linux_strcmp); }

// The same strings, each starting a given number of bytes before a page end: the case
// where reads must take care at the page end.
struct PagePair {
  std::vector<char> a, b;
  PagePair(size_t n, size_t before_a, size_t before_b) : a(n + 3 * kPage, 0), b(a.size(), 0) {
    char* x = on_page(a, 2 * kPage - before_a);
    char* y = on_page(b, 2 * kPage - before_b);
    std::memset(x, 'x', n);
    std::memset(y, 'x', n);
    y[n - 1] = 'y';
    first = x;
    second = y;
  }
  char* first;
  char* second;
};

void string_compare_at_page_end(benchmark::State& state, StringCompare* f, size_t before_a,
                                size_t before_b) {
  PagePair p(size_t(state.range(0)), before_a, before_b);
  for (auto _ : state) benchmark::DoNotOptimize(f(p.first, p.second));
  bytes(state);
}
// Both strings cross a page within their first 32 bytes.
void BM_StrcmpPageEnd_Nkhost(benchmark::State& s) {
  string_compare_at_page_end(s, library().function<StringCompare>("strcmp"), 13, 29);
}
void BM_StrcmpPageEnd_Linux(benchmark::State& s) { string_compare_at_page_end(s, linux_strcmp, 13, 29); }
// One string crosses a page a little further in.
void BM_StrcmpNearPageEnd_Nkhost(benchmark::State& s) {
  string_compare_at_page_end(s, library().function<StringCompare>("strcmp"), 61, 2000);
}
void BM_StrcmpNearPageEnd_Linux(benchmark::State& s) {
  string_compare_at_page_end(s, linux_strcmp, 61, 2000);
}

void bounded_compare(benchmark::State& state, BoundedCompare* f) {
  Pair p(size_t(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(f(p.first(), p.second(), size_t(state.range(0)) + 8));
  bytes(state);
}
void BM_Strncmp_Nkhost(benchmark::State& s) {
  bounded_compare(s, library().function<BoundedCompare>("strncmp"));
}
void BM_Strncmp_Linux(benchmark::State& s) { bounded_compare(s, linux_strncmp); }

void sizes(benchmark::internal::Benchmark* b) {
  for (int64_t n : {16, 64, 256, 1024, 4096, 16384, 65536}) b->Arg(n);
}

BENCHMARK(BM_Memcpy_Nkhost)->Apply(sizes);
BENCHMARK(BM_Memcpy_Linux)->Apply(sizes);
BENCHMARK(BM_Memmove_Nkhost)->Apply(sizes);
BENCHMARK(BM_Memmove_Linux)->Apply(sizes);
BENCHMARK(BM_Memset_Nkhost)->Apply(sizes);
BENCHMARK(BM_Memset_Linux)->Apply(sizes);
BENCHMARK(BM_Memcmp_Nkhost)->Apply(sizes);
BENCHMARK(BM_Memcmp_Linux)->Apply(sizes);
BENCHMARK(BM_Memchr_Nkhost)->Apply(sizes);
BENCHMARK(BM_Memchr_Linux)->Apply(sizes);
BENCHMARK(BM_Strlen_Nkhost)->Apply(sizes);
BENCHMARK(BM_Strlen_Linux)->Apply(sizes);
BENCHMARK(BM_Strcmp_Nkhost)->Apply(sizes);
BENCHMARK(BM_Strcmp_Linux)->Apply(sizes);
BENCHMARK(BM_StrcmpPageEnd_Nkhost)->Apply(sizes);
BENCHMARK(BM_StrcmpPageEnd_Linux)->Apply(sizes);
BENCHMARK(BM_StrcmpNearPageEnd_Nkhost)->Apply(sizes);
BENCHMARK(BM_StrcmpNearPageEnd_Linux)->Apply(sizes);
BENCHMARK(BM_Strncmp_Nkhost)->Apply(sizes);
BENCHMARK(BM_Strncmp_Linux)->Apply(sizes);

}  // namespace
