// Saved frames: numbering, exact RGBA bytes, background-only frames and what the directory
// holds afterwards.

#include "sim/services/window/frame_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <set>

#include "support/png_maker.h"

namespace {

namespace fs = std::filesystem;
using namespace nk::sim;


std::set<std::string> names_in(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

class FrameFilesTest : public ::testing::Test {
 protected:
  fs::path dir = fs::temp_directory_path() / ("frame_files_" + std::to_string(getpid()));
  void TearDown() override { fs::remove_all(dir); }
};

TEST_F(FrameFilesTest, SavesPublicationsInOrderWithTheirExactBytes) {
  // Rows 12 bytes apart for 2-pixel rows: the padding must not reach the file. Alpha varies
  // so that nothing is premultiplied or dropped.
  const std::vector<uint8_t> pixels = {1, 2, 3, 0,    250, 128, 7, 99,   0xEE, 0xEE, 0xEE, 0xEE,
                                       9, 8, 7, 255,  0,   0,   0, 1,    0xEE, 0xEE, 0xEE, 0xEE};
  FrameFiles frames(dir / "new" / "frames");
  EXPECT_EQ(frames.save(pixels.data(), 2, 2, 12, 0x123456), dir / "new/frames/frame-000001.png");
  EXPECT_EQ(frames.save(nullptr, 3, 1, 12, 0x00A1B2C3), dir / "new/frames/frame-000002.png");
  EXPECT_EQ(frames.saved(), 2u);

  auto first = nk::test::read_png_file(dir / "new/frames/frame-000001.png");
  ASSERT_EQ(first.width, 2u);
  ASSERT_EQ(first.height, 2u);
  EXPECT_EQ(first.rgba, (std::vector<uint8_t>{1, 2, 3, 0, 250, 128, 7, 99, 9, 8, 7, 255, 0, 0, 0, 1}));
  auto background = nk::test::read_png_file(dir / "new/frames/frame-000002.png");
  ASSERT_EQ(background.width, 3u);
  EXPECT_EQ(background.rgba, (std::vector<uint8_t>{0xA1, 0xB2, 0xC3, 255, 0xA1, 0xB2, 0xC3, 255,
                                                   0xA1, 0xB2, 0xC3, 255}));
  EXPECT_EQ(names_in(dir / "new/frames"), (std::set<std::string>{"frame-000001.png", "frame-000002.png"}));
  EXPECT_EQ(FrameFiles::name(1234567), "frame-1234567.png");
}

TEST_F(FrameFilesTest, ANewRunReplacesEarlierFramesOnly) {
  fs::create_directories(dir);
  for (const char* name : {"frame-000001.png", "frame-000007.png", "notes.txt", "frame-1.png"})
    std::ofstream(dir / name) << "old";
  FrameFiles frames(dir);
  const uint8_t pixel[4] = {1, 2, 3, 4};
  frames.save(pixel, 1, 1, 4, 0);
  EXPECT_EQ(names_in(dir), (std::set<std::string>{"frame-000001.png", "notes.txt", "frame-1.png"}));
  EXPECT_EQ(nk::test::read_png_file(dir / "frame-000001.png").rgba, (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST_F(FrameFilesTest, ProblemsNameThePath) {
  fs::create_directories(dir);
  std::ofstream(dir / "file") << "x";
  EXPECT_THROW(FrameFiles(dir / "file"), FrameFileError);
  FrameFiles frames(dir / "out");
  fs::remove_all(dir / "out");
  const uint8_t pixel[4] = {};
  try {
    frames.save(pixel, 1, 1, 4, 0);
    FAIL() << "saving into a removed directory succeeded";
  } catch (const FrameFileError& problem) {
    EXPECT_NE(std::string(problem.what()).find("out/frame-000001.png: No such file"), std::string::npos)
        << problem.what();
  }
  EXPECT_EQ(frames.saved(), 0u);
  if (fs::exists("/dev/full")) {
    EXPECT_THROW(write_rgba_png("/dev/full", pixel, 1, 1, 4), FrameFileError);
  }
}

}  // namespace
