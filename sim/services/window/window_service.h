#pragma once
// The host's window service: every window the program opened, its last published frame,
// the key queue, the pointer, the virtual display and the frame counter. Headless by
// default: it keeps state and draws nothing. A backend (a desktop window) and observers
// (a frame writer, scripted input, pacing) attach to it.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace nk::sim {

// One host window as the program last described it.
struct HostWindow {
  uint32_t id = 0;
  std::string title;
  int32_t width = 0;   // from window_create, then from each publication
  int32_t height = 0;
  // The last successful publication, tightly packed RGBA (stride width * 4); empty when it
  // carried no pixels, so that only the background colour shows.
  std::vector<uint8_t> pixels;
  uint32_t background = 0;  // 0x00RRGGBB
  int32_t x = 0;            // position on the display, reported by window_query
  int32_t y = 0;
  bool close_requested = false;  // the host asks the window to close
  bool focused = true;           // a new window has input focus
  bool closed = false;           // the program called window_close
  uint64_t publications = 0;     // successful window_publish calls
};

// What a frame writer needs of one successful publication. pixels is null when the
// publication carried only the background colour.
struct Publication {
  const HostWindow& window;
  const uint8_t* pixels;  // width * height RGBA pixels, stride width * 4
  int32_t width;
  int32_t height;
  uint32_t background;
};

// A desktop window (SDL) showing the host windows.
class WindowBackend {
 public:
  virtual ~WindowBackend() = default;
  virtual void on_create(const HostWindow& window) = 0;
  virtual void on_publish(const HostWindow& window) = 0;
  virtual void on_close(const HostWindow& window) = 0;
  virtual void on_destroy(const HostWindow& window) = 0;
};

class WindowService {
 public:
  static constexpr uint32_t kDefaultDisplayWidth = 1280;
  static constexpr uint32_t kDefaultDisplayHeight = 800;

  // ---- The entry points, as the library calls them -----------------------------------
  uint32_t create(const char* title, int32_t width, int32_t height);  // 0: refused
  // Copies the frame during the call; non-zero when the window now shows it.
  uint32_t publish(uint32_t id, const char* title, const uint8_t* pixels, int32_t width,
                   int32_t height, int32_t stride, uint32_t background);
  int32_t query(uint32_t id, void* info);  // fills the 112-byte window record
  void close(uint32_t id, int32_t x, int32_t y, uint32_t a, uint32_t b);
  void destroy(uint32_t id);
  int32_t pointer_poll(void* state);  // fills the 32-byte pointer record; always 1
  int32_t display_info(void* info);   // fills the 52-byte display record
  uint32_t key_poll();                // next key event word, 0 when the queue is empty
  void frame_end();

  // ---- Inspection ----------------------------------------------------------------------
  const HostWindow* window(uint32_t id) const;  // null when there is no such live window
  const HostWindow* latest() const;  // the most recently created window still alive
  std::vector<const HostWindow*> windows() const;  // live windows, oldest first
  uint64_t frames() const { return frames_; }      // frame_end calls so far
  size_t pending_keys() const { return keys_.size(); }
  uint32_t display_width() const { return display_width_; }
  uint32_t display_height() const { return display_height_; }

  // ---- Input, for scripts, the desktop window and tests ----------------------------------
  // A key event with character ch and key code; an event with both 0 cannot be told from
  // an empty queue and is dropped.
  void queue_key(uint8_t ch, uint8_t code);
  // Absolute position; a range of 0 means display pixels. Valid until relative motion.
  void pointer_abs(int32_t x, int32_t y, uint32_t range_x = 0, uint32_t range_y = 0);
  // Relative motion, added up until the next pointer_poll.
  void pointer_rel(int32_t dx, int32_t dy);
  void set_buttons(uint32_t mask);
  // These act on latest(); false when no window is alive.
  bool request_close();
  bool set_focus(bool focused);
  bool move(int32_t x, int32_t y);
  // 0 for either size makes the display unusable for absolute positions.
  void set_display(uint32_t width, uint32_t height);
  // The next `count` window_publish calls fail (return 0) before any other check.
  void fail_publications(uint32_t count) { failing_publications_ = count; }

  // ---- Hooks ---------------------------------------------------------------------------
  // After every successful publication.
  void add_publish_observer(std::function<void(const Publication&)> observer);
  // At every frame_end, after the count went up, with the new count: input scheduled for
  // frame N is applied when the count reaches N.
  void add_frame_observer(std::function<void(uint64_t frame)> observer);
  void set_backend(std::unique_ptr<WindowBackend> backend);
  WindowBackend* backend() const { return backend_.get(); }

 private:
  HostWindow* find(uint32_t id, const char* entry);
  HostWindow* latest_mutable();

  std::vector<std::unique_ptr<HostWindow>> windows_;  // creation order
  uint32_t next_id_ = 1;
  std::deque<uint32_t> keys_;
  struct Pointer {
    bool absolute = false;
    int32_t x = 0, y = 0;
    uint32_t range_x = 0, range_y = 0;
    int64_t dx = 0, dy = 0;  // motion not yet polled
    uint32_t buttons = 0;
  } pointer_;
  uint32_t display_width_ = kDefaultDisplayWidth;
  uint32_t display_height_ = kDefaultDisplayHeight;
  uint64_t frames_ = 0;
  uint32_t failing_publications_ = 0;
  std::vector<std::function<void(const Publication&)>> publish_observers_;
  std::vector<std::function<void(uint64_t)>> frame_observers_;
  std::unique_ptr<WindowBackend> backend_;
};

}  // namespace nk::sim
