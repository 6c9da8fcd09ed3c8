// Saving frames (--frames): a 640x480 frame of a program's kind of picture (gradients, flat
// areas, a few sprites) as a PNG file, against writing the same bytes raw, in one run.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "sim/services/window/frame_files.h"

namespace {

namespace fs = std::filesystem;
constexpr uint32_t kWidth = 640, kHeight = 480;

std::vector<uint8_t> picture() {
  std::vector<uint8_t> pixels(kWidth * kHeight * 4);
  for (uint32_t y = 0; y < kHeight; ++y)
    for (uint32_t x = 0; x < kWidth; ++x) {
      uint8_t* p = &pixels[(y * kWidth + x) * 4];
      bool sprite = (x / 24 + y / 24) % 7 == 0;
      p[0] = sprite ? 250 : uint8_t(40 + y / 4);
      p[1] = sprite ? 200 : uint8_t(90 + y / 3);
      p[2] = ((x / 32 + y / 32) & 1) ? 220 : 200;
      p[3] = 255;
    }
  return pixels;
}

fs::path scratch() {
  fs::path dir = fs::temp_directory_path() / ("frame_files_bench_" + std::to_string(getpid()));
  fs::create_directories(dir);
  return dir;
}

void BM_SavePngFrame(benchmark::State& state) {
  auto pixels = picture();
  fs::path dir = scratch();
  nk::sim::FrameFiles frames(dir);
  for (auto _ : state) {
    fs::path written = frames.save(pixels.data(), kWidth, kHeight, kWidth * 4, 0);
    state.PauseTiming();
    fs::remove(written);
    state.ResumeTiming();
  }
  state.counters["bytes"] = double(fs::file_size(frames.save(pixels.data(), kWidth, kHeight, kWidth * 4, 0)));
  fs::remove_all(dir);
}
BENCHMARK(BM_SavePngFrame)->Unit(benchmark::kMillisecond);

void BM_WriteRawFrame(benchmark::State& state) {
  auto pixels = picture();
  fs::path path = scratch() / "frame.raw";
  for (auto _ : state) {
    FILE* file = fopen(path.c_str(), "wb");
    fwrite(pixels.data(), 1, pixels.size(), file);
    fclose(file);
  }
  fs::remove_all(path.parent_path());
}
BENCHMARK(BM_WriteRawFrame)->Unit(benchmark::kMillisecond);

}  // namespace
