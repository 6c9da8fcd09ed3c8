#include "sim/cli/window_options.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "sim/machine/machine.h"
#include "sim/services/window/frame_files.h"
#include "sim/services/window/input_recorder.h"
#include "sim/services/window/scripted_input.h"
#include "sim/services/window/sdl_window.h"

namespace nk::sim {
namespace {

namespace fs = std::filesystem;

constexpr int kExitWriteFailed = 74;  // a frame or the recording could not be written (EX_IOERR)
constexpr uint32_t kDesktopFps = 60;

uint64_t count(std::string_view name, std::string_view text, uint64_t low, uint64_t high) {
  uint64_t value = 0;
  bool digits = !text.empty();
  for (char c : text) {
    digits &= c >= '0' && c <= '9';
    if (!digits || value > high) break;
    value = value * 10 + (c - '0');
  }
  if (!digits || value < low || value > high)
    throw WindowOptionError(std::string(name) + " needs a whole number from " + std::to_string(low) +
                            " to " + std::to_string(high) + ", not '" + std::string(text) + "'");
  return value;
}

std::pair<uint32_t, uint32_t> display_size(std::string_view text) {
  size_t x = text.find('x');
  if (x == text.npos) throw WindowOptionError("--display needs WIDTHxHEIGHT, not '" + std::string(text) + "'");
  return {uint32_t(count("--display's width", text.substr(0, x), 1, 65535)),
          uint32_t(count("--display's height", text.substr(x + 1), 1, 65535))};
}

[[noreturn]] void stop(int status) {
  fflush(stdout);
  std::exit(status);
}

// Keeps frame_end to a steady rate; a program that falls behind is not made to catch up.
class FramePacer {
 public:
  explicit FramePacer(uint32_t fps) : period_(std::chrono::nanoseconds(1'000'000'000 / fps)) {}
  void pace() {
    auto now = Clock::now();
    if (now < next_) {
      std::this_thread::sleep_until(next_);
      next_ += period_;
    } else {
      next_ = now - next_ > period_ ? now + period_ : next_ + period_;
    }
  }

 private:
  using Clock = std::chrono::steady_clock;
  Clock::duration period_;
  Clock::time_point next_{};
};

class Session final : public WindowSession {
 public:
  Session(WindowService& service, const WindowOptions& options) {
    // Registered first, so that the run ends before this frame's input or pacing.
    if (options.exit_after_frames)
      service.add_frame_observer([limit = *options.exit_after_frames, this](uint64_t frame) {
        if (frame < limit) return;
        if (recorder_) recorder_->flush();
        stop(0);
      });
    if (options.display) service.set_display(options.display->first, options.display->second);
    if (options.frames) save_frames(service, *options.frames);
    if (options.record) {
      try {
        recorder_ = std::make_unique<InputRecorder>(*options.record);
      } catch (const InputScriptError& problem) {
        throw WindowOptionError(std::string("--record: ") + problem.what());
      }
    }
    if (options.input) {
      try {
        script_.emplace(service, read_input_script(*options.input), recorder_.get());
      } catch (const InputScriptError& problem) {
        throw WindowOptionError(std::string("--input: ") + problem.what());
      }
    }
    if (options.desktop) open_desktop(service, options);
    uint32_t fps = options.fps.value_or(options.desktop ? kDesktopFps : 0);
    if (fps) service.add_frame_observer([pacer = FramePacer(fps)](uint64_t) mutable { pacer.pace(); });
  }

 private:
  void save_frames(WindowService& service, const std::filesystem::path& directory) {
    try {
      frames_.emplace(directory);
    } catch (const FrameFileError& problem) {
      throw WindowOptionError(std::string("--frames: ") + problem.what());
    }
    service.add_publish_observer([this](const Publication& p) {
      try {
        frames_->save(p.pixels, p.width, p.height, size_t(p.width) * 4, p.background);
      } catch (const FrameFileError& problem) {
        fprintf(stderr, "nkhost: --frames: %s\n", problem.what());
        stop(kExitWriteFailed);
      }
    });
  }

  void open_desktop(WindowService& service, const WindowOptions& options) {
    if (std::string missing = missing_desktop(); !missing.empty()) throw WindowOptionError(missing);
    std::unique_ptr<SdlWindows> desktop;
    try {
      desktop = std::make_unique<SdlWindows>(service, options.display.has_value(), recorder_.get());
    } catch (const DesktopError& problem) {
      throw WindowOptionError(problem.what());
    }
    SdlWindows* shown = desktop.get();
    service.set_backend(std::move(desktop));
    service.add_frame_observer([shown, this](uint64_t frame) {
      shown->end_frame(frame);
      if (recorder_ && !recorder_->flush()) stop(kExitWriteFailed);
    });
  }

  std::optional<FrameFiles> frames_;
  std::optional<ScriptedInput> script_;
  std::unique_ptr<InputRecorder> recorder_;
};

}  // namespace

const char* window_option_value(std::string_view name) {
  if (name == "--window") return "a mode (headless or sdl)";
  if (name == "--frames") return "a directory";
  if (name == "--input" || name == "--record") return "a file";
  if (name == "--exit-after-frames") return "a number of frames";
  if (name == "--display") return "a size (WIDTHxHEIGHT)";
  if (name == "--fps") return "a number of frames a second";
  return nullptr;
}

void set_window_option(WindowOptions& options, std::string_view name, std::string_view value) {
  if (name == "--window") {
    if (value != "headless" && value != "sdl")
      throw WindowOptionError("--window must be headless or sdl, not '" + std::string(value) + "'");
    options.desktop = value == "sdl";
  } else if (name == "--frames") {
    options.frames = value;
  } else if (name == "--input") {
    options.input = value;
  } else if (name == "--record") {
    options.record = value;
  } else if (name == "--exit-after-frames") {
    options.exit_after_frames = count(name, value, 1, UINT64_MAX / 10);
  } else if (name == "--display") {
    options.display = display_size(value);
  } else if (name == "--fps") {
    options.fps = uint32_t(count(name, value, 0, 1000));
  }
}

void check_window_options(const WindowOptions& options) {
  if (options.record && !options.desktop)
    throw WindowOptionError("--record needs --window sdl: it records what a person types and clicks");
  std::error_code error;
  if (options.frames && fs::exists(*options.frames, error) && !fs::is_directory(*options.frames, error))
    throw WindowOptionError("--frames: '" + options.frames->string() + "' is not a directory");
  if (options.input && !fs::is_regular_file(*options.input, error))
    throw WindowOptionError("--input: '" + options.input->string() + "' is not a file");
  if (options.desktop)
    if (std::string missing = missing_desktop(); !missing.empty()) throw WindowOptionError(missing);
}

std::unique_ptr<WindowSession> start_window_session(Machine& machine, const WindowOptions& options) {
  return std::make_unique<Session>(machine.window(), options);
}

}  // namespace nk::sim
