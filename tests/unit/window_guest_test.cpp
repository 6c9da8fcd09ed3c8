// Window programs built like a user's, driven by input queued at chosen frames, as a
// script would queue it.

#include <functional>
#include <map>

#include "support/library_test.h"

namespace {

class WindowGuest : public nk::test::LibraryTest {
 protected:
  // Input for frame N (seen by the program's updateWindow number N + 1) is queued when the program has called frame_end N times.
  std::map<uint64_t, std::function<void()>> script;
  void follow_script() {
    if (script.count(0)) script[0]();
    machine.window().add_frame_observer([this](uint64_t frame) {
      if (script.count(frame)) script[frame]();
    });
  }
};

TEST_F(WindowGuest, ALoopSeesItsKeysAndMouseFrameByFrame) {
  auto& host = machine.window();
  script[0] = [&] { host.queue_key('a', 0x1E); };
  script[1] = [&] {
    host.queue_key(0x1B, 0);  // an arrow from a serial terminal, split over two frames
    host.queue_key('[', 0);
  };
  script[2] = [&] {
    host.queue_key('C', 0);
    host.queue_key(0, 0x4D);
  };
  script[3] = [&] {
    host.move(100, 100);
    host.pointer_abs(100 + 14 + 20, 100 + 38 + 30);
    host.set_buttons(1);
  };
  script[4] = [&] { host.set_focus(false); };
  script[5] = [&] {
    host.set_focus(true);
    host.pointer_rel(100, -100);
    host.set_buttons(0);
  };
  script[6] = [&] { host.request_close(); };
  follow_script();

  int frames = run_guest("window_loop");
  EXPECT_EQ(frames, 6);
  EXPECT_EQ(machine.console().lines(),
            (std::vector<std::string>{
                "0: keys a last 97 mouse 32,24 buttons 0",
                "1: keys - last 0 mouse 32,24 buttons 0",
                "2: keys right last 0 mouse 32,24 buttons 0",
                "3: keys - last 0 mouse 20,30 buttons 1",
                "4: keys - last 0 mouse 20,30 buttons 0",
                "5: keys - last 0 mouse 63,0 buttons 0",
            }));
  EXPECT_TRUE(host.windows().empty());  // the program destroyed its window
}

TEST_F(WindowGuest, TheLastFrameShowsWhatTheProgramDrew) {
  auto& host = machine.window();
  std::vector<uint8_t> last;
  host.add_publish_observer([&](const nk::sim::Publication& p) {
    if (p.pixels) last.assign(p.pixels, p.pixels + size_t(p.width) * p.height * 4);
  });
  script[0] = [&] { host.queue_key(0, 0x4D); };  // right arrow: the square moves to 15
  script[2] = [&] { host.request_close(); };
  follow_script();
  EXPECT_EQ(run_guest("window_loop"), 2);
  ASSERT_EQ(last.size(), 64u * 48 * 4);
  auto white = [&](int x, int y) { return last[size_t(y * 64 + x) * 4] == 255; };
  EXPECT_FALSE(white(29, 20));
  EXPECT_TRUE(white(30, 20));
  EXPECT_TRUE(white(37, 27));
  EXPECT_FALSE(white(38, 27));
  EXPECT_FALSE(white(30, 28));
  // Scaled 2x into the 64 x 48 window.
  EXPECT_EQ(last[2], 40);  // blue of source row 0
  EXPECT_EQ(last[(47 * 64) * 4 + 2], 40 + 23);  // blue of source row 23
}

TEST_F(WindowGuest, TheHeaderServesCPlusPlus) { EXPECT_EQ(run_guest("window_header_cpp"), 0); }

}  // namespace
