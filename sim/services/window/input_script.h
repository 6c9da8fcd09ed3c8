#pragma once
// Scripted input for a host window (`--input FILE`) and its written form (`--record FILE`).
// One event per line, queued when the program has called frame_end N times:
//
//   @N key NAME                     one key event by name: "enter", "left", "f1", "a"
//   @N key CH CODE                  one key event: character CH, key code CODE
//   @N text "abc"                   one key event per byte, key code 0 (C escapes)
//   @N pointer abs X Y [RX RY]      absolute pointer position (ranges 0: display pixels)
//   @N pointer rel DX DY            relative pointer motion
//   @N buttons MASK                 buttons held (bit 0, 1, 2)
//   @N close | focus on|off | move X Y    on the newest host window
//
// '#' starts a comment; numbers are decimal or 0x-hex, signed where a value may be negative.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace nk::sim {

struct KeyInput {
  uint8_t character;
  uint8_t code;
  bool operator==(const KeyInput&) const = default;
};
struct PointerAbsInput {
  int32_t x, y;
  uint32_t range_x = 0, range_y = 0;
  bool operator==(const PointerAbsInput&) const = default;
};
struct PointerRelInput {
  int32_t dx, dy;
  bool operator==(const PointerRelInput&) const = default;
};
struct ButtonsInput {
  uint32_t mask;
  bool operator==(const ButtonsInput&) const = default;
};
struct CloseInput {
  bool operator==(const CloseInput&) const = default;
};
struct FocusInput {
  bool on;
  bool operator==(const FocusInput&) const = default;
};
struct MoveInput {
  int32_t x, y;
  bool operator==(const MoveInput&) const = default;
};

using InputAction = std::variant<KeyInput, PointerAbsInput, PointerRelInput, ButtonsInput,
                                 CloseInput, FocusInput, MoveInput>;

struct InputEvent {
  uint64_t frame;  // frame_end calls made before the event is queued
  InputAction action;
  bool operator==(const InputEvent&) const = default;
};

// "FILE:LINE: what is wrong".
class InputScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A script's events in the order they are queued (by frame; file order within one), held
// compactly: a few bytes an event and a text as its own bytes, so that a script costs
// about its own size however long it is.
class InputScript {
 public:
  class Reader;
  // Every event, one key per byte of a text.
  std::vector<InputEvent> events() const;

 private:
  friend class ScriptBuilder;
  std::string records_;
};

// Steps through a script's events in queue order. The script must outlive the reader.
class InputScript::Reader {
 public:
  explicit Reader(const InputScript& script);
  bool done() const { return done_; }
  const InputEvent& event() const { return event_; }  // the current event, unless done
  void next();

 private:
  std::string_view rest_;  // records after the current one
  std::string_view text_;  // keys of the current text still to come
  InputEvent event_{};
  bool done_ = false;
};

// Throw InputScriptError for the first malformed line, so that a script is refused as a
// whole before the program starts.
InputScript compile_input_script(std::string_view text, const std::string& name);
InputScript read_input_script(const std::filesystem::path& path);
// compile_input_script(text, name).events().
std::vector<InputEvent> parse_input_script(std::string_view text, const std::string& name);

// The script text for events in queue order; keys with a name are written by name, runs of
// other printable keys with code 0 in one frame become one text line. parse_input_script
// gives the events back.
std::string format_input_script(const std::vector<InputEvent>& events);

}  // namespace nk::sim
