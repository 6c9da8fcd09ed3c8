// The window record and its life, publication with the composite frame, and the frame
// operations (push, update, clear, capture), checked through the host's window service.

#include <array>
#include <climits>
#include <cstring>
#include <random>

#include "include/orvane_pointer.h"
#include "support/window_test.h"

namespace {

using nk::sim::Entry;
using nk::test::pixel_at;
using nk::test::TestImage;
using nk::test::Window;

constexpr uint32_t kDefaultBackground = 0xF6F6F6;

uint32_t pixel(const std::vector<uint8_t>& frame, int32_t width, int32_t x, int32_t y) {
  uint32_t p;
  std::memcpy(&p, &frame[(size_t(y) * width + x) * 4], 4);
  return p;
}

// The composite by its rules, one pixel at a time, for comparison.
std::vector<uint8_t> reference_composite(int32_t W, int32_t H, int32_t iw, int32_t ih,
                                         uint32_t background) {
  int64_t fh = std::max<int64_t>(1, int64_t{W} * ih / iw), fw = W;
  if (fh > H) {
    fw = std::max<int64_t>(1, int64_t{H} * iw / ih);
    fh = H;
  }
  int64_t left = (W - fw) / 2, top = (H - fh) / 2;
  uint32_t fill = (background >> 16 & 0xFF) | (background & 0xFF00) | (background & 0xFF) << 16 | 0xFF000000u;
  std::vector<uint8_t> frame(size_t(W) * H * 4);
  for (int64_t y = 0; y < H; ++y)
    for (int64_t x = 0; x < W; ++x) {
      uint32_t p = fill;
      int64_t r = y - top, c = x - left;
      if (r >= 0 && r < fh && c >= 0 && c < fw)
        p = pixel_at(std::min<int64_t>(c * iw / fw, iw - 1), std::min<int64_t>(r * ih / fh, ih - 1));
      std::memcpy(&frame[size_t(y * W + x) * 4], &p, 4);
    }
  return frame;
}

class WindowLife : public nk::test::WindowTest {};

TEST_F(WindowLife, CreateClampsTheSizeAndPublishesTheBackground) {
  Window* w = create(nullptr, 0, -5);
  ASSERT_NE(w, nullptr);
  const auto& r = record(w);
  EXPECT_EQ(r.width, 1);
  EXPECT_EQ(r.height, 1);
  EXPECT_EQ(r.mouseX, 0);
  EXPECT_EQ(r.mouseY, 0);
  EXPECT_EQ(r.published, 1);
  EXPECT_EQ(active(), w);
  EXPECT_EQ(window_calls(), (std::vector{Entry::window_create, Entry::window_publish, Entry::window_query}));
  auto made = calls_to(Entry::window_create)[0];
  EXPECT_EQ(made.text, "OrvaneWindow");
  EXPECT_EQ(made.args[1], 1u);
  EXPECT_EQ(made.args[2], 1u);
  auto shown = calls_to(Entry::window_publish)[0];
  EXPECT_EQ(shown.args[0], r.handle);
  EXPECT_EQ(shown.text, "OrvaneWindow");
  EXPECT_EQ(shown.args[2], 0u);  // no image yet: no pixels
  EXPECT_EQ((std::array{shown.args[3], shown.args[4], shown.args[5], shown.args[6]}),
            (std::array<uint64_t, 4>{1, 1, 4, kDefaultBackground}));

  Window* w3 = create("three", 3, 3);
  EXPECT_EQ(record(w3).mouseX, 1);
  EXPECT_EQ(record(w3).mouseY, 1);
  int width = 0, height = 0;
  get_size(w3, &width, &height);
  EXPECT_EQ(width * 10 + height, 33);
  get_size(w3, nullptr, &height);
  destroy(w3);
  destroy(w);
  EXPECT_TRUE(host.windows().empty());
}

TEST_F(WindowLife, TitlesArePublishedAndCopiedOut) {
  Window* w = create("", 10, 10);
  EXPECT_EQ(calls_to(Entry::window_publish)[0].text, "");
  EXPECT_NE(calls_to(Entry::window_publish)[0].args[1], 0u);  // never a null title
  set_title(w, "Game");
  EXPECT_EQ(host.latest()->title, "Game");
  char* title = get_title(w);
  EXPECT_STREQ(title, "Game");
  lib_free(title);
  set_title(w, nullptr);
  EXPECT_EQ(calls_to(Entry::window_publish).back().text, "");
  char* empty = get_title(nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], 0);
  lib_free(empty);
  destroy(w);
}

TEST_F(WindowLife, WithoutAHostWindowThereIsNoWindow) {
  Window* first = create("first", 4, 4);
  machine.table().disable(Entry::window_create);
  machine.clear_calls();
  EXPECT_EQ(create("second", 4, 4), nullptr);
  EXPECT_EQ(active(), first);
  EXPECT_TRUE(window_calls().empty());
  machine.table().enable(Entry::window_create);
  destroy(first);
  EXPECT_EQ(machine.memory().counters().live_blocks, 0u);  // the refused record was freed
}

TEST_F(WindowLife, NullWindowsGetTheNeutralResults) {
  machine.clear_calls();
  destroy(nullptr);
  close(nullptr);
  EXPECT_TRUE(should_close(nullptr));
  set_title(nullptr, "x");
  int width = 7, height = 7;
  get_size(nullptr, &width, &height);
  EXPECT_EQ(width + height, 0);
  set_size(nullptr, 5, 5);
  TestImage image(2, 2);
  push(nullptr, image.get());
  update(nullptr);
  clear(nullptr, 1, 2, 3);
  EXPECT_EQ(capture(nullptr), nullptr);
  int x = 0, y = 0;
  mouse_position(nullptr, &x, &y);
  EXPECT_EQ(x, -1);
  EXPECT_EQ(y, -1);
  EXPECT_FALSE(mouse_button(nullptr, 0));
  EXPECT_TRUE(window_calls().empty());
}

TEST_F(WindowLife, TheLastCreatedWindowIsActiveUntilDestroyed) {
  Window* first = create("a", 8, 8);
  Window* second = create("b", 8, 8);
  EXPECT_EQ(active(), second);
  close(second);
  EXPECT_EQ(active(), second);
  destroy(first);
  EXPECT_EQ(active(), second);
  destroy(second);
  EXPECT_EQ(active(), nullptr);
  auto destroyed = calls_to(Entry::window_destroy);
  ASSERT_EQ(destroyed.size(), 2u);
  EXPECT_NE(destroyed[0].args[0], destroyed[1].args[0]);
}

TEST_F(WindowLife, ClosingKeepsTheWindowUsable) {
  Window* w = create("w", 20, 10);
  host.move(300, 200);
  update(w);
  machine.clear_calls();
  close(w);
  auto closed = calls_to(Entry::window_close);
  ASSERT_EQ(closed.size(), 1u);
  EXPECT_EQ((std::array{closed[0].args[1], closed[0].args[2], closed[0].args[3], closed[0].args[4]}),
            (std::array<uint64_t, 4>{300, 200, 1, 1}));
  EXPECT_TRUE(should_close(w));
  int width = 0, height = 0;
  get_size(w, &width, &height);
  EXPECT_EQ(width, 20);
  set_title(w, "still here");
  EXPECT_EQ(host.latest()->title, "still here");
  destroy(w);
}

TEST_F(WindowLife, TheHostsCloseRequestAndALostQueryBothClose) {
  Window* w = create("w", 4, 4);
  EXPECT_FALSE(should_close(w));
  host.request_close();
  EXPECT_TRUE(should_close(w));
  host.set_focus(true);

  Window* v = create("v", 4, 4);
  EXPECT_FALSE(should_close(v));
  machine.table().disable(Entry::window_query);
  EXPECT_TRUE(should_close(v));
  machine.table().enable(Entry::window_query);
  EXPECT_TRUE(should_close(v));  // closing stays
  destroy(v);
  destroy(w);
}

TEST_F(WindowLife, SetSizeClampsMovesTheMouseAndPublishes) {
  Window* w = create("w", 64, 48);
  set_size(w, 0, 0);
  EXPECT_EQ(record(w).mouseX, 0);
  EXPECT_EQ(record(w).mouseY, 0);
  auto shown = calls_to(Entry::window_publish).back();
  EXPECT_EQ((std::array{shown.args[3], shown.args[4], shown.args[5]}), (std::array<uint64_t, 3>{1, 1, 4}));
  destroy(w);
}

// Mend: a row stride beyond the i32 the host receives is not passed on wrapped.
TEST_F(WindowLife, AFrameWhoseStrideTheHostCannotTakeIsNotPublished) {
  Window* w = create("w", 4, 4);
  machine.clear_calls();
  set_size(w, 536870911, 1);  // stride 2147483644: still describable
  ASSERT_EQ(calls_to(Entry::window_publish).size(), 1u);
  EXPECT_EQ(calls_to(Entry::window_publish)[0].args[5], 2147483644u);
  EXPECT_EQ(record(w).published, 1);

  machine.clear_calls();
  set_size(w, 536870912, 1);
  EXPECT_TRUE(calls_to(Entry::window_publish).empty());
  EXPECT_EQ(record(w).published, 0);
  TestImage image(2, 2);
  push(w, image.get());  // no frame of that width is built either
  update(w);
  EXPECT_TRUE(calls_to(Entry::window_publish).empty());
  EXPECT_EQ(record(w).published, 0);

  set_size(w, 2, 2);
  update(w);  // pushImage and setWindowSize publish; update only retries a failed one
  EXPECT_EQ(record(w).published, 1);
  EXPECT_EQ(calls_to(Entry::window_publish).size(), 1u);
  destroy(w);
}

class Frames : public nk::test::WindowTest {
 protected:
  // Pushes an iw x ih image into a W x H window and returns what the host received.
  std::vector<uint8_t> composite(int32_t W, int32_t H, int32_t iw, int32_t ih) {
    Window* w = create("c", W, H);
    TestImage image(iw, ih);
    push(w, image.get());
    std::vector<uint8_t> shown = host.latest()->pixels;
    destroy(w);
    return shown;
  }
};

TEST_F(Frames, WorkedCasesOfTheComposite) {
  // 320 x 100 in 640 x 480: 640 x 200 from row 140.
  auto wide = composite(640, 480, 320, 100);
  EXPECT_EQ(pixel(wide, 640, 0, 139), 0xFFF6F6F6u);
  EXPECT_EQ(pixel(wide, 640, 0, 140), pixel_at(0, 0));
  EXPECT_EQ(pixel(wide, 640, 639, 339), pixel_at(319, 99));
  EXPECT_EQ(pixel(wide, 640, 639, 340), 0xFFF6F6F6u);
  EXPECT_EQ(wide, reference_composite(640, 480, 320, 100, kDefaultBackground));

  // 100 x 400: 120 x 480 from column 260.
  auto tall = composite(640, 480, 100, 400);
  EXPECT_EQ(pixel(tall, 640, 259, 0), 0xFFF6F6F6u);
  EXPECT_EQ(pixel(tall, 640, 260, 0), pixel_at(0, 0));
  EXPECT_EQ(pixel(tall, 640, 379, 479), pixel_at(99, 399));
  EXPECT_EQ(pixel(tall, 640, 380, 479), 0xFFF6F6F6u);
  EXPECT_EQ(tall, reference_composite(640, 480, 100, 400, kDefaultBackground));

  // 2 x 1 in 5 x 5: rows 1 and 2, source columns 0, 0, 0, 1, 1.
  auto small = composite(5, 5, 2, 1);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) {
      uint32_t expected = (y == 1 || y == 2) ? pixel_at(x < 3 ? 0 : 1, 0) : 0xFFF6F6F6u;
      EXPECT_EQ(pixel(small, 5, x, y), expected) << x << "," << y;
    }

  // 1000 x 1 in 10 x 10: fitted height 0 becomes 1, at row 4.
  auto line = composite(10, 10, 1000, 1);
  for (int y = 0; y < 10; ++y)
    EXPECT_EQ(pixel(line, 10, 3, y), y == 4 ? pixel_at(300, 0) : 0xFFF6F6F6u) << y;
}

TEST_F(Frames, TheCompositeMatchesItsRulesAtEveryScale) {
  std::mt19937 random(9);
  std::uniform_int_distribution<int32_t> size(1, 90);
  for (int i = 0; i < 60; ++i) {
    int32_t W = size(random), H = size(random), iw = size(random), ih = size(random);
    if (i % 4 == 0) iw = W;  // the whole-row paths
    if (i % 8 == 0) ih = H;
    ASSERT_EQ(composite(W, H, iw, ih), reference_composite(W, H, iw, ih, kDefaultBackground))
        << W << "x" << H << " fed " << iw << "x" << ih;
  }
  // Whole-number reductions and enlargements take their own paths.
  for (auto [iw, ih] : {std::pair{1280, 800}, {320, 200}, {1920, 480}, {213, 160}})
    EXPECT_EQ(composite(640, 480, iw, ih), reference_composite(640, 480, iw, ih, kDefaultBackground))
        << iw << "x" << ih;
  // Alpha travels unchanged: nothing is blended.
  Window* w = create("a", 2, 1);
  uint8_t clear_pixels[8] = {1, 2, 3, 0, 4, 5, 6, 128};
  nk::test::Image image{2, 1, clear_pixels, {}};
  push(w, &image);
  EXPECT_EQ(host.latest()->pixels, std::vector<uint8_t>(clear_pixels, clear_pixels + 8));
  destroy(w);
}

// Mend: row and column products that pass 2^31 no longer wrap.
TEST_F(Frames, LargeImagesScaleWithoutOverflow) {
  auto column = composite(1, 1000, 1, 3000000);
  for (int y : {0, 1, 500, 715, 716, 999}) EXPECT_EQ(pixel(column, 1, 0, y), pixel_at(0, int64_t{y} * 3000)) << y;
  auto row = composite(1000, 1, 3000000, 1);
  for (int x : {0, 715, 716, 999}) EXPECT_EQ(pixel(row, 1000, x, 0), pixel_at(int64_t{x} * 3000, 0)) << x;
}

// clientToImage names, for every client pixel, the image pixel the composite shows there,
// and says "not over the image" exactly where the background shows.
TEST_F(Frames, ClientToImageNamesThePixelTheCompositeShows) {
  std::mt19937 random(23);
  std::uniform_int_distribution<int32_t> size(1, 70);
  std::vector<std::array<int32_t, 4>> cases = {{640, 480, 320, 100}, {640, 480, 100, 400},
                                               {5, 5, 2, 1}, {10, 10, 1000, 1}, {7, 3, 7, 3}};
  for (int i = 0; i < 80; ++i) cases.push_back({size(random), size(random), size(random), size(random)});
  for (auto [W, H, iw, ih] : cases) {
    auto shown = composite(W, H, iw, ih);
    std::pair<int, int> last_over;  // the image pixel shown in the bottom-right corner
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) {
        int ix = -9, iy = -9;
        bool over = clientToImage(x, y, W, H, iw, ih, &ix, &iy);
        ASSERT_TRUE(ix >= 0 && ix < iw && iy >= 0 && iy < ih);
        ASSERT_EQ(pixel(shown, W, x, y), over ? pixel_at(ix, iy) : 0xFFF6F6F6u)
            << x << "," << y << " in " << W << "x" << H << " showing " << iw << "x" << ih;
        if (over) last_over = {ix, iy};
      }
    // Beyond the window: not over, and the image pixel shown nearest.
    int ix, iy;
    EXPECT_FALSE(clientToImage(-5, -1, W, H, iw, ih, &ix, &iy));
    EXPECT_EQ(std::pair(ix, iy), std::pair(0, 0));
    EXPECT_FALSE(clientToImage(W + 3, INT_MAX, W, H, iw, ih, &ix, &iy));
    EXPECT_EQ(std::pair(ix, iy), last_over);
  }
  // Sizes the composite has no picture for; null out pointers.
  int ix = 0, iy = 0;
  EXPECT_FALSE(clientToImage(0, 0, 0, 10, 4, 4, &ix, &iy));
  EXPECT_EQ(ix + iy, -2);
  EXPECT_FALSE(clientToImage(0, 0, 10, 10, 4, -1, &ix, &iy));
  // Products past 2^31 (a 3 x 1 image centred in an INT_MAX-wide window).
  EXPECT_TRUE(clientToImage(1073741823, 0, INT_MAX, 1, 3, 1, &ix, nullptr));
  EXPECT_EQ(ix, 1);
}

TEST_F(Frames, PushIgnoresImagesWithoutPixels) {
  Window* w = create("w", 8, 8);
  machine.clear_calls();
  TestImage good(2, 2);
  nk::test::Image no_width{0, 2, good.bytes.data(), {}}, negative{2, -1, good.bytes.data(), {}},
      no_pixels{2, 2, nullptr, {}};
  push(w, &no_width);
  push(w, &negative);
  push(w, &no_pixels);
  push(w, nullptr);
  EXPECT_TRUE(window_calls().empty());
  EXPECT_EQ(record(w).imageWidth, 0);
  destroy(w);
}

TEST_F(Frames, CaptureGivesThePushedImageOrTheBackground) {
  Window* w = create("w", 640, 480);
  nk::test::Image* before = capture(w);
  ASSERT_EQ(before->width * 1000 + before->height, 640480);
  for (int i = 0; i < 640 * 480; i += 997)
    EXPECT_EQ(std::memcmp(before->pixels + 4 * i, "\xF6\xF6\xF6\xFF", 4), 0);
  EXPECT_EQ(before->reserved[0], nullptr);
  EXPECT_EQ(before->reserved[1], nullptr);
  lib_free(before->pixels);
  lib_free(before);

  clear(w, 10, 20, 30);
  nk::test::Image* cleared = capture(w);
  EXPECT_EQ(std::memcmp(cleared->pixels, "\x0A\x14\x1E\xFF", 4), 0);
  lib_free(cleared->pixels);
  lib_free(cleared);

  TestImage image(320, 200);
  push(w, image.get());
  nk::test::Image* after = capture(w);
  ASSERT_EQ(after->width * 1000 + after->height, 320200);
  EXPECT_EQ(std::memcmp(after->pixels, image.bytes.data(), image.bytes.size()), 0);
  lib_free(after->pixels);
  lib_free(after);
  destroy(w);
  EXPECT_EQ(machine.memory().counters().live_blocks, 0u);
}

TEST_F(Frames, ClearKeepsTheImageAndRepublishes) {
  Window* w = create("w", 4, 2);
  TestImage image(2, 2);
  push(w, image.get());
  machine.clear_calls();
  clear(w, 1, 2, 3);
  auto shown = calls_to(Entry::window_publish);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].args[6], 0x010203u);
  EXPECT_NE(shown[0].args[2], 0u);
  EXPECT_EQ(pixel(host.latest()->pixels, 4, 0, 0), 0xFF030201u);
  EXPECT_EQ(pixel(host.latest()->pixels, 4, 1, 0), pixel_at(0, 0));
  destroy(w);
}

TEST_F(Frames, OneUpdateMakesItsHostCallsInOrder) {
  Window* w = create("w", 8, 8);
  host.queue_key('a', 0x1E);
  host.fail_publications(1);
  set_title(w, "unpublished");
  machine.clear_calls();
  update(w);
  EXPECT_EQ(window_calls(),
            (std::vector{Entry::window_query, Entry::pointer_poll, Entry::display_info, Entry::window_query,
                         Entry::key_poll, Entry::key_poll, Entry::window_publish, Entry::frame_end}));
  EXPECT_EQ(host.frames(), 1u);
  destroy(w);
}

TEST_F(Frames, AFailedPublicationIsRetriedEachFrameUntilItSucceeds) {
  host.fail_publications(3);
  Window* w = create("w", 8, 8);
  EXPECT_EQ(record(w).published, 0);
  for (int frame = 0; frame < 5; ++frame) update(w);
  // The creation and two updates fail, the third update succeeds, later ones send nothing.
  EXPECT_EQ(calls_to(Entry::window_publish).size(), 4u);
  EXPECT_EQ(host.latest()->publications, 1u);
  EXPECT_EQ(record(w).published, 1);

  machine.table().disable(Entry::window_publish);
  clear(w, 0, 0, 0);
  EXPECT_EQ(record(w).published, 0);
  machine.table().disable(Entry::frame_end);
  machine.clear_calls();
  update(w);
  EXPECT_EQ(window_calls().back(), Entry::key_poll);  // neither publish nor frame_end exists
  machine.table().enable(Entry::window_publish);
  update(w);
  EXPECT_EQ(record(w).published, 1);
  destroy(w);
}

}  // namespace
