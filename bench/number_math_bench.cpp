// Number parsing, fixed-notation output and the mathematical functions on nkhost, beside
// glibc doing the same work on the same inputs, in one run. Each benchmark walks a fixed
// table of inputs so that neither side sees one value over and over.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench/support/bench_machine.h"

namespace {

using nk::bench::library;

using Strtod = double(const char*, char**);
using Snprintf = int(char*, size_t, const char*, ...);
using Unary = double(double);

constexpr size_t kInputs = 1024;

double log_uniform(std::mt19937_64& random, double low, double high) {
  return std::exp2(std::uniform_real_distribution<double>(low, high)(random));
}

// Numbers as programs write them: integers, decimals, and some with exponents.
const std::vector<std::string>& decimal_texts() {
  static const std::vector<std::string> texts = [] {
    std::mt19937_64 random(1);
    std::vector<std::string> out;
    char text[64];
    for (size_t i = 0; i < kInputs; ++i) {
      double x = log_uniform(random, -20, 40);
      switch (i % 4) {
        case 0: std::snprintf(text, sizeof text, "%.0f", std::floor(x)); break;
        case 1: std::snprintf(text, sizeof text, "%.6f", x); break;
        case 2: std::snprintf(text, sizeof text, "%.15g", x); break;
        default: std::snprintf(text, sizeof text, "%.10e", x); break;
      }
      out.push_back(text);
    }
    return out;
  }();
  return texts;
}

// Arguments by range: 0 typical (a few turns, or near 1), 1 large.
std::vector<double> arguments(double low, double high, bool any_sign) {
  std::mt19937_64 random(2);
  std::vector<double> out;
  for (size_t i = 0; i < kInputs; ++i) {
    double x = log_uniform(random, low, high);
    out.push_back(any_sign && (random() & 1) ? -x : x);
  }
  return out;
}

void parse(benchmark::State& state, Strtod* strtod_) {
  const auto& texts = decimal_texts();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(strtod_(texts[i].c_str(), nullptr));
    i = (i + 1) % kInputs;
  }
  state.SetItemsProcessed(state.iterations());
}
void BM_Strtod_Nkhost(benchmark::State& state) { parse(state, library().function<Strtod>("strtod")); }
void BM_Strtod_Linux(benchmark::State& state) { parse(state, std::strtod); }

void fixed(benchmark::State& state, Snprintf* snprintf_) {
  std::vector<double> values = arguments(-20, 30, true);
  char line[128];
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(snprintf_(line, sizeof line, "%f", values[i]));
    i = (i + 1) % kInputs;
  }
  state.SetItemsProcessed(state.iterations());
}
void BM_SnprintfFixed_Nkhost(benchmark::State& state) { fixed(state, library().function<Snprintf>("snprintf")); }
void BM_SnprintfFixed_Linux(benchmark::State& state) { fixed(state, std::snprintf); }

void apply(benchmark::State& state, Unary* f, const std::vector<double>& inputs) {
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(f(inputs[i]));
    i = (i + 1) % kInputs;
  }
  state.SetItemsProcessed(state.iterations());
}

std::vector<double> sin_arguments(int64_t range) {
  return range == 0 ? arguments(-8, 4, true) : arguments(10, 30, true);
}
std::vector<double> sqrt_arguments(int64_t range) {
  return range == 0 ? arguments(-20, 20, false) : arguments(60, 1000, false);
}
// Through pointers, so that the compiler calls glibc rather than inlining its own.
Unary* const linux_sin = ::sin;
Unary* const linux_sqrt = ::sqrt;

void BM_Sin_Nkhost(benchmark::State& state) {
  apply(state, library().function<Unary>("sin"), sin_arguments(state.range(0)));
}
void BM_Sin_Linux(benchmark::State& state) { apply(state, linux_sin, sin_arguments(state.range(0))); }
void BM_Sqrt_Nkhost(benchmark::State& state) {
  apply(state, library().function<Unary>("sqrt"), sqrt_arguments(state.range(0)));
}
void BM_Sqrt_Linux(benchmark::State& state) { apply(state, linux_sqrt, sqrt_arguments(state.range(0))); }

BENCHMARK(BM_Strtod_Nkhost);
BENCHMARK(BM_Strtod_Linux);
BENCHMARK(BM_SnprintfFixed_Nkhost);
BENCHMARK(BM_SnprintfFixed_Linux);
BENCHMARK(BM_Sin_Nkhost)->Arg(0)->Arg(1);
BENCHMARK(BM_Sin_Linux)->Arg(0)->Arg(1);
BENCHMARK(BM_Sqrt_Nkhost)->Arg(0)->Arg(1);
BENCHMARK(BM_Sqrt_Linux)->Arg(0)->Arg(1);

}  // namespace
