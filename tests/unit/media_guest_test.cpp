// A program built like a user's loads a picture from the file store and writes text over
// it: the host decodes and renders, the library copies, the frame shows both.

#include <unistd.h>

#include <fstream>

#include "support/library_test.h"
#include "support/png_maker.h"

namespace {

namespace fs = std::filesystem;

TEST(MediaGuest, APictureWithTextBecomesAFrame) {
  nk::sim::Machine machine;
  machine.load_library(nk::test::library_path());
  fs::path root = fs::temp_directory_path() / ("nkhost_media_" + std::to_string(getpid()));
  fs::remove_all(root);
  fs::create_directories(root);
  machine.files().set_root(root);
  nk::test::PngPicture blue;
  blue.width = 60;
  blue.height = 30;
  blue.color_type = PNG_COLOR_TYPE_RGB;
  for (int i = 0; i < 60 * 30; ++i) blue.samples.insert(blue.samples.end(), {0, 0, 255});
  auto bytes = nk::test::encode_png(blue);
  std::ofstream(root / "picture.png", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());

  std::vector<uint8_t> shown;  // the window's frame at the program's frame_end
  machine.window().add_frame_observer([&](uint64_t) {
    if (!machine.window().windows().empty()) shown = machine.window().windows().back()->pixels;
  });
  EXPECT_EQ(machine.run_main(machine.load_program(nk::test::guest_path("media_frame"))), 0);
  fs::remove_all(root);
  const auto& lines = machine.console().lines();
  ASSERT_EQ(lines.size(), 1u);
  int text_width = 0, text_height = 0;
  ASSERT_EQ(sscanf(lines[0].c_str(), "picture 60x30 text %dx%d", &text_width, &text_height), 2) << lines[0];
  EXPECT_GT(text_width, 10);
  EXPECT_GT(text_height, 14);

  ASSERT_EQ(shown.size(), 60u * 30 * 4);
  int red = 0, blue_left = 0;
  for (size_t i = 0; i < shown.size(); i += 4) {
    red += shown[i] > 200 && shown[i + 2] < 60;
    blue_left += shown[i] == 0 && shown[i + 2] == 255;
  }
  EXPECT_GT(red, 10);  // the text's ink
  EXPECT_GT(blue_left, 60 * 30 / 2);
}

}  // namespace
