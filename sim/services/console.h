#pragma once
// The host's console service.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace nk::sim {

// Console lines: written ones are recorded (and printed in stdio mode); input comes from a
// script in tests, from standard input on the command line.
class Console {
 public:
  void script(std::vector<std::string> input_lines);  // read_line answers 0 when they run out
  void use_stdio(bool on);
  // Lines written are kept up to limit (one warning when more arrive); 0 keeps none.
  void keep_lines(size_t limit);
  const std::vector<std::string>& lines() const;  // the lines written and kept, in order
  void clear();

  // The console service as the library calls it. read_line stores at most capacity - 1
  // bytes and a NUL, returns non-zero when a line was read, and gives the line in got.
  // prompt is the guest's prompt text, shown when a person types at a terminal.
  void write_line(const char* text);
  int32_t read_line(char* buffer, uint32_t capacity, std::string& got, uint64_t prompt = 0);

 private:
  std::vector<std::string> lines_;
  std::deque<std::string> script_;
  bool stdio_ = false;
  size_t limit_ = 0;
  bool warned_ = false;
};

}  // namespace nk::sim
