#include "sim/services/window/input_recorder.h"

#include <cerrno>
#include <cstring>

namespace nk::sim {

InputRecorder::InputRecorder(const std::filesystem::path& path)
    : path_(path), file_(fopen(path.c_str(), "w")) {
  if (!file_) throw InputScriptError(path.string() + ": cannot be written: " + strerror(errno));
  fputs("# input recorded by nkhost; replay with: nkhost run PROGRAM --input FILE\n", file_);
}

InputRecorder::~InputRecorder() {
  flush();
  fclose(file_);
}

void InputRecorder::record(uint64_t frame, const InputAction& action) {
  pending_.push_back({frame, action});
}

bool InputRecorder::flush() {
  if (failed_) return false;
  fputs(format_input_script(pending_).c_str(), file_);
  pending_.clear();
  if (fflush(file_) != 0) {
    failed_ = true;
    fprintf(stderr, "nkhost: --record: %s: %s\n", path_.c_str(), strerror(errno));
  }
  return !failed_;
}

}  // namespace nk::sim
