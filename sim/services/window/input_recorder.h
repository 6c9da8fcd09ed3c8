#pragma once
// Writes the input a person gives the desktop window as an input script (`--record FILE`),
// so that the session can be replayed with --input. Each frame's events reach the file
// when the frame ends, so a run that stops early keeps everything up to its last frame.

#include <cstdio>
#include <filesystem>
#include <vector>

#include "sim/services/window/input_script.h"

namespace nk::sim {

class InputRecorder {
 public:
  // Throws InputScriptError when the file cannot be created.
  explicit InputRecorder(const std::filesystem::path& path);
  ~InputRecorder();
  InputRecorder(const InputRecorder&) = delete;
  InputRecorder& operator=(const InputRecorder&) = delete;

  void record(uint64_t frame, const InputAction& action);
  // Writes what was recorded so far; false (with a message on stderr, once) on a write error.
  bool flush();

 private:
  std::filesystem::path path_;
  FILE* file_;
  std::vector<InputEvent> pending_;
  bool failed_ = false;
};

}  // namespace nk::sim
