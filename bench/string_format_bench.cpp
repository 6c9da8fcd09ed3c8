// The library's formatting engine on nkhost, beside glibc doing the same work, in one run.
// Console output is measured with the call record off, as nkhost run has it. The memory and
// string functions have their own benchmark.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench/support/bench_machine.h"

namespace {

using nk::bench::library;

using Snprintf = int(char*, size_t, const char*, ...);

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

BENCHMARK(BM_Snprintf_Nkhost);
BENCHMARK(BM_Snprintf_Linux);
BENCHMARK(BM_ConsoleLine_Nkhost)->Arg(80)->Arg(1000);

}  // namespace
