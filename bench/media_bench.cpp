// nkhost's PNG and font services: decoding a 1024x1024 picture (through the service, and
// beside libpng's own simplified reader doing the same work) and rendering a line of text.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <random>

#include "bench/support/bench_machine.h"
#include "sim/services/png.h"
#include "tests/support/png_maker.h"

namespace {

using nk::bench::machine;
namespace fs = std::filesystem;

// A photograph stand-in: smooth gradients with noise, so that it compresses as real
// pictures do.
const std::vector<uint8_t>& picture(int color_type) {
  static std::map<int, std::vector<uint8_t>> cache;
  auto& bytes = cache[color_type];
  if (bytes.empty()) {
    nk::test::PngPicture p;
    p.width = p.height = 1024;
    p.color_type = color_type;
    std::mt19937 random(1);
    for (uint32_t y = 0; y < p.height; ++y)
      for (uint32_t x = 0; x < p.width; ++x)
        for (int k = 0; k < p.channels(); ++k)
          p.samples.push_back(uint16_t(((x + y) / 8 + k * 40 + random() % 8) & 0xFF));
    bytes = nk::test::encode_png(p);
  }
  return bytes;
}

void BM_PngDecode_Nkhost(benchmark::State& state) {
  const auto& bytes = picture(int(state.range(0)));
  for (auto _ : state) {
    FILE* file = fmemopen(const_cast<uint8_t*>(bytes.data()), bytes.size(), "rb");
    nk::sim::ImageRecord record{};
    std::string why;
    if (!nk::sim::decode_png(file, machine().memory(), record, why)) state.SkipWithError(why.c_str());
    fclose(file);
    machine().memory().service_free(reinterpret_cast<void*>(record.pixels));
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 1024 * 1024);
}

void BM_PngDecode_LibpngSimplified(benchmark::State& state) {
  const auto& bytes = picture(int(state.range(0)));
  std::vector<uint8_t> pixels(1024 * 1024 * 4);
  for (auto _ : state) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    png_image_begin_read_from_memory(&image, bytes.data(), bytes.size());
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) state.SkipWithError(image.message);
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 1024 * 1024);
}

// The whole service: the file from the store, decoded, released by memory_free.
void BM_PngDecodeFile_Nkhost(benchmark::State& state) {
  fs::path root = fs::temp_directory_path() / ("nkhost_bench_" + std::to_string(getpid()));
  fs::create_directories(root);
  const auto& bytes = picture(PNG_COLOR_TYPE_RGBA);
  std::ofstream(root / "picture.png", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  machine().files().set_root(root);
  auto decode = reinterpret_cast<int32_t (*)(const char*, nk::sim::ImageRecord*)>(
      uintptr_t(machine().table().raw(nk::sim::Entry::png_decode_file)));
  auto release = reinterpret_cast<void (*)(uint64_t)>(uintptr_t(machine().table().raw(nk::sim::Entry::memory_free)));
  for (auto _ : state) {
    nk::sim::ImageRecord record{};
    if (!decode("picture.png", &record)) state.SkipWithError("no image");
    release(record.pixels);
  }
  fs::remove_all(root);
  state.SetItemsProcessed(int64_t(state.iterations()) * 1024 * 1024);
}

// One line of 43 characters at the given pixel size, through the service.
void BM_FontRender_Nkhost(benchmark::State& state) {
  auto load = reinterpret_cast<uint64_t (*)(const char*, float)>(uintptr_t(machine().table().raw(nk::sim::Entry::font_load)));
  auto render = reinterpret_cast<int32_t (*)(uint64_t, const char*, int32_t, int32_t, int32_t, int64_t, nk::sim::ImageRecord*)>(
      uintptr_t(machine().table().raw(nk::sim::Entry::font_render)));
  auto release = reinterpret_cast<void (*)(uint64_t)>(uintptr_t(machine().table().raw(nk::sim::Entry::memory_free)));
  uint64_t font = load(nullptr, float(state.range(0)));
  for (auto _ : state) {
    nk::sim::ImageRecord record{};
    if (!render(font, "The quick brown fox jumps over the lazy dog", 255, 255, 255, 255, &record))
      state.SkipWithError("no text");
    release(record.pixels);
  }
  machine().fonts().free(font);
  state.SetItemsProcessed(int64_t(state.iterations()) * 43);
}

BENCHMARK(BM_PngDecode_Nkhost)->Arg(PNG_COLOR_TYPE_RGBA)->Arg(PNG_COLOR_TYPE_RGB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngDecode_LibpngSimplified)->Arg(PNG_COLOR_TYPE_RGBA)->Arg(PNG_COLOR_TYPE_RGB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngDecodeFile_Nkhost)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FontRender_Nkhost)->Arg(16)->Arg(32)->Arg(64)->Unit(benchmark::kMicrosecond);

}  // namespace
