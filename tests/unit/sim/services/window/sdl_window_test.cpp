// The desktop window in a real X server: an Xvfb started here, the published frame read
// back from the server by this process, a close request sent the way a window manager sends
// it, and a session typed and clicked with xdotool that must replay headless to the same
// frames.

#include <poll.h>

#include "sim/services/window/input_script.h"
#include "support/nkhost_process.h"

// After GoogleTest: Xlib's macros (None, Bool, Status) would break its headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

namespace fs = std::filesystem;
using nk::test::NkhostProcess;
using nk::test::slurp;
using Clock = std::chrono::steady_clock;

bool on_path(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// An X server of our own, on a display number it picks itself.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>("Xvfb"), const_cast<char*>("-displayfd"), const_cast<char*>("3"),
                    const_cast<char*>("-screen"), const_cast<char*>("0"), const_cast<char*>("640x480x24"),
                    const_cast<char*>("-nolisten"), const_cast<char*>("tcp"), nullptr};
    if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string number;
    pollfd ready{fds[0], POLLIN, 0};
    char c;
    while (pid_ > 0 && poll(&ready, 1, 10000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) return;
    name_ = ":" + number;
    display_ = XOpenDisplay(name_.c_str());
  }
  ~VirtualDisplay() {
    if (display_) XCloseDisplay(display_);
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  Display* x() const { return display_; }
  const std::string& name() const { return name_; }

  // The top-level window with this title, once it is mapped.
  Window find(const std::string& title, std::chrono::seconds timeout = std::chrono::seconds(20)) {
    for (auto deadline = Clock::now() + timeout; Clock::now() < deadline;) {
      Window root_return, parent, *children = nullptr;
      unsigned count = 0;
      XQueryTree(display_, DefaultRootWindow(display_), &root_return, &parent, &children, &count);
      Window found = 0;
      for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        XWindowAttributes attributes;
        if (XFetchName(display_, children[i], &name) && name && title == name &&
            XGetWindowAttributes(display_, children[i], &attributes) && attributes.map_state == IsViewable)
          found = children[i];
        if (name) XFree(name);
      }
      if (children) XFree(children);
      if (found) return found;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
  }

  // The window's client area as the screen shows it, 0x00RRGGBB per pixel.
  std::vector<uint32_t> screenshot(Window window, int width, int height) {
    int x, y;
    Window child;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
    XImage* image = XGetImage(display_, DefaultRootWindow(display_), x, y, width, height, AllPlanes, ZPixmap);
    std::vector<uint32_t> pixels;
    if (!image) return pixels;
    for (int row = 0; row < height; ++row)
      for (int column = 0; column < width; ++column)
        pixels.push_back(uint32_t(XGetPixel(image, column, row)) & 0xFFFFFF);
    XDestroyImage(image);
    return pixels;
  }

  // What a window manager sends when the close button is pressed.
  void request_close(Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window, False, NoEventMask, &event);
    XFlush(display_);
  }

 private:
  pid_t pid_ = -1;
  std::string name_;
  Display* display_ = nullptr;
};

class SdlWindow : public ::testing::Test {
 protected:
  fs::path dir = fs::temp_directory_path() / ("sdl_window_" + std::to_string(getpid()));
  std::unique_ptr<VirtualDisplay> screen;

  void SetUp() override {
    if (!on_path("Xvfb")) GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps installs it)";
    fs::create_directories(dir);
    screen = std::make_unique<VirtualDisplay>();
    ASSERT_TRUE(screen->x()) << "Xvfb did not start";
  }
  void TearDown() override { fs::remove_all(dir); }
  std::vector<std::string> desktop_env() const { return {"DISPLAY=" + screen->name(), "WAYLAND_DISPLAY="}; }
};

TEST_F(SdlWindow, ShowsThePublishedFrameAndClosesOnRequest) {
  NkhostProcess run(dir, "window_show", {"--window", "sdl"}, desktop_env());
  Window window = screen->find("nkhost window test");
  ASSERT_NE(window, 0u) << "no window appeared; nkhost said: " << run.err();

  // The guest's quadrants; the transparent one shows its colour all the same.
  std::vector<uint32_t> expected;
  for (int y = 0; y < 90; ++y)
    for (int x = 0; x < 120; ++x) {
      bool right = x >= 60, bottom = y >= 45;
      expected.push_back(uint32_t(right ? 250 : 10) << 16 | uint32_t(bottom ? 200 : 20) << 8 |
                         (right == bottom ? 30 : 160));
    }
  std::vector<uint32_t> shown;
  for (auto deadline = Clock::now() + std::chrono::seconds(10); Clock::now() < deadline;) {
    shown = screen->screenshot(window, 120, 90);
    if (shown == expected) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_EQ(shown.size(), expected.size());
  size_t wrong = 0;
  for (size_t i = 0; i < shown.size(); ++i) wrong += shown[i] != expected[i];
  EXPECT_EQ(wrong, 0u) << "pixels differing from the published frame, first at (0,0): "
                       << std::hex << shown[0] << " instead of " << expected[0];

  EXPECT_TRUE(run.running()) << "the loop ended before the close request";
  screen->request_close(window);
  EXPECT_EQ(run.wait(std::chrono::seconds(20)), 0) << run.err();
  EXPECT_TRUE(run.out().starts_with("closed after ")) << run.out();
}

TEST_F(SdlWindow, RecordedSessionReplaysToTheSameFrames) {
  if (!on_path("xdotool")) GTEST_SKIP() << "xdotool is not installed (scripts/install-deps installs it)";
  fs::path record = dir / "session.txt";
  // A script may run beside the person; its events are recorded too.
  std::ofstream(dir / "script.txt") << "@2 text \"m\"\n";
  NkhostProcess live(dir, "window_paint",
                     {"--window", "sdl", "--record", record.string(), "--frames", (dir / "live").string(),
                      "--input", (dir / "script.txt").string()},
                     desktop_env());
  Window window = screen->find("nkhost paint test");
  ASSERT_NE(window, 0u) << "no window appeared; nkhost said: " << live.err();
  std::string id = std::to_string(window);
  // A person's session: drag with the left button, arrows, Home, F5, two letters, then Esc.
  // ('type' takes every word after it as text, so it runs on its own.)
  std::string xdotool = "DISPLAY=" + screen->name() + " xdotool ";
  std::string session = xdotool + "windowfocus --sync " + id + " sleep 0.2 mousemove --window " + id +
                        " 10 10 sleep 0.1 mousedown 1 sleep 0.1 mousemove --window " + id +
                        " 40 30 sleep 0.1 mouseup 1 key Right Right Down Home F5 sleep 0.1 && " + xdotool +
                        "type ab && " + xdotool + "sleep 0.2 key Escape";
  ASSERT_EQ(std::system(session.c_str()), 0);
  ASSERT_EQ(live.wait(std::chrono::seconds(30)), 0) << live.err() << slurp(record);

  // What was done, as events (their frames depend on timing): client (10,10) and (40,30)
  // are written for a window at 0,0, past the 14/38 offsets.
  std::vector<nk::sim::InputEvent> events = nk::sim::read_input_script(record).events();
  auto recorded = [&](const nk::sim::InputAction& action) {
    return std::any_of(events.begin(), events.end(), [&](const auto& e) { return e.action == action; });
  };
  using namespace nk::sim;
  EXPECT_NE(std::find(events.begin(), events.end(), InputEvent{2, KeyInput{'m', 0}}), events.end());
  for (const InputAction& action : std::initializer_list<InputAction>{
           PointerAbsInput{24, 48}, PointerAbsInput{54, 68}, ButtonsInput{1}, ButtonsInput{0},
           KeyInput{0, 0x4D}, KeyInput{0, 0x50}, KeyInput{0, 0x47}, KeyInput{0, 0x3F}, KeyInput{'a', 0},
           KeyInput{'b', 0}, KeyInput{0x1B, 0x01}})
    EXPECT_TRUE(recorded(action)) << "an event is missing from:\n" << slurp(record);
  // Keys with a name are written by it.
  for (const char* line : {" key right\n", " key home\n", " key f5\n", " key esc\n"})
    EXPECT_NE(slurp(record).find(line), std::string::npos) << line << " is missing from:\n" << slurp(record);

  NkhostProcess replay(dir, "window_paint", {"--input", record.string(), "--frames", (dir / "replay").string()});
  ASSERT_EQ(replay.wait(), 0) << replay.err();
  auto name = [](size_t n) {
    std::string digits = std::to_string(n);
    return "frame-" + std::string(6 - digits.size(), '0') + digits + ".png";
  };
  size_t frames = 0;
  while (fs::exists(dir / "live" / name(frames + 1))) ++frames;
  ASSERT_GT(frames, 10u);
  EXPECT_FALSE(fs::exists(dir / "replay" / name(frames + 1))) << "the replay ran longer";
  for (size_t n = 1; n <= frames; ++n)
    ASSERT_EQ(slurp(dir / "live" / name(n)), slurp(dir / "replay" / name(n))) << name(n) << " differs";
  EXPECT_NE(slurp(dir / "live" / name(1)), slurp(dir / "live" / name(frames)))
      << "the session changed nothing the program drew";
}

}  // namespace
