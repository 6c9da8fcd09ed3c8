// The console service: lines written are kept as far as asked (and printed in stdio mode);
// lines read come from the test's script, then, in stdio mode, from standard input.

#include "sim/services/console.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/services/line_editor.h"

namespace nk::sim {
namespace {

// One whole line from standard input without its line end; false at end of input.
bool read_stdin_line(std::string& line) {
  char* text = nullptr;
  size_t capacity = 0;
  ssize_t length = getline(&text, &capacity, stdin);
  if (length < 0) {
    free(text);
    return false;
  }
  line.assign(text, static_cast<size_t>(length));
  free(text);
  return true;
}

// A person at a terminal gets the prompt, line editing and history.
bool read_terminal_line(uint64_t prompt, std::string& line) {
  static LineEditor editor;
  return editor.read(guest_prompt_text(prompt), line);
}

}  // namespace

void Console::script(std::vector<std::string> input_lines) {
  script_.assign(std::make_move_iterator(input_lines.begin()),
                 std::make_move_iterator(input_lines.end()));
}
void Console::use_stdio(bool on) { stdio_ = on; }
void Console::keep_lines(size_t limit) { limit_ = limit; }
const std::vector<std::string>& Console::lines() const { return lines_; }
void Console::clear() {
  lines_.clear();
  warned_ = false;
}

void Console::write_line(const char* text) {
  if (!text) text = "";
  if (lines_.size() < limit_) {
    lines_.emplace_back(text);
  } else if (limit_ && !warned_) {
    warned_ = true;
    fprintf(stderr, "nkhost: %zu console lines kept; later lines are not kept\n", limit_);
  }
  if (stdio_) {
    // Flushed at once, so output shows as it happens even when stdout is a pipe.
    fputs(text, stdout);
    fputc('\n', stdout);
    fflush(stdout);
  }
}

int32_t Console::read_line(char* buffer, uint32_t capacity, std::string& got, uint64_t prompt) {
  got.clear();
  if (!buffer || capacity == 0) return 0;
  if (!script_.empty()) {
    got = std::move(script_.front());
    script_.pop_front();
  } else if (!stdio_ || !(LineEditor::wanted() ? read_terminal_line(prompt, got) : read_stdin_line(got))) {
    return 0;
  }
  if (got.ends_with('\n')) got.pop_back();
  if (got.ends_with('\r')) got.pop_back();
  size_t length = std::min<size_t>(got.size(), capacity - 1);
  got.resize(length);
  std::memcpy(buffer, got.data(), length);
  buffer[length] = 0;
  return 1;
}

}  // namespace nk::sim
