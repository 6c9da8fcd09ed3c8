#pragma once
// What a shell command prints on standard output (the tools that inspect built files).

#include <cstdio>
#include <string>

namespace nk::test {

inline std::string command_output(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char chunk[4096];
  while (size_t n = fread(chunk, 1, sizeof chunk, pipe)) out.append(chunk, n);
  pclose(pipe);
  return out;
}

}  // namespace nk::test
