// Reading and writing input scripts. Every problem is reported with the file and line, so a
// script is refused as a whole before the program starts.

#include "sim/services/window/input_script.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <type_traits>

namespace nk::sim {
namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One line of a script, read left to right.
class LineParser {
 public:
  LineParser(std::string_view line, const std::string& name, size_t number)
      : line_(line), where_(name + ":" + std::to_string(number) + ": ") {}

  // Appends the line's events (none for a blank or comment line).
  void parse(std::vector<InputEvent>& events) {
    skip_space();
    if (at_end()) return;
    if (line_[pos_] != '@') fail("expected '@N' (a frame number) at the start of an event");
    ++pos_;
    if (at_end() || is_space(line_[pos_])) fail("expected a frame number right after '@'");
    uint64_t frame = number<uint64_t>("the frame number");
    std::string_view verb = word();
    if (verb.empty()) fail("expected an event after @" + std::to_string(frame));
    if (verb == "text") {
      for (uint8_t byte : text()) events.push_back({frame, KeyInput{byte, 0}});
    } else {
      events.push_back({frame, action(verb)});
    }
    skip_space();
    if (!at_end()) fail("unexpected '" + std::string(word()) + "' after the event");
  }

 private:
  InputAction action(std::string_view verb) {
    if (verb == "key") {
      auto character = number<uint8_t>("the key's character");
      auto code = number<uint8_t>("the key code");
      if (character == 0 && code == 0)
        fail("a key with character 0 and code 0 cannot be queued (it reads as 'no key')");
      return KeyInput{character, code};
    }
    if (verb == "pointer") {
      std::string_view mode = word();
      if (mode == "abs") {
        PointerAbsInput abs{number<int32_t>("X"), number<int32_t>("Y")};
        if (more()) {
          abs.range_x = number<uint32_t>("RANGEX");
          if (!more()) fail("pointer abs needs RANGEY after RANGEX");
          abs.range_y = number<uint32_t>("RANGEY");
        }
        return abs;
      }
      if (mode == "rel") return PointerRelInput{number<int32_t>("DX"), number<int32_t>("DY")};
      fail("pointer needs 'abs' or 'rel', not '" + std::string(mode) + "'");
    }
    if (verb == "buttons") return ButtonsInput{number<uint32_t>("the button mask")};
    if (verb == "close") return CloseInput{};
    if (verb == "focus") {
      std::string_view state = word();
      if (state == "on") return FocusInput{true};
      if (state == "off") return FocusInput{false};
      fail("focus needs 'on' or 'off', not '" + std::string(state) + "'");
    }
    if (verb == "move") return MoveInput{number<int32_t>("X"), number<int32_t>("Y")};
    fail("unknown event '" + std::string(verb) +
         "' (expected key, text, pointer, buttons, close, focus or move)");
  }

  // A quoted string with C escapes, as bytes.
  std::string text() {
    skip_space();
    if (at_end() || line_[pos_] != '"') fail("text needs a quoted string");
    std::string bytes;
    for (++pos_;; ++pos_) {
      if (pos_ >= line_.size()) fail("the text has no closing '\"'");
      char c = line_[pos_];
      if (c == '"') break;
      if (c == '\\') c = escape();
      if (c == 0) fail("the text holds a NUL byte, which cannot be queued as a key");
      bytes.push_back(c);
    }
    ++pos_;
    return bytes;
  }

  // The escape starting at pos_ (a backslash); leaves pos_ on its last character.
  char escape() {
    if (++pos_ >= line_.size()) fail("the text ends in a lone '\\'");
    switch (char c = line_[pos_]) {
      case 'n': return '\n';
      case 'r': return '\r';
      case 't': return '\t';
      case '\\': return '\\';
      case '"': return '"';
      case 'x': {
        int high = pos_ + 1 < line_.size() ? hex_digit(line_[pos_ + 1]) : -1;
        int low = pos_ + 2 < line_.size() ? hex_digit(line_[pos_ + 2]) : -1;
        if (high < 0 || low < 0) fail("'\\x' needs two hex digits");
        pos_ += 2;
        return static_cast<char>(high * 16 + low);
      }
      default:
        fail(std::string("unknown escape '\\") + c + "' (use \\n \\r \\t \\\\ \\\" or \\xHH)");
    }
  }

  template <class T>
  T number(const char* what) {
    std::string_view token = word();
    if (token.empty()) fail(std::string("expected ") + what);
    std::string_view digits = token;
    bool negative = digits.starts_with('-');
    if (negative) {
      if (!std::is_signed_v<T>) fail(std::string(what) + " cannot be negative: '" + std::string(token) + "'");
      digits.remove_prefix(1);
    }
    unsigned base = 10;
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
      base = 16;
      digits.remove_prefix(2);
    }
    if (digits.empty()) fail("'" + std::string(token) + "' is not a number (for " + what + ")");
    uint64_t magnitude = 0;
    bool overflow = false;
    for (char c : digits) {
      int digit = hex_digit(c);
      if (digit < 0 || static_cast<unsigned>(digit) >= base)
        fail("'" + std::string(token) + "' is not a number (for " + what + ")");
      overflow |= magnitude > (std::numeric_limits<uint64_t>::max() - digit) / base;
      magnitude = magnitude * base + digit;
    }
    using Limits = std::numeric_limits<T>;
    uint64_t limit = negative ? uint64_t(-(int64_t(Limits::min()) + 1)) + 1 : uint64_t(Limits::max());
    if (overflow || magnitude > limit)
      fail("'" + std::string(token) + "' is out of range for " + what + " (" +
           std::to_string(+Limits::min()) + " to " + std::to_string(+Limits::max()) + ")");
    return negative ? static_cast<T>(-static_cast<int64_t>(magnitude - 1) - 1) : static_cast<T>(magnitude);
  }

  // The next run of characters up to a space or a comment; empty at the end of the line.
  std::string_view word() {
    skip_space();
    size_t start = pos_;
    while (pos_ < line_.size() && !is_space(line_[pos_]) && line_[pos_] != '#') ++pos_;
    return line_.substr(start, pos_ - start);
  }

  bool more() {
    skip_space();
    return !at_end();
  }
  void skip_space() {
    while (pos_ < line_.size() && is_space(line_[pos_])) ++pos_;
  }
  bool at_end() const { return pos_ >= line_.size() || line_[pos_] == '#'; }

  [[noreturn]] void fail(const std::string& what) const { throw InputScriptError(where_ + what); }

  std::string_view line_;
  std::string where_;
  size_t pos_ = 0;
};

std::string key_line(uint64_t frame, const KeyInput& key) {
  char line[64];
  snprintf(line, sizeof line, "@%llu key 0x%02x 0x%02x", static_cast<unsigned long long>(frame),
           key.character, key.code);
  return line;
}

bool is_text_key(const InputAction& action) {
  auto* key = std::get_if<KeyInput>(&action);
  return key && key->code == 0 && key->character >= 0x20 && key->character < 0x7F;
}

std::string text_literal(const std::string& bytes) {
  std::string out = "\"";
  for (char c : bytes) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + '"';
}

std::string event_line(uint64_t frame, const InputAction& action) {
  std::string at = "@" + std::to_string(frame) + " ";
  struct Writer {
    std::string at;
    uint64_t frame;
    std::string operator()(const KeyInput& k) const { return key_line(frame, k); }
    std::string operator()(const PointerAbsInput& p) const {
      std::string line = at + "pointer abs " + std::to_string(p.x) + " " + std::to_string(p.y);
      if (p.range_x || p.range_y)
        line += " " + std::to_string(p.range_x) + " " + std::to_string(p.range_y);
      return line;
    }
    std::string operator()(const PointerRelInput& p) const {
      return at + "pointer rel " + std::to_string(p.dx) + " " + std::to_string(p.dy);
    }
    std::string operator()(const ButtonsInput& b) const {
      return at + "buttons " + std::to_string(b.mask);
    }
    std::string operator()(const CloseInput&) const { return at + "close"; }
    std::string operator()(const FocusInput& f) const { return at + (f.on ? "focus on" : "focus off"); }
    std::string operator()(const MoveInput& m) const {
      return at + "move " + std::to_string(m.x) + " " + std::to_string(m.y);
    }
  };
  return std::visit(Writer{at, frame}, action);
}

}  // namespace

std::vector<InputEvent> parse_input_script(std::string_view text, const std::string& name) {
  std::vector<InputEvent> events;
  size_t number = 0;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == text.npos ? text.size() : end + 1);
    LineParser(line, name, ++number).parse(events);
  }
  std::stable_sort(events.begin(), events.end(),
                   [](const InputEvent& a, const InputEvent& b) { return a.frame < b.frame; });
  return events;
}

std::vector<InputEvent> read_input_script(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputScriptError(path.string() + ": cannot be read");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw InputScriptError(path.string() + ": cannot be read");
  return parse_input_script(text.str(), path.string());
}

std::string format_input_script(const std::vector<InputEvent>& events) {
  std::string out;
  for (size_t i = 0; i < events.size();) {
    const InputEvent& event = events[i];
    if (!is_text_key(event.action)) {
      out += event_line(event.frame, event.action) + "\n";
      ++i;
      continue;
    }
    std::string run;
    for (; i < events.size() && events[i].frame == event.frame && is_text_key(events[i].action); ++i)
      run += static_cast<char>(std::get<KeyInput>(events[i].action).character);
    out += "@" + std::to_string(event.frame) + " text " + text_literal(run) + "\n";
  }
  return out;
}

}  // namespace nk::sim
