// Guest window programs under nkhost, headless: a loop driven by --input that reports its
// own key flags and mouse, golden frames from --frames, and the options that shape a run.

#include <cstring>

#include "support/nkhost_process.h"
#include "support/png_maker.h"

namespace {

namespace fs = std::filesystem;
using nk::test::NkhostProcess;

struct Rgba {
  uint8_t r, g, b, a;
  bool operator==(const Rgba&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Rgba& p) {
  return out << int(p.r) << "," << int(p.g) << "," << int(p.b) << "," << int(p.a);
}

struct Frame {
  uint32_t width = 0, height = 0;
  std::vector<Rgba> pixels;
};

Frame read_frame(const fs::path& path) {
  auto png = nk::test::read_png_file(path);
  Frame frame{png.width, png.height, std::vector<Rgba>(png.rgba.size() / 4)};
  std::memcpy(frame.pixels.data(), png.rgba.data(), png.rgba.size());
  return frame;
}

class ScriptedWindow : public ::testing::Test {
 protected:
  fs::path dir = fs::temp_directory_path() / ("scripted_window_" + std::to_string(getpid()));
  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override { fs::remove_all(dir); }
  fs::path script(const std::string& text) {
    std::ofstream(dir / "input.txt") << text;
    return dir / "input.txt";
  }
};

TEST_F(ScriptedWindow, LoopSeesTheScriptedKeysAndMouseFrameByFrame) {
  // Events for frame N are read by the program's (N+1)-th updateWindow.
  fs::path input = script(
      "@0 text \"Hi\"            # letters, upper case too\n"
      "@0 pointer abs 114 88     # client pixel (100, 50): the window sits at 0,0\n"
      "@1 key 0 0x48\n"
      "@1 buttons 1\n"
      "@2 key 0x1b 0\n"
      "@2 text \"[D\"            # a serial terminal's left arrow\n"
      "@2 pointer rel -10 5\n"
      "@3 focus off\n"
      "@3 key 0x61 0             # waits in the queue while the window has no focus\n"
      "@4 focus on\n"
      "@5 pointer abs 5000 5000  # clamped to the client area\n"
      "@5 buttons 6\n"
      "@6 key 0x0d 0x1c\n"
      "@6 text \"7 \"\n"
      "@7 key 0 0x53\n"
      "@7 key 0x08 0x0e\n"
      "@8 close\n");
  NkhostProcess run(dir, "window_input_loop", {"--input", input.string()});
  EXPECT_EQ(run.wait(), 0) << run.err();
  EXPECT_EQ(run.out(),
            "0: h i last=105 mouse=100,50 buttons=000\n"
            "1: up last=0 mouse=100,50 buttons=100\n"
            "2: left last=0 mouse=90,55 buttons=100\n"
            "3: last=0 mouse=90,55 buttons=000\n"
            "4: a last=97 mouse=90,55 buttons=100\n"
            "5: last=0 mouse=199,99 buttons=011\n"
            "6: return space 7 last=32 mouse=199,99 buttons=011\n"
            "7: back delete last=0 mouse=199,99 buttons=011\n"
            "closed\n");
  EXPECT_EQ(run.err(), "");
}

TEST_F(ScriptedWindow, KeysByNameReachTheProgramAsTheirNumbersDo) {
  auto output = [&](const std::string& text) {
    NkhostProcess run(dir, "window_input_loop", {"--input", script(text).string()});
    EXPECT_EQ(run.wait(), 0) << run.err();
    return run.out();
  };
  std::string by_name = output(
      "@0 key left\n@0 key a\n@1 key enter\n@1 key backspace\n@1 key 7\n@2 key delete\n"
      "@2 key space\n@2 key up\n@3 key f1\n@3 key home\n@4 key esc\n");
  std::string by_number = output(
      "@0 key 0 0x4b\n@0 key 0x61 0x1e\n@1 key 0x0d 0x1c\n@1 key 0x08 0x0e\n@1 key 0x37 0x08\n"
      "@2 key 0 0x53\n@2 key 0x20 0x39\n@2 key 0 0x48\n@3 key 0 0x3b\n@3 key 0 0x47\n"
      "@4 key 0x1b 0x01\n");
  EXPECT_EQ(by_name, by_number);
  EXPECT_EQ(by_name,
            "0: a left last=97 mouse=100,50 buttons=000\n"
            "1: return back 7 last=55 mouse=100,50 buttons=000\n"
            "2: up delete space last=32 mouse=100,50 buttons=000\n"
            "3: last=0 mouse=100,50 buttons=000\n"
            "4: last=0 mouse=100,50 buttons=000\n"
            "closed\n");
}

TEST_F(ScriptedWindow, WindowEventsBeforeAnyWindowWaitForIt) {
  // The window sits at 100,200 from the start, so the pointer maps through that position.
  fs::path input = script(
      "@0 move 100 200\n@0 pointer abs 120 240\n@0 buttons 1\n@0 focus off\n@1 focus on\n@2 close\n");
  NkhostProcess run(dir, "window_input_loop", {"--input", input.string(), "--display", "400x300"});
  EXPECT_EQ(run.wait(), 0) << run.err();
  EXPECT_EQ(run.out(),
            "0: last=0 mouse=6,2 buttons=000\n"
            "1: last=0 mouse=6,2 buttons=100\n"
            "closed\n");
}

TEST_F(ScriptedWindow, FramesAreSavedExactlyAsPublished) {
  NkhostProcess run(dir, "window_frames", {"--frames", (dir / "frames").string()});
  ASSERT_EQ(run.wait(), 0) << run.err();
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir / "frames")) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  ASSERT_EQ(names, (std::vector<std::string>{"frame-000001.png", "frame-000002.png",
                                             "frame-000003.png", "frame-000004.png"}));

  // The guest's 4x2 image: pixel i is (10i, 100+i, 200-i, 30i).
  auto source = [](int column, int row) {
    int i = row * 4 + column;
    return Rgba{uint8_t(10 * i), uint8_t(100 + i), uint8_t(200 - i), uint8_t(30 * i)};
  };
  const Rgba grey{246, 246, 246, 255}, custom{1, 2, 3, 255};
  // Golden frames: in 8x6 the image is drawn 8x4 from row 1, source rows 0 0 1 1 and
  // columns 0 0 1 1 2 2 3 3; in 2x3, 2x1 from row 1 with columns 0 and 2.
  auto fitted = [&](Rgba background) {
    const int rows[] = {0, 0, 1, 1}, columns[] = {0, 0, 1, 1, 2, 2, 3, 3};
    std::vector<Rgba> pixels(8 * 6, background);
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 8; ++c) pixels[(r + 1) * 8 + c] = source(columns[c], rows[r]);
    return pixels;
  };
  const std::vector<std::pair<std::pair<uint32_t, uint32_t>, std::vector<Rgba>>> golden = {
      {{8, 6}, std::vector<Rgba>(8 * 6, grey)},  // the new window: no pixels, its background
      {{8, 6}, fitted(grey)},
      {{8, 6}, fitted(custom)},
      {{2, 3}, {custom, custom, source(0, 0), source(2, 0), custom, custom}},
  };
  for (size_t i = 0; i < golden.size(); ++i) {
    Frame frame = read_frame(dir / "frames" / names[i]);
    EXPECT_EQ(frame.width, golden[i].first.first) << names[i];
    EXPECT_EQ(frame.height, golden[i].first.second) << names[i];
    EXPECT_EQ(frame.pixels, golden[i].second) << names[i];
  }
}

TEST_F(ScriptedWindow, AWindowWiderThanAMillionPixelsHasItsFramesSaved) {
  NkhostProcess run(dir, "window_wide", {"--frames", (dir / "frames").string()});
  ASSERT_EQ(run.wait(), 0) << run.err();
  Frame bare = read_frame(dir / "frames/frame-000001.png");
  Frame filled = read_frame(dir / "frames/frame-000002.png");
  ASSERT_EQ(filled.width, 1000001u);
  EXPECT_EQ(filled.height, 1u);
  EXPECT_EQ(bare.width, 1000001u);
  for (uint32_t x : {0u, 255u, 65536u, 999999u, 1000000u})
    EXPECT_EQ(filled.pixels[x], (Rgba{uint8_t(x), uint8_t(x >> 8), uint8_t(x >> 16), 255})) << x;
}

TEST_F(ScriptedWindow, RunEndsCleanlyAtTheFrameLimit) {
  fs::path input = script("@1 key 0x61 0\n");
  NkhostProcess run(dir, "window_input_loop", {"--input", input.string(), "--exit-after-frames", "3"});
  EXPECT_EQ(run.wait(), 0) << run.err();
  // The third frame_end ends the run inside the third updateWindow, before its report.
  EXPECT_EQ(run.out(), "0: last=0 mouse=100,50 buttons=000\n1: a last=97 mouse=100,50 buttons=000\n");
}

TEST_F(ScriptedWindow, BadScriptsAndOptionsAreRefusedBeforeTheProgramStarts) {
  fs::path input = script("@0 text \"ok\"\n# fine\n@2 pointer abs 1\n");
  std::ofstream(dir / "names.txt") << "@0 key left\n@1 key leftt\n";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--input", input.string()},
       "nkhost: --input: " + input.string() + ":3: expected Y"},
      {{"--input", (dir / "names.txt").string()},
       "nkhost: --input: " + (dir / "names.txt").string() + ":2: unknown key 'leftt'"},
      {{"--input", (dir / "missing.txt").string()}, "--input: '" + (dir / "missing.txt").string() + "' is not a file"},
      {{"--record", (dir / "r.txt").string()}, "--record needs --window sdl"},
      {{"--exit-after-frames", "0"}, "--exit-after-frames needs a whole number from 1 to"},
      {{"--fps", "fast"}, "--fps needs a whole number from 0 to 1000, not 'fast'"},
      {{"--display", "640"}, "--display needs WIDTHxHEIGHT, not '640'"},
      {{"--display", "0x480"}, "--display's width needs a whole number from 1 to 65535, not '0'"},
      {{"--window", "gl"}, "--window must be headless or sdl, not 'gl'"},
  };
  for (const auto& [args, message] : cases) {
    NkhostProcess run(dir, "window_input_loop", args);
    EXPECT_EQ(run.wait(), 64) << message;
    EXPECT_NE(run.err().find(message), std::string::npos) << run.err();
    EXPECT_EQ(run.out(), "") << message;
  }
  NkhostProcess no_desktop(dir, "window_input_loop", {"--window", "sdl"}, {"DISPLAY=", "WAYLAND_DISPLAY="});
  EXPECT_EQ(no_desktop.wait(), 64);
  EXPECT_NE(no_desktop.err().find("neither DISPLAY nor WAYLAND_DISPLAY is set"), std::string::npos)
      << no_desktop.err();
  NkhostProcess unreachable(dir, "window_input_loop", {"--window", "sdl"}, {"DISPLAY=:9999", "WAYLAND_DISPLAY="});
  EXPECT_EQ(unreachable.wait(), 64);
  EXPECT_NE(unreachable.err().find("--window sdl cannot open the desktop"), std::string::npos)
      << unreachable.err();
  EXPECT_EQ(unreachable.out(), "");
  // SDL2 is opened only for a desktop window; without it that run stops, and says why.
  NkhostProcess no_sdl(dir, "window_input_loop", {"--window", "sdl"},
                       {"DISPLAY=:9999", "NKHOST_SDL_LIBRARY=libSDL2-not-installed.so.0"});
  EXPECT_EQ(no_sdl.wait(), 64);
  EXPECT_NE(no_sdl.err().find("--window sdl needs libSDL2-not-installed.so.0: "), std::string::npos)
      << no_sdl.err();
  EXPECT_EQ(no_sdl.out(), "");
}

}  // namespace
