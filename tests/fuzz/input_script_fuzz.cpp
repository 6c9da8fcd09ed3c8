// Input scripts (`--input FILE`) come from people and tools nkhost does not control. Any
// bytes are either a script or a refusal that names the file and line, and the written form
// of what was read (what --record writes) reads back as the same events.

#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "sim/services/window/input_script.h"

using namespace nk::sim;
using nk::fuzz::finding;
using nk::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<InputEvent> events;
  try {
    events = parse_input_script(text, "fuzz.input");
  } catch (const InputScriptError& problem) {
    require(std::string_view(problem.what()).starts_with("fuzz.input:"),
            "a refusal that does not name the file and line");
    return 0;
  }
  std::string written = format_input_script(events);
  try {
    require(parse_input_script(written, "written") == events,
            "the written form of a script reads back as other events");
  } catch (const InputScriptError& problem) {
    finding(std::string("the written form of a script is refused: ") + problem.what());
  }
  return 0;
}
