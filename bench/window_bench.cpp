// Publication as users feel it: the composite frame for a 640 x 480 window fed a smaller,
// a larger and a same-size image, beside a plain glibc memcpy of the composite's bytes.
// Composite runs the library's own code on nkhost; PushImage is the whole call, with the
// image copy, the composite and the headless host copying the frame.

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/support/bench_machine.h"

namespace {

using nk::bench::library;
using nk::bench::machine;

constexpr int32_t kWindowWidth = 640, kWindowHeight = 480;
constexpr size_t kFrameBytes = size_t(kWindowWidth) * kWindowHeight * 4;

using BuildComposite = void(uint8_t*, int32_t, int32_t, const uint8_t*, int32_t, int32_t, uint32_t);

std::vector<uint8_t> image_bytes(int64_t width, int64_t height) {
  std::vector<uint8_t> bytes(size_t(width * height * 4));
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7);
  return bytes;
}

void BM_Composite(benchmark::State& state) {
  auto build = library().internal_function<BuildComposite>("_ZN2nk15build_compositeEPhiiPKhiij");
  int32_t width = int32_t(state.range(0)), height = int32_t(state.range(1));
  auto image = image_bytes(width, height);
  std::vector<uint8_t> frame(kFrameBytes);
  for (auto _ : state) {
    build(frame.data(), kWindowWidth, kWindowHeight, image.data(), width, height, 0x202020);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}

void BM_MemcpyFrame(benchmark::State& state) {
  std::vector<uint8_t> source = image_bytes(kWindowWidth, kWindowHeight), frame(kFrameBytes);
  for (auto _ : state) {
    std::memcpy(frame.data(), source.data(), kFrameBytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}

struct Image {
  int32_t width, height;
  uint8_t* pixels;
  void* reserved[2];
};

void BM_PushImage(benchmark::State& state) {
  auto create = library().function<void*(const char*, int, int)>("createWindow");
  auto push = library().function<void(void*, const Image*)>("pushImage");
  auto destroy = library().function<void(void*)>("destroyWindow");
  int32_t width = int32_t(state.range(0)), height = int32_t(state.range(1));
  auto bytes = image_bytes(width, height);
  Image image{width, height, bytes.data(), {}};
  void* window = create("bench", kWindowWidth, kWindowHeight);
  for (auto _ : state) push(window, &image);
  destroy(window);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Args({320, 200})->Args({1280, 800})->Args({640, 480});
}

}  // namespace

BENCHMARK(BM_MemcpyFrame);
BENCHMARK(BM_Composite)->Apply(Sizes);
BENCHMARK(BM_PushImage)->Apply(Sizes);
