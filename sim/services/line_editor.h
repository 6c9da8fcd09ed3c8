#pragma once
// Console input from a person at a terminal: the program's prompt is shown, the line can
// be edited and earlier lines recalled (libedit). Esc on an empty line or Ctrl-D ends
// input. Piped input does not come here: it stays plain and unechoed.

#include <cstdint>
#include <string>

struct editline;
struct history;

namespace nk::sim {

class LineEditor {
 public:
  // Standard input and output are both terminals.
  static bool wanted();

  LineEditor();
  ~LineEditor();
  LineEditor(const LineEditor&) = delete;
  LineEditor& operator=(const LineEditor&) = delete;

  // One line without its end; false when input ends.
  bool read(const std::string& prompt, std::string& line);

 private:
  editline* editor_;
  history* history_;
};

// The prompt text at a guest address, read without trusting the address (at most 200
// bytes, up to a NUL): empty when the address is 0 or cannot be read.
std::string guest_prompt_text(uint64_t address);

}  // namespace nk::sim
