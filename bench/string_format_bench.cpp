// The library's byte-at-a-time memory and string functions and its formatting engine on
// nkhost, beside glibc doing the same work, in one run. Console output is measured with
// the call record off, as nkhost run has it.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bench/support/bench_machine.h"

namespace {

using nk::bench::library;

using Memcpy = void*(void*, const void*, size_t);
using Strlen = size_t(const char*);
using Snprintf = int(char*, size_t, const char*, ...);

void copy(benchmark::State& state, Memcpy* memcpy_) {
  std::string src(size_t(state.range(0)), 'x'), dst(src.size(), ' ');
  for (auto _ : state) {
    memcpy_(dst.data(), src.data(), src.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
void BM_Memcpy_Nkhost(benchmark::State& state) { copy(state, library().function<Memcpy>("memcpy")); }
void BM_Memcpy_Linux(benchmark::State& state) { copy(state, std::memcpy); }

void length(benchmark::State& state, Strlen* strlen_) {
  std::string text(size_t(state.range(0)), 'x');
  for (auto _ : state) benchmark::DoNotOptimize(strlen_(text.c_str()));
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
void BM_Strlen_Nkhost(benchmark::State& state) { length(state, library().function<Strlen>("strlen")); }
void BM_Strlen_Linux(benchmark::State& state) { length(state, std::strlen); }

// A line as a prompt program prints it: text, integers and a number in fixed notation.
void format(benchmark::State& state, Snprintf* snprintf_) {
  char line[128];
  int i = 0;
  for (auto _ : state) {
    ++i;
    benchmark::DoNotOptimize(snprintf_(line, sizeof line, "%s %d: %u items, %f s, %x", "step", i,
                                       unsigned(i) * 7u, i * 0.125, i));
  }
  state.SetItemsProcessed(state.iterations());
}
void BM_Snprintf_Nkhost(benchmark::State& state) { format(state, library().function<Snprintf>("snprintf")); }
void BM_Snprintf_Linux(benchmark::State& state) { format(state, std::snprintf); }

void BM_ConsoleLine_Nkhost(benchmark::State& state) {
  auto write = library().function<void(const char*, size_t)>("nk_lua_write");
  std::string line(size_t(state.range(0)), 'x');
  line += '\n';
  for (auto _ : state) write(line.data(), line.size());
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(line.size()));
}

BENCHMARK(BM_Memcpy_Nkhost)->Arg(64)->Arg(4096);
BENCHMARK(BM_Memcpy_Linux)->Arg(64)->Arg(4096);
BENCHMARK(BM_Strlen_Nkhost)->Arg(16)->Arg(1024);
BENCHMARK(BM_Strlen_Linux)->Arg(16)->Arg(1024);
BENCHMARK(BM_Snprintf_Nkhost);
BENCHMARK(BM_Snprintf_Linux);
BENCHMARK(BM_ConsoleLine_Nkhost)->Arg(80)->Arg(1000);

}  // namespace
