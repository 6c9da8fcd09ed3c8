// nkhost's font service: FreeType text on a transparent background, fonts from the store or
// the system, and clear refusals.

#include <sys/mman.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include "sim/machine/machine.h"
#include "sim/services/image_record.h"
#include "support/host_entry.h"

namespace {

namespace fs = std::filesystem;
using nk::sim::Entry;
using nk::sim::ImageRecord;
using nk::sim::Machine;

class FontService : public ::testing::Test {
 protected:
  Machine machine;
  fs::path root = fs::temp_directory_path() / ("nkhost_fonts_" + std::to_string(getpid()));

  void SetUp() override {
    fs::remove_all(root);
    fs::create_directories(root);
    machine.files().set_root(root);
  }
  void TearDown() override { fs::remove_all(root); }

  uint64_t load(const char* name, float size) {
    return nk::test::host_entry<uint64_t(const char*, float)>(machine, Entry::font_load)(name, size);
  }
  void resize(uint64_t font, float size) {
    nk::test::host_entry<void(uint64_t, float)>(machine, Entry::font_resize)(font, size);
  }
  void free_font(uint64_t font) { nk::test::host_entry<void(uint64_t)>(machine, Entry::font_free)(font); }

  // The rendered text, its pixels copied out and the host's block released.
  struct Text {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;
    uint32_t inked() const {  // pixels with any coverage
      uint32_t n = 0;
      for (size_t i = 3; i < rgba.size(); i += 4) n += rgba[i] != 0;
      return n;
    }
  };
  Text render(uint64_t font, const char* text, int r = 10, int g = 20, int b = 30, int64_t alpha = 255) {
    ImageRecord record{};
    auto call = nk::test::host_entry<int32_t(uint64_t, const char*, int32_t, int32_t, int32_t, int64_t, ImageRecord*)>(
        machine, Entry::font_render);
    Text out;
    if (!call(font, text, r, g, b, alpha, &record)) return out;
    EXPECT_EQ(uint64_t(record.size), uint64_t(record.width) * record.height * 4);
    out.width = record.width;
    out.height = record.height;
    auto* pixels = reinterpret_cast<const uint8_t*>(record.pixels);
    out.rgba.assign(pixels, pixels + record.size);
    nk::test::host_entry<void(void*)>(machine, Entry::memory_free)(reinterpret_cast<void*>(record.pixels));
    return out;
  }
};

TEST_F(FontService, TextIsRenderedAntiAliasedOnOneBaseline) {
  uint64_t font = load(nullptr, 32);
  ASSERT_NE(font, 0u);
  Text short_text = render(font, "Hi");
  Text long_text = render(font, "Hi there, world");
  ASSERT_GT(short_text.width, 0u);
  EXPECT_GT(long_text.width, 3 * short_text.width);
  EXPECT_EQ(long_text.height, short_text.height);  // one line height for any text
  EXPECT_GE(short_text.height, 32u);
  EXPECT_LT(short_text.height, 48u);

  // Coverage, with edges: some pixels fully inked, some partly, most of the box clear.
  uint32_t full = 0, partial = 0;
  for (size_t i = 0; i < long_text.rgba.size(); i += 4) {
    EXPECT_EQ(long_text.rgba[i], 10);
    EXPECT_EQ(long_text.rgba[i + 1], 20);
    EXPECT_EQ(long_text.rgba[i + 2], 30);
    uint8_t a = long_text.rgba[i + 3];
    full += a == 255;
    partial += a > 0 && a < 255;
  }
  EXPECT_GT(full, 50u);
  EXPECT_GT(partial, 50u);
  EXPECT_LT(long_text.inked(), long_text.width * long_text.height / 2);

  // Alpha scales the coverage; a descender reaches below the baseline of "a".
  Text faint = render(font, "Hi", 0, 0, 0, 128);
  uint8_t most = 0;
  for (size_t i = 3; i < faint.rgba.size(); i += 4) most = std::max(most, faint.rgba[i]);
  EXPECT_EQ(most, 128);
  auto lowest_ink = [](const Text& t) {
    for (uint32_t y = t.height; y-- > 0;)
      for (uint32_t x = 0; x < t.width; ++x)
        if (t.rgba[(y * t.width + x) * 4 + 3]) return y;
    return 0u;
  };
  EXPECT_GT(lowest_ink(render(font, "g")), lowest_ink(render(font, "a")) + 3);

  // A bigger size gives bigger text; nothing to show gives no image.
  resize(font, 64);
  EXPECT_GT(render(font, "Hi").height, 2 * short_text.height - 4);
  EXPECT_EQ(render(font, "").width, 0u);
  Text odd = render(font, "\xff\x01\xe2\x82\xac");  // bad byte, a control, then a euro sign
  EXPECT_GT(odd.inked(), 0u);
  free_font(font);
  EXPECT_EQ(machine.fonts().open_fonts(), 0u);
  EXPECT_EQ(machine.memory().counters().live_blocks, 0u);

  const auto& calls = machine.calls();
  auto render_call = std::find_if(calls.begin(), calls.end(), [](auto& c) { return c.entry == Entry::font_render; });
  ASSERT_NE(render_call, calls.end());
  EXPECT_EQ(render_call->text, "Hi");
  EXPECT_EQ(render_call->args[0], font);
  EXPECT_EQ((std::array<uint64_t, 4>{render_call->args[2], render_call->args[3], render_call->args[4], render_call->args[5]}),
            (std::array<uint64_t, 4>{10, 20, 30, 255}));
  EXPECT_NE(render_call->args[6], 0u);
  EXPECT_EQ(calls.front().args[1], std::bit_cast<uint32_t>(32.0f));
}

TEST_F(FontService, FontsComeFromTheStoreOrTheSystem) {
  fs::path dejavu = "/usr/share/fonts/truetype/dejavu";
  fs::create_directories(root / "fonts");
  fs::copy_file(dejavu / "DejaVuSerif.ttf", root / "fonts/mine.ttf");
  uint64_t mine = load("fonts/mine.ttf", 20);
  uint64_t mono = load("DejaVu Sans Mono", 20);
  uint64_t generic = load("monospace", 20);
  uint64_t bold = load("DejaVuSans-Bold", 20);
  EXPECT_NE(mine, 0u);
  EXPECT_NE(bold, 0u);
  ASSERT_NE(mono, 0u);
  ASSERT_NE(generic, 0u);
  // A monospaced face gives every character the same advance (W's ink may overhang by a
  // pixel); a proportional one does not.
  EXPECT_NEAR(render(mono, "iiii").width, render(mono, "WWWW").width, 2);
  EXPECT_EQ(render(generic, "iiii").width, render(mono, "iiii").width);
  EXPECT_GT(render(mine, "WWWW").width, render(mine, "iiii").width + 20);

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(load("No Such Font", 20), 0u);
  std::ofstream(root / "broken.ttf") << "not a font";
  EXPECT_EQ(load("broken.ttf", 20), 0u);
  EXPECT_EQ(load(nullptr, 0), 0u);
  EXPECT_EQ(load(nullptr, NAN), 0u);
  EXPECT_EQ(load(nullptr, 5000), 0u);
  resize(mono, -1);
  free_font(mine);
  free_font(mine);
  ImageRecord record{};
  auto call = nk::test::host_entry<int32_t(uint64_t, const char*, int32_t, int32_t, int32_t, int64_t, ImageRecord*)>(
      machine, Entry::font_render);
  EXPECT_EQ(call(mine, "x", 0, 0, 0, 255, &record), 0);
  EXPECT_EQ(call(mono, nullptr, 0, 0, 0, 255, &record), 0);
  std::string messages = ::testing::internal::GetCapturedStderr();
  for (const char* expected : {"font_load(\"No Such Font\"): no such font in the file store or among the system's fonts",
                               "font_load(\"broken.ttf\"): the file in the store is not a font FreeType can read",
                               "the pixel size is outside 1..1024; no font",
                               "the size is unchanged",
                               "not a font handle (freed already, or never loaded); ignored",
                               "font_render(" })
    EXPECT_NE(messages.find(expected), std::string::npos) << expected << "\n" << messages;
  EXPECT_EQ(record.pixels, 0u);
  // The size still works after the refused resize.
  EXPECT_GT(render(mono, "x").height, 15u);
}

// A name with no end, filling the last page before memory the process cannot read: nkhost
// (which keeps no call record when it runs a program) reads no further than a name may be
// long, and refuses it.
TEST(FontServiceNames, AnEndlessNameIsNotReadPastTheLongestName) {
  Machine machine({.record_calls = false});
  long page = sysconf(_SC_PAGESIZE);
  auto* pages = static_cast<char*>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(pages, MAP_FAILED);
  ASSERT_EQ(mprotect(pages + page, page, PROT_NONE), 0);
  std::memset(pages, 'a', page);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ((nk::test::host_entry<uint64_t(const char*, float)>(machine, Entry::font_load)(pages + page - 4096, 20)), 0u);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("the font name is longer than 4095 bytes; no font"),
            std::string::npos);
  munmap(pages, 2 * page);
}

}  // namespace
