// Throw-to-catch through 1, 10 and 100 frames with cleanups: the library's SjLj unwinder on
// nkhost against the same C++ built for Linux with the system compiler and its own
// (table-driven) runtime, side by side in one process. The same calls returning normally
// show what SjLj registration costs when nothing is thrown.

#include <benchmark/benchmark.h>

#include "bench/guest/throw_work.h"
#include "bench/support/bench_machine.h"

namespace {

using ThrowAndCatch = int(int);

const nk::sim::Image& platform_program() {
  static const nk::sim::Image& program = nk::bench::guest_program("throw");
  return program;
}

void run(benchmark::State& state, ThrowAndCatch* throw_and_catch) {
  int depth = static_cast<int>(state.range(0));
  for (auto _ : state) {
    int result = throw_and_catch(depth);
    if (result != depth + 1) {
      state.SkipWithError("a frame was not cleaned up or the wrong object arrived");
      break;
    }
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_ThrowCatch_Nkhost(benchmark::State& state) {
  run(state, platform_program().function<ThrowAndCatch>("nk_bench_throw_and_catch"));
}
void BM_ThrowCatch_Linux(benchmark::State& state) { run(state, throw_work::throw_and_catch); }
void BM_NoThrow_Nkhost(benchmark::State& state) {
  run(state, platform_program().function<ThrowAndCatch>("nk_bench_return_normally"));
}
void BM_NoThrow_Linux(benchmark::State& state) { run(state, throw_work::return_normally); }

BENCHMARK(BM_ThrowCatch_Nkhost)->Arg(1)->Arg(10)->Arg(100);
BENCHMARK(BM_ThrowCatch_Linux)->Arg(1)->Arg(10)->Arg(100);
BENCHMARK(BM_NoThrow_Nkhost)->Arg(1)->Arg(10)->Arg(100);
BENCHMARK(BM_NoThrow_Linux)->Arg(1)->Arg(10)->Arg(100);

}  // namespace
