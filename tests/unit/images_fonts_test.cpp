// Pictures and text through the host: path normalisation and the retry, the alpha
// conversion, copies of the host's pixels, and host buffers always given back. The host's
// PNG and font services are stand-ins here, so each answer can be chosen.

#include <cmath>
#include <cstdint>
#include <limits>
#include <set>

#include "include/orvane_image.h"
#include "sim/machine/trampolines.h"
#include "support/library_test.h"
#include "window/host_pixels.h"

namespace {

using nk::sim::Entry;
using Info = NkBaremetalProgramImageInfo;
using Paths = std::vector<std::string>;

// What the stand-in services see and answer.
struct Fake {
  nk::sim::Machine* machine;
  Paths paths;                    // png_decode_file, in order
  std::set<std::string> decodes;  // paths png_decode_file succeeds for
  int32_t result = 1;             // font_render's result
  Info answer{};                  // filled in on success; pixels 1 asks for a fresh buffer
  std::vector<std::array<int64_t, 5>> renders;  // font, red, green, blue, alpha
  uintptr_t loaded_name = 0;
  float size = 0;
};
Fake fake;

void fill(Info* info) {
  *info = fake.answer;
  if (info->pixels != 1) return;
  uint64_t bytes = info->size ? info->size : uint64_t{info->width} * info->height * 4;
  auto* pixels = static_cast<uint8_t*>(fake.machine->memory().service_allocate(bytes));
  for (uint64_t i = 0; i < bytes; ++i) pixels[i] = uint8_t(i + 1);
  info->pixels = reinterpret_cast<uintptr_t>(pixels);
}

int32_t png_decode_file(const char* path, Info* info) {
  fake.paths.emplace_back(path);
  if (!fake.decodes.count(path)) return 0;
  fill(info);
  return 1;
}

int32_t font_render(uintptr_t font, const char*, int32_t red, int32_t green, int32_t blue,
                    int64_t alpha, Info* info) {
  fake.renders.push_back({int64_t(font), red, green, blue, alpha});
  fill(info);
  return fake.result;
}

uintptr_t font_load(uintptr_t name, float size) {
  fake.loaded_name = name;
  fake.size = size;
  return 77;
}

class ImagesFonts : public nk::test::LibraryTest {
 protected:
  ImagesFonts() {
    fake = Fake{&machine};
    const uintptr_t targets[] = {reinterpret_cast<uintptr_t>(&png_decode_file),
                                 reinterpret_cast<uintptr_t>(&font_render),
                                 reinterpret_cast<uintptr_t>(&font_load)};
    stubs = std::make_unique<nk::sim::Trampolines>(targets);
    machine.table().set_raw(Entry::png_decode_file, stubs->address(0));
    machine.table().set_raw(Entry::font_render, stubs->address(1));
    machine.table().set_raw(Entry::font_load, stubs->address(2));
  }
  uint64_t live() { return machine.memory().counters().live_blocks; }

  std::unique_ptr<nk::sim::Trampolines> stubs;
  uint8_t* (*load)(const char*, int*, int*) = fn<uint8_t*(const char*, int*, int*)>("baremetal_load_raw_image");
  OrvaneImage* (*render)(uintptr_t, const char*, int, int, int, double) =
      fn<OrvaneImage*(uintptr_t, const char*, int, int, int, double)>("macos_font_render");
  void (*release)(void*) = fn<void(void*)>("free");
};

TEST_F(ImagesFonts, PathsAreNormalisedAndTheGivenNameIsTriedOnce) {
  const std::pair<const char*, const char*> examples[] = {
      {"/img/../a.png", "/a.png"}, {"./img//b.png", "img/b.png"}, {"a/../../b", "../b"},
      {"../../a", "../../a"},      {"/..", "/"},                  {"x/", "x"},
      {"a/./b/../../c", "c"},      {"//", "/"}};
  for (auto [given, normal] : examples) {
    fake.paths.clear();
    EXPECT_EQ(load(given, nullptr, nullptr), nullptr);
    Paths expected{normal};
    if (std::string(given) != normal) expected.push_back(given);
    EXPECT_EQ(fake.paths, expected) << given;
  }
  fake.paths.clear();
  load(".", nullptr, nullptr);
  load("", nullptr, nullptr);
  EXPECT_EQ(fake.paths, (Paths{".", ".", ""}));

  int width = 5, height = 5;
  fake.paths.clear();
  EXPECT_EQ(load(nullptr, &width, &height), nullptr);
  EXPECT_EQ(width, 0);
  EXPECT_EQ(height, 0);
  EXPECT_TRUE(fake.paths.empty());

  // Only the name as given decodes: the second call brings the image.
  fake.decodes = {"./pic.png"};
  fake.answer = Info{1, 8, 2, 1, 0};
  uint64_t before = live();
  uint8_t* pixels = load("./pic.png", &width, &height);
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(fake.paths, (Paths{"pic.png", "./pic.png"}));
  EXPECT_EQ(width, 2);
  EXPECT_EQ(height, 1);
  EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + 8), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  release(pixels);
  EXPECT_EQ(live(), before);  // the host's buffer went back through memory_free
}

TEST_F(ImagesFonts, ImagesWithoutUsablePixelsAreFailuresThatReturnTheHostBuffer) {
  fake.decodes = {"p"};
  int width = 9, height = 9;
  // No width; no size; fewer bytes than width x height x 4, which every user reads.
  for (Info answer : {Info{1, 8, 0, 1, 0}, Info{1, 0, 2, 1, 0}, Info{1, 7, 2, 1, 0}, Info{0, 8, 2, 1, 0}}) {
    fake.answer = answer;
    EXPECT_EQ(load("p", &width, &height), nullptr);
    EXPECT_EQ(width + height, 0);
    EXPECT_EQ(live(), 0u);
  }
  // Without memory_free the host's buffer stays, and the image still arrives.
  fake.answer = Info{1, 8, 2, 1, 0};
  machine.table().disable(Entry::memory_free);
  EXPECT_NE(load("p", &width, &height), nullptr);
  EXPECT_EQ(width, 2);
}

TEST_F(ImagesFonts, TextRendersAsACopiedImage) {
  fake.answer = Info{1, 0, 3, 2, 0};  // size 0: width x height x 4 bytes
  OrvaneImage* text = render(42, "hi", 10, 20, 30, 1.0);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->width, 3);
  EXPECT_EQ(text->height, 2);
  EXPECT_EQ(text->pixels[23], 24);
  EXPECT_EQ(text->reserved[0], nullptr);
  EXPECT_EQ(text->reserved[1], nullptr);
  EXPECT_EQ(fake.renders.back(), (std::array<int64_t, 5>{42, 10, 20, 30, 255}));
  release(text->pixels);
  release(text);
  EXPECT_EQ(live(), 0u);

  const std::pair<double, int64_t> alphas[] = {
      {-1.0, 0},  {0.0, 0}, {-0.0, 0}, {0.5, 127}, {2.0, 255},
      {std::numeric_limits<double>::infinity(), 255}, {std::nan(""), 0}};
  for (auto [alpha, converted] : alphas) {
    OrvaneImage* image = render(1, "x", 0, 0, 0, alpha);
    release(image->pixels);
    release(image);
    EXPECT_EQ(fake.renders.back()[4], converted) << alpha;
  }

  size_t calls = fake.renders.size();
  EXPECT_EQ(render(1, nullptr, 0, 0, 0, 1.0), nullptr);
  EXPECT_EQ(render(0, "x", 0, 0, 0, 1.0), nullptr);
  EXPECT_EQ(fake.renders.size(), calls);

  // A short result, or one without pixels, is no text; the host's buffer goes back.
  uint64_t before = live();
  for (Info answer : {Info{1, 20, 3, 2, 0}, Info{1, 24, 3, 0, 0}, Info{0, 24, 3, 2, 0}}) {
    fake.answer = answer;
    EXPECT_EQ(render(1, "x", 0, 0, 0, 1.0), nullptr);
    EXPECT_EQ(live(), before);
  }
  // A failed render releases nothing, even a buffer it came with.
  fake.answer = Info{1, 24, 3, 2, 0};
  fake.result = 0;
  EXPECT_EQ(render(1, "x", 0, 0, 0, 1.0), nullptr);
  EXPECT_EQ(live(), before + 1);
}

TEST_F(ImagesFonts, FontCallsPassThroughAndMissingServicesAreNeutral) {
  auto font_load_ = fn<uintptr_t(const char*, float)>("macos_font_load");
  const char* name = "DejaVuSans.ttf";
  EXPECT_EQ(font_load_(name, 18.5f), 77u);
  EXPECT_EQ(fake.loaded_name, reinterpret_cast<uintptr_t>(name));
  EXPECT_EQ(fake.size, 18.5f);

  machine.table().disable_all();
  EXPECT_EQ(font_load_(name, 12), 0u);
  fn<void(uintptr_t, float)>("macos_font_resize")(77, 12);
  fn<void(uintptr_t)>("macos_font_free")(77);
  EXPECT_EQ(render(77, "x", 0, 0, 0, 1.0), nullptr);
  EXPECT_EQ(load("p", nullptr, nullptr), nullptr);
  EXPECT_TRUE(fake.renders.empty());
  EXPECT_TRUE(fake.paths.empty());

  EXPECT_EQ(fn<int(int)>("getTouchBarButtonState")(0), 0);
  EXPECT_FALSE(fn<bool(const char*, const uint8_t*, int, int)>("baremetal_save_raw_image")("a.png", nullptr, 1, 1));
  fn<void(int, const char*)>("setTouchBarButtonText")(0, "x");
  fn<void()>("clearTouchBar")();
}

}  // namespace
