// Throw-to-catch through 1, 10 and 100 frames with cleanups: the library's SjLj unwinder on
// nkhost against the same C++ built for Linux with the system compiler and its own
// (table-driven) runtime, side by side in one process.

#include <benchmark/benchmark.h>

#include <filesystem>

#include "bench/guest/throw_work.h"
#include "sim/machine.h"

namespace {

using ThrowAndCatch = int(int);

ThrowAndCatch* platform_throw_and_catch() {
  static nk::sim::Machine machine;
  static ThrowAndCatch* entry = [] {
    machine.load_library(NK_LIBRARY_PATH);
    auto& program = machine.load_program(std::filesystem::path(NK_BENCH_GUEST_DIR) / "bench_guest_throw");
    return program.function<ThrowAndCatch>("nk_bench_throw_and_catch");
  }();
  return entry;
}

void run(benchmark::State& state, ThrowAndCatch* throw_and_catch) {
  int depth = static_cast<int>(state.range(0));
  for (auto _ : state) {
    int result = throw_and_catch(depth);
    if (result != depth + 1) {
      state.SkipWithError("the throw did not arrive with every frame cleaned up");
      break;
    }
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_ThrowCatch_Nkhost(benchmark::State& state) { run(state, platform_throw_and_catch()); }
void BM_ThrowCatch_Linux(benchmark::State& state) { run(state, throw_work::throw_and_catch); }

BENCHMARK(BM_ThrowCatch_Nkhost)->Arg(1)->Arg(10)->Arg(100);
BENCHMARK(BM_ThrowCatch_Linux)->Arg(1)->Arg(10)->Arg(100);

}  // namespace
