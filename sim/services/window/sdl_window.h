#pragma once
// The desktop window (`--window sdl`): every host window becomes an SDL2 window showing its
// last published frame. At each frame_end the desktop's events become input for the
// newest host window, through the same calls a script uses: typed characters, the
// keys that have a name in scripts (Enter, the arrows, F1 ...), Ctrl-C/D, the pointer in display pixels, buttons, the close
// button, focus and the window's position.

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "sim/services/window/input_recorder.h"
#include "sim/services/window/window_service.h"

struct SDL_Window;
union SDL_Event;

namespace nk::sim {

struct SdlLibrary;

// SDL could not reach a desktop.
class DesktopError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Why no desktop window can open, or "" when DISPLAY or WAYLAND_DISPLAY names one.
std::string missing_desktop();

class SdlWindows final : public WindowBackend {
 public:
  // Loads SDL2 and opens its video; throws DesktopError. With keep_display false the service's display
  // becomes the desktop's size. recorder (may be null) receives the person's input.
  SdlWindows(WindowService& service, bool keep_display, InputRecorder* recorder);
  ~SdlWindows() override;

  void on_create(const HostWindow& window) override;
  void on_publish(const HostWindow& window) override;
  void on_close(const HostWindow& window) override;
  void on_destroy(const HostWindow& window) override;

  // Reads the desktop's events and hands them to the service as the input of frame `frame`.
  void end_frame(uint64_t frame);

 private:
  struct Gathered;
  void translate(const SDL_Event& event, SDL_Window* newest, Gathered& input);
  void deliver(uint64_t frame, const InputAction& live, const InputAction& recorded);
  void present(SDL_Window* shown, const HostWindow& window);

  const SdlLibrary& sdl_;
  WindowService& service_;
  InputRecorder* recorder_;
  std::unordered_map<uint32_t, SDL_Window*> shown_;  // host window id -> desktop window
  uint32_t held_buttons_ = 0;      // buttons down on the desktop
  uint32_t reported_buttons_ = 0;  // the mask the service last received
  std::optional<std::pair<int, int>> last_pointer_;  // client pixels, as last delivered
};

}  // namespace nk::sim
