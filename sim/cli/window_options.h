#pragma once
// nkhost run's window options: which window the program gets (headless or a desktop
// window), scripted and recorded input, saved frames, pacing and a frame limit.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace nk::sim {

class Machine;

struct WindowOptions {
  bool desktop = false;  // --window sdl
  std::optional<std::filesystem::path> frames, input, record;
  std::optional<uint64_t> exit_after_frames;
  std::optional<std::pair<uint32_t, uint32_t>> display;
  std::optional<uint32_t> fps;
};

// A window option that cannot be used, or a window that cannot be set up; the message says
// what is wrong and where.
class WindowOptionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the value of a window option is ("a directory"), or null for another option.
const char* window_option_value(std::string_view name);
// Takes one window option; throws WindowOptionError for a bad value.
void set_window_option(WindowOptions& options, std::string_view name, std::string_view value);
// Checks the options together; throws WindowOptionError.
void check_window_options(const WindowOptions& options);

// Everything the options attach to the machine's window service, alive for the run.
class WindowSession {
 public:
  virtual ~WindowSession() = default;
};
// Reads the input script, opens the frame directory, the desktop and the recording, all
// before the program starts; throws WindowOptionError.
std::unique_ptr<WindowSession> start_window_session(Machine& machine, const WindowOptions& options);

}  // namespace nk::sim
