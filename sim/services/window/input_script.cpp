// Reading and writing input scripts. Every problem is reported with the file and line, so a
// script is refused as a whole before the program starts. Texts and tokens from the script
// are escaped in messages: a script must not be able to drive the terminal.

#include "sim/services/window/input_script.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>
#include <type_traits>

#include "sim/base/printable.h"
#include "sim/services/window/key_names.h"

namespace nk::sim {
namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string quote(std::string_view token) { return "'" + printable(token) + "'"; }

// ---- The compact form ------------------------------------------------------------------
// A record per line: the frame (LEB128), the kind, then the event's values as LEB128
// (signed ones zigzagged), or a text's length and bytes.

enum class Kind : uint8_t { kKey, kText, kPointerAbs, kPointerRel, kButtons, kClose, kFocus, kMove };

void put_number(std::string& out, uint64_t value) {
  for (; value >= 0x80; value >>= 7) out += static_cast<char>(value | 0x80);
  out += static_cast<char>(value);
}
void put_signed(std::string& out, int32_t value) {
  put_number(out, uint32_t(value) << 1 ^ uint32_t(value >> 31));
}

uint8_t get_byte(std::string_view& in) {
  uint8_t byte = static_cast<uint8_t>(in.front());
  in.remove_prefix(1);
  return byte;
}
uint64_t get_number(std::string_view& in) {
  uint64_t value = 0;
  for (unsigned shift = 0;; shift += 7) {
    uint8_t byte = get_byte(in);
    value |= uint64_t(byte & 0x7F) << shift;
    if (!(byte & 0x80)) return value;
  }
}
uint32_t get_u32(std::string_view& in) { return static_cast<uint32_t>(get_number(in)); }
int32_t get_signed(std::string_view& in) {
  uint32_t value = get_u32(in);
  return static_cast<int32_t>(value >> 1 ^ -(value & 1));
}

void put_action(std::string& out, const InputAction& action) {
  struct Put {
    std::string& out;
    void kind(Kind k) const { out += static_cast<char>(k); }
    void operator()(const KeyInput& k) const {
      kind(Kind::kKey);
      out += static_cast<char>(k.character);
      out += static_cast<char>(k.code);
    }
    void operator()(const PointerAbsInput& p) const {
      kind(Kind::kPointerAbs);
      put_signed(out, p.x);
      put_signed(out, p.y);
      put_number(out, p.range_x);
      put_number(out, p.range_y);
    }
    void operator()(const PointerRelInput& p) const {
      kind(Kind::kPointerRel);
      put_signed(out, p.dx);
      put_signed(out, p.dy);
    }
    void operator()(const ButtonsInput& b) const {
      kind(Kind::kButtons);
      put_number(out, b.mask);
    }
    void operator()(const CloseInput&) const { kind(Kind::kClose); }
    void operator()(const FocusInput& f) const {
      kind(Kind::kFocus);
      out += static_cast<char>(f.on);
    }
    void operator()(const MoveInput& m) const {
      kind(Kind::kMove);
      put_signed(out, m.x);
      put_signed(out, m.y);
    }
  };
  std::visit(Put{out}, action);
}

// One record, taken from the front of `in`: a text (its bytes), or one other event.
struct Record {
  uint64_t frame;
  InputAction action;
  std::string_view text;
};

Record get_record(std::string_view& in) {
  Record r{get_number(in), CloseInput{}, {}};
  switch (static_cast<Kind>(get_byte(in))) {
    case Kind::kKey: {
      uint8_t character = get_byte(in);
      r.action = KeyInput{character, get_byte(in)};
      break;
    }
    case Kind::kText: {
      size_t length = get_number(in);
      r.text = in.substr(0, length);
      in.remove_prefix(length);
      break;
    }
    case Kind::kPointerAbs: {
      PointerAbsInput p{};
      p.x = get_signed(in);
      p.y = get_signed(in);
      p.range_x = get_u32(in);
      p.range_y = get_u32(in);
      r.action = p;
      break;
    }
    case Kind::kPointerRel: {
      int32_t dx = get_signed(in);
      r.action = PointerRelInput{dx, get_signed(in)};
      break;
    }
    case Kind::kButtons: r.action = ButtonsInput{get_u32(in)}; break;
    case Kind::kClose: break;
    case Kind::kFocus: r.action = FocusInput{get_byte(in) != 0}; break;
    case Kind::kMove: {
      int32_t x = get_signed(in);
      r.action = MoveInput{x, get_signed(in)};
      break;
    }
  }
  return r;
}

}  // namespace

// Collects a script's records line by line, and puts them in queue order at the end.
class ScriptBuilder {
 public:
  // A record takes no more bytes than its line, so the script's size is room enough: the
  // records never move while they grow.
  ScriptBuilder(const std::string& name, size_t script_size) : name_(name) {
    script_.records_.reserve(script_size);
  }

  void add_line(std::string_view line);

  void add(uint64_t frame, const InputAction& action) {
    begin(frame);
    put_action(script_.records_, action);
  }
  void add_text(uint64_t frame, std::string_view bytes) {
    if (bytes.empty()) return;
    begin(frame);
    script_.records_ += static_cast<char>(Kind::kText);
    put_number(script_.records_, bytes.size());
    script_.records_ += bytes;
  }

  InputScript finish();

  const std::string& name() const { return name_; }
  size_t line() const { return line_; }
  std::string& scratch() { return scratch_; }

 private:
  void begin(uint64_t frame) {
    sorted_ &= frame >= last_frame_;
    last_frame_ = frame;
    put_number(script_.records_, frame);
  }

  const std::string& name_;
  size_t line_ = 0;
  std::string scratch_;  // a text's bytes, reused from line to line
  uint64_t last_frame_ = 0;
  bool sorted_ = true;
  InputScript script_;
};

namespace {

// One line of a script, read left to right.
class LineParser {
 public:
  LineParser(std::string_view line, ScriptBuilder& script) : line_(line), script_(script) {}

  // Adds the line's events (none for a blank or comment line).
  void parse() {
    skip_space();
    if (at_end()) return;
    if (line_[pos_] != '@') fail("expected '@N' (a frame number) at the start of an event");
    ++pos_;
    if (at_end() || is_space(line_[pos_])) fail("expected a frame number right after '@'");
    uint64_t frame = number<uint64_t>("the frame number");
    std::string_view verb = word();
    if (verb.empty()) fail("expected an event after @" + std::to_string(frame));
    if (verb == "text")
      script_.add_text(frame, text());
    else
      script_.add(frame, action(verb));
    skip_space();
    if (!at_end()) fail("unexpected " + quote(word()) + " after the event");
  }

 private:
  InputAction action(std::string_view verb) {
    if (verb == "key") return key();
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
      fail("pointer needs 'abs' or 'rel', not " + quote(mode));
    }
    if (verb == "buttons") return ButtonsInput{number<uint32_t>("the button mask")};
    if (verb == "close") return CloseInput{};
    if (verb == "focus") {
      std::string_view state = word();
      if (state == "on") return FocusInput{true};
      if (state == "off") return FocusInput{false};
      fail("focus needs 'on' or 'off', not " + quote(state));
    }
    if (verb == "move") return MoveInput{number<int32_t>("X"), number<int32_t>("Y")};
    fail("unknown event " + quote(verb) +
         " (expected key, text, pointer, buttons, close, focus or move)");
  }

  // A name on its own ("left", "a", "1"), or a character and a code ("0x61 0x1e").
  KeyInput key() {
    std::string_view first = word();
    if (first.empty()) fail("key needs a name (such as enter, left or a) or a character and a code");
    if (!more() || !is_digit(first[0])) {
      if (const KeyName* named = find_key(first)) return KeyInput{named->character, named->code};
      if (!more())
        fail("unknown key " + quote(first) +
             " (names: esc, enter, backspace, tab, up, down, left, right, home, end, pageup, "
             "pagedown, insert, delete, f1 to f12, space, minus, period, a to z, 0 to 9; "
             "or a character and a code)");
    }
    auto character = to_number<uint8_t>(first, "the key's character");
    auto code = number<uint8_t>("the key code");
    if (character == 0 && code == 0)
      fail("a key with character 0 and code 0 cannot be queued (it reads as 'no key')");
    return KeyInput{character, code};
  }

  // A quoted string with C escapes, as bytes.
  const std::string& text() {
    skip_space();
    if (at_end() || line_[pos_] != '"') fail("text needs a quoted string");
    std::string& bytes = script_.scratch();
    bytes.clear();
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
        fail("unknown escape '\\" + printable(std::string_view(&c, 1)) +
             "' (use \\n \\r \\t \\\\ \\\" or \\xHH)");
    }
  }

  template <class T>
  T number(const char* what) {
    std::string_view token = word();
    if (token.empty()) fail(std::string("expected ") + what);
    return to_number<T>(token, what);
  }

  template <class T>
  T to_number(std::string_view token, const char* what) {
    std::string_view digits = token;
    bool negative = digits.starts_with('-');
    if (negative) {
      if (!std::is_signed_v<T>) fail(std::string(what) + " cannot be negative: " + quote(token));
      digits.remove_prefix(1);
    }
    unsigned base = 10;
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
      base = 16;
      digits.remove_prefix(2);
    }
    if (digits.empty()) fail(quote(token) + " is not a number (for " + what + ")");
    uint64_t magnitude = 0;
    bool overflow = false;
    for (char c : digits) {
      int digit = hex_digit(c);
      if (digit < 0 || static_cast<unsigned>(digit) >= base)
        fail(quote(token) + " is not a number (for " + what + ")");
      overflow |= magnitude > (std::numeric_limits<uint64_t>::max() - digit) / base;
      magnitude = magnitude * base + digit;
    }
    using Limits = std::numeric_limits<T>;
    uint64_t limit = negative ? uint64_t(-(int64_t(Limits::min()) + 1)) + 1 : uint64_t(Limits::max());
    if (overflow || magnitude > limit)
      fail(quote(token) + " is out of range for " + what + " (" + std::to_string(+Limits::min()) +
           " to " + std::to_string(+Limits::max()) + ")");
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

  [[noreturn]] void fail(const std::string& what) const {
    throw InputScriptError(script_.name() + ":" + std::to_string(script_.line()) + ": " + what);
  }

  std::string_view line_;
  ScriptBuilder& script_;
  size_t pos_ = 0;
};

std::string key_line(uint64_t frame, const KeyInput& key) {
  char line[64];
  if (const KeyName* named = find_key(key.character, key.code))
    snprintf(line, sizeof line, "@%llu key %.*s", static_cast<unsigned long long>(frame),
             static_cast<int>(named->name.size()), named->name.data());
  else
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

void ScriptBuilder::add_line(std::string_view line) {
  ++line_;
  LineParser(line, *this).parse();
}

InputScript ScriptBuilder::finish() {
  if (sorted_) return std::move(script_);
  // Out of order (recordings never are): sort an index, then copy the records by it.
  struct Entry {
    uint64_t frame;
    size_t offset;
  };
  const std::string& records = script_.records_;
  std::vector<Entry> index;
  for (std::string_view rest = records; !rest.empty();) {
    size_t offset = records.size() - rest.size();
    index.push_back({get_record(rest).frame, offset});
  }
  std::stable_sort(index.begin(), index.end(),
                   [](const Entry& a, const Entry& b) { return a.frame < b.frame; });
  InputScript sorted;
  sorted.records_.reserve(records.size());
  for (const Entry& entry : index) {
    std::string_view rest = std::string_view(records).substr(entry.offset);
    size_t size = rest.size();
    get_record(rest);
    sorted.records_.append(records, entry.offset, size - rest.size());
  }
  return sorted;
}

InputScript::Reader::Reader(const InputScript& script) : rest_(script.records_) { next(); }

void InputScript::Reader::next() {
  if (text_.empty()) {
    if (rest_.empty()) {
      done_ = true;
      return;
    }
    Record record = get_record(rest_);
    event_ = {record.frame, record.action};
    text_ = record.text;
    if (text_.empty()) return;
  }
  event_.action = KeyInput{static_cast<uint8_t>(text_.front()), 0};
  text_.remove_prefix(1);
}

std::vector<InputEvent> InputScript::events() const {
  std::vector<InputEvent> events;
  for (Reader reader(*this); !reader.done(); reader.next()) events.push_back(reader.event());
  return events;
}

InputScript compile_input_script(std::string_view text, const std::string& name) {
  ScriptBuilder script(name, text.size());
  while (!text.empty()) {
    size_t end = text.find('\n');
    script.add_line(text.substr(0, end));
    text.remove_prefix(end == text.npos ? text.size() : end + 1);
  }
  return script.finish();
}

InputScript read_input_script(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputScriptError(path.string() + ": cannot be read");
  std::string name = path.string();
  std::error_code unknown_size;
  uintmax_t size = std::filesystem::file_size(path, unknown_size);
  ScriptBuilder script(name, unknown_size ? 0 : size);
  for (std::string line; std::getline(in, line);) script.add_line(line);
  if (in.bad()) throw InputScriptError(name + ": cannot be read");
  return script.finish();
}

std::vector<InputEvent> parse_input_script(std::string_view text, const std::string& name) {
  return compile_input_script(text, name).events();
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
