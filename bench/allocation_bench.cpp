// Small blocks from malloc and back to free: the library's, which nkhost's memory service
// answers through the host table, beside glibc's, in one run. One pair at a time, and a
// thousand blocks live at once freed in a shuffled order, as a prompt program's strings are.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "bench/support/bench_machine.h"

namespace {

using nk::bench::library;

using Malloc = void*(size_t);
using Free = void(void*);

// Through pointers, so that the compiler keeps glibc's calls.
Malloc* const linux_malloc = std::malloc;
Free* const linux_free = std::free;

void pair(benchmark::State& state, Malloc* malloc_, Free* free_) {
  size_t size = size_t(state.range(0));
  for (auto _ : state) {
    void* block = malloc_(size);
    benchmark::DoNotOptimize(block);
    free_(block);
  }
  state.SetItemsProcessed(state.iterations());
}
void BM_MallocFree_Nkhost(benchmark::State& s) {
  pair(s, library().function<Malloc>("malloc"), library().function<Free>("free"));
}
void BM_MallocFree_Linux(benchmark::State& s) { pair(s, linux_malloc, linux_free); }

void many(benchmark::State& state, Malloc* malloc_, Free* free_) {
  constexpr size_t kBlocks = 1000;
  std::vector<size_t> sizes(kBlocks), order(kBlocks);
  std::mt19937 random(3);
  for (size_t i = 0; i < kBlocks; ++i) {
    sizes[i] = 8 + random() % size_t(state.range(0));
    order[i] = i;
  }
  std::shuffle(order.begin(), order.end(), random);
  std::vector<void*> blocks(kBlocks);
  for (auto _ : state) {
    for (size_t i = 0; i < kBlocks; ++i) blocks[i] = malloc_(sizes[i]);
    for (size_t i : order) free_(blocks[i]);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kBlocks));
}
void BM_MallocFreeMany_Nkhost(benchmark::State& s) {
  many(s, library().function<Malloc>("malloc"), library().function<Free>("free"));
}
void BM_MallocFreeMany_Linux(benchmark::State& s) { many(s, linux_malloc, linux_free); }

BENCHMARK(BM_MallocFree_Nkhost)->Arg(16)->Arg(64)->Arg(256)->Arg(1024);
BENCHMARK(BM_MallocFree_Linux)->Arg(16)->Arg(64)->Arg(256)->Arg(1024);
BENCHMARK(BM_MallocFreeMany_Nkhost)->Arg(64)->Arg(512);
BENCHMARK(BM_MallocFreeMany_Linux)->Arg(64)->Arg(512);

}  // namespace
