// Platform side of the exception benchmark.
#include "throw_work.h"

extern "C" int nk_bench_throw_and_catch(int depth) { return throw_work::throw_and_catch(depth); }
extern "C" int nk_bench_return_normally(int depth) { return throw_work::return_normally(depth); }

extern "C" int main() { return 0; }  // programs need an entry point; the benchmark calls the ones above
