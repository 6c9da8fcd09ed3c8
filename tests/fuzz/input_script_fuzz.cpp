// Input scripts (`--input FILE`) come from people and tools nkhost does not control. Any
// bytes are either a script or a refusal that names the file and line and shows the
// script's bytes escaped (nothing that reaches the terminal as a control sequence). A
// script plays back the same events as its list of them, and the written form of those
// events (what --record writes) reads back as the same events.

#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "sim/services/window/input_script.h"

using namespace nk::sim;
using nk::fuzz::finding;
using nk::fuzz::require;

namespace {

void check_refusal(std::string_view message) {
  require(message.starts_with("fuzz.input:"), "a refusal that does not name the file and line");
  for (unsigned char c : message)
    require(c >= 0x20 && c != 0x7F, "a refusal with a control character in it");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  InputScript script;
  try {
    script = compile_input_script(text, "fuzz.input");
  } catch (const InputScriptError& problem) {
    check_refusal(problem.what());
    return 0;
  }
  std::vector<InputEvent> events = script.events();
  size_t played = 0;
  for (InputScript::Reader reader(script); !reader.done(); reader.next(), ++played)
    require(played < events.size() && reader.event() == events[played],
            "playing a script gives other events than its list");
  require(played == events.size(), "playing a script stops early");
  try {
    require(parse_input_script(format_input_script(events), "written") == events,
            "the written form of a script reads back as other events");
  } catch (const InputScriptError& problem) {
    finding(std::string("the written form of a script is refused: ") + problem.what());
  }
  return 0;
}
