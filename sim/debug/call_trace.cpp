#include "sim/debug/call_trace.h"

#include <sys/uio.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "sim/machine/host_call_hooks.h"

namespace nk::sim {
namespace {

// How each argument is shown. Records are shown by their fields once the call has filled
// them (a zero result leaves them unfilled, so then only their address is shown).
enum class Arg : uint8_t {
  end, text, out_text, data, pointer, u32, i32, hex64, size, f32, colour,
  file_info, image_info, window_info, pointer_state, display_info,
};
enum class Result : uint8_t { none, i32, u32, pointer, hex64, key_event };

struct Shape {
  Entry entry;
  unsigned group;
  Result result;
  struct {
    const char* name;
    Arg kind;
  } args[8];
};

const Shape kShapes[] = {
    {Entry::memory_allocate, kTraceMemory, Result::pointer, {{"size", Arg::size}}},
    {Entry::memory_free, kTraceMemory, Result::none, {{"block", Arg::pointer}}},
    {Entry::memory_reallocate, kTraceMemory, Result::pointer,
     {{"block", Arg::pointer}, {"size", Arg::size}}},
    {Entry::console_write_line, kTraceConsole, Result::none, {{"text", Arg::text}}},
    {Entry::console_read_line, kTraceConsole, Result::i32,
     {{"buffer", Arg::out_text}, {"capacity", Arg::u32}, {"prompt", Arg::hex64}, {"flag", Arg::u32}}},
    {Entry::file_stat, kTraceFiles, Result::i32, {{"name", Arg::text}, {"info", Arg::file_info}}},
    {Entry::file_write, kTraceFiles, Result::i32,
     {{"name", Arg::text}, {"data", Arg::data}, {"size", Arg::u32}}},
    {Entry::file_delete, kTraceFiles, Result::i32, {{"name", Arg::text}}},
    {Entry::window_create, kTraceWindow, Result::u32,
     {{"title", Arg::text}, {"width", Arg::i32}, {"height", Arg::i32}}},
    {Entry::window_publish, kTraceWindow, Result::i32,
     {{"window", Arg::u32}, {"title", Arg::text}, {"pixels", Arg::pointer}, {"width", Arg::i32},
      {"height", Arg::i32}, {"stride", Arg::i32}, {"background", Arg::colour}}},
    {Entry::window_query, kTraceWindow, Result::i32,
     {{"window", Arg::u32}, {"info", Arg::window_info}}},
    {Entry::window_close, kTraceWindow, Result::none,
     {{"window", Arg::u32}, {"x", Arg::i32}, {"y", Arg::i32}, {"", Arg::i32}, {"", Arg::i32}}},
    {Entry::window_destroy, kTraceWindow, Result::none, {{"window", Arg::u32}}},
    {Entry::frame_end, kTraceWindow, Result::none, {}},
    {Entry::display_info, kTraceWindow, Result::i32, {{"info", Arg::display_info}}},
    {Entry::key_poll, kTraceInput, Result::key_event, {}},
    {Entry::pointer_poll, kTraceInput, Result::i32, {{"state", Arg::pointer_state}}},
    {Entry::png_decode_file, kTracePng, Result::i32,
     {{"path", Arg::text}, {"info", Arg::image_info}}},
    {Entry::font_load, kTraceFonts, Result::hex64, {{"font", Arg::text}, {"size", Arg::f32}}},
    {Entry::font_resize, kTraceFonts, Result::none, {{"font", Arg::hex64}, {"size", Arg::f32}}},
    {Entry::font_render, kTraceFonts, Result::i32,
     {{"font", Arg::hex64}, {"text", Arg::text}, {"red", Arg::i32}, {"green", Arg::i32},
      {"blue", Arg::i32}, {"alpha", Arg::u32}, {"info", Arg::image_info}}},
    {Entry::font_free, kTraceFonts, Result::none, {{"font", Arg::hex64}}},
};

constexpr std::pair<std::string_view, unsigned> kGroupNames[] = {
    {"memory", kTraceMemory}, {"console", kTraceConsole}, {"files", kTraceFiles},
    {"window", kTraceWindow}, {"input", kTraceInput},     {"png", kTracePng},
    {"fonts", kTraceFonts},
};

constexpr size_t kTextShown = 64, kDataShown = 32;

const Shape* shape_of(Entry entry) {
  for (const auto& shape : kShapes)
    if (shape.entry == entry) return &shape;
  return nullptr;
}

// Guest memory may be anything; a read that would fault reads nothing instead.
size_t read_guest(uint64_t address, void* out, size_t count) {
  while (count) {
    iovec local{out, count}, remote{reinterpret_cast<void*>(address), count};
    ssize_t got = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    if (got > 0) return static_cast<size_t>(got);
    // Perhaps only the part up to the end of the page is mapped.
    size_t to_page_end = 4096 - (address & 4095);
    if (to_page_end >= count) return 0;
    count = to_page_end;
  }
  return 0;
}

template <class T>
T field(const uint8_t* record, size_t offset) {
  T value;
  std::memcpy(&value, record + offset, sizeof value);
  return value;
}

class Line {
 public:
  Line& operator<<(std::string_view text) {
    text_ += text;
    return *this;
  }
  Line& format(const char* pattern, auto... values) {
    char piece[128];
    snprintf(piece, sizeof piece, pattern, values...);
    text_ += piece;
    return *this;
  }
  Line& quoted(const uint8_t* bytes, size_t count, bool cut) {
    text_ += '"';
    for (size_t i = 0; i < count; ++i) {
      uint8_t c = bytes[i];
      if (c == '"' || c == '\\') (text_ += '\\') += static_cast<char>(c);
      else if (c == '\n') text_ += "\\n";
      else if (c == '\r') text_ += "\\r";
      else if (c == '\t') text_ += "\\t";
      else if (c >= 0x20 && c < 0x7F) text_ += static_cast<char>(c);
      else format("\\x%02x", c);
    }
    text_ += cut ? "\"..." : "\"";
    return *this;
  }
  Line& guest_text(uint64_t address) {
    if (!address) return *this << "NULL";
    uint8_t bytes[kTextShown + 1];
    size_t got = read_guest(address, bytes, sizeof bytes);
    if (!got) return format("0x%llx (unreadable)", static_cast<unsigned long long>(address));
    size_t length = strnlen(reinterpret_cast<const char*>(bytes), got);
    return quoted(bytes, std::min(length, kTextShown), length > kTextShown);
  }
  Line& guest_data(uint64_t address, uint64_t size) {
    if (!address) return *this << "NULL";
    uint8_t bytes[kDataShown];
    size_t wanted = std::min<uint64_t>(size, kDataShown);
    size_t got = read_guest(address, bytes, wanted);
    if (got < wanted) return format("0x%llx (unreadable)", static_cast<unsigned long long>(address));
    return quoted(bytes, got, size > kDataShown);
  }
  std::string take() {
    if (text_.size() > kMaxTraceLine) text_ = text_.substr(0, kMaxTraceLine - 3) + "...";
    return std::move(text_);
  }

 private:
  std::string text_;
};

// A record the host filled, shown by its fields.
void show_record(Line& line, Arg kind, uint64_t address, bool filled) {
  line.format("0x%llx", static_cast<unsigned long long>(address));
  size_t size = kind == Arg::file_info      ? 12
                : kind == Arg::image_info   ? 24
                : kind == Arg::window_info  ? 48
                : kind == Arg::pointer_state ? 32
                                             : 52;
  uint8_t r[52];
  if (!filled || !address || read_guest(address, r, size) < size) return;
  auto u32 = [&](size_t at) { return field<uint32_t>(r, at); };
  auto i32 = [&](size_t at) { return field<int32_t>(r, at); };
  switch (kind) {
    case Arg::file_info:
      line.format(" {data=0x%x, size=%u}", u32(0), u32(4));
      break;
    case Arg::image_info:
      line.format(" {pixels=0x%llx, size=%u, width=%u, height=%u}",
                  static_cast<unsigned long long>(field<uint64_t>(r, 0)), u32(8), u32(12), u32(16));
      break;
    case Arg::window_info:
      line.format(" {flags=0x%x, x=%d, y=%d}", u32(36), i32(40), i32(44));
      break;
    case Arg::pointer_state:
      line.format(" {flags=0x%x, buttons=0x%x, abs=%d,%d, delta=%d,%d, range=%u,%u}", u32(0),
                  u32(4), i32(8), i32(12), i32(16), i32(20), u32(24), u32(28));
      break;
    default:
      line.format(" {frame=0x%llx, pitch=%u, width=%u, height=%u, bits=%u}",
                  static_cast<unsigned long long>(field<uint64_t>(r, 0)), u32(12), u32(16),
                  u32(20), u32(24));
  }
}

void show_argument(Line& line, const HostCallFrame& call, Arg kind, unsigned integer,
                   unsigned single) {
  uint64_t value = kind == Arg::f32 ? 0 : call.integer(integer);
  bool filled = static_cast<uint32_t>(call.result) != 0;
  switch (kind) {
    case Arg::text: line.guest_text(value); break;
    case Arg::out_text:
      if (filled) line.guest_text(value);
      else line.format("0x%llx", static_cast<unsigned long long>(value));
      break;
    case Arg::data: line.guest_data(value, static_cast<uint32_t>(call.integer(integer + 1))); break;
    case Arg::pointer: line.format("0x%llx", static_cast<unsigned long long>(value)); break;
    case Arg::u32: line.format("%u", static_cast<uint32_t>(value)); break;
    case Arg::i32: line.format("%d", static_cast<int32_t>(value)); break;
    case Arg::hex64: line.format("0x%llx", static_cast<unsigned long long>(value)); break;
    case Arg::size: line.format("%llu", static_cast<unsigned long long>(value)); break;
    case Arg::f32: line.format("%g", static_cast<double>(call.single(single))); break;
    case Arg::colour: line.format("0x%06x", static_cast<uint32_t>(value)); break;
    default: show_record(line, kind, value, filled);
  }
}

void show_result(Line& line, Result kind, uint64_t value) {
  switch (kind) {
    case Result::none: return;
    case Result::i32: line.format(" = %d", static_cast<int32_t>(value)); return;
    case Result::u32: line.format(" = %u", static_cast<uint32_t>(value)); return;
    case Result::pointer:
    case Result::hex64: line.format(" = 0x%llx", static_cast<unsigned long long>(value)); return;
    case Result::key_event: {
      auto event = static_cast<uint32_t>(value);
      line.format(" = 0x%x", event);
      if (!event) return;
      uint8_t character = event & 0xFF;
      line.format(" (key 0x%02x", (event >> 8) & 0xFF);
      if (character) (line << ", char ").quoted(&character, 1, false);
      line << ")";
    }
  }
}

struct ActiveTrace {
  int fd = -1;
  unsigned groups = 0;
} g_trace;

void on_leave(const HostCallFrame& call) {
  if (g_trace.fd < 0 || !(trace_group_of(call.which()) & g_trace.groups)) return;
  std::string line = format_host_call(call) + "\n";
  // One write per line, so that lines never interleave with other output.
  ssize_t ignored = write(g_trace.fd, line.data(), line.size());
  (void)ignored;
}

constexpr HostCallObserver kTraceObserver{nullptr, on_leave};

}  // namespace

unsigned parse_trace_groups(std::string_view list) {
  if (list.empty()) return kTraceAll;
  unsigned groups = 0;
  while (true) {
    size_t comma = list.find(',');
    std::string_view name = list.substr(0, comma);
    unsigned found = 0;
    for (const auto& [known, bit] : kGroupNames)
      if (name == known) found = bit;
    if (!found)
      throw std::invalid_argument("unknown trace group '" + std::string(name) + "' (the groups are " +
                                  std::string(kTraceGroupList) + ")");
    groups |= found;
    if (comma == list.npos) return groups;
    list.remove_prefix(comma + 1);
  }
}

unsigned trace_group_of(Entry entry) {
  const Shape* shape = shape_of(entry);
  return shape ? shape->group : kTraceAll;
}

std::string format_host_call(const HostCallFrame& call) {
  Line line;
  line << entry_name(call.which()) << "(";
  const Shape* shape = shape_of(call.which());
  if (!shape) {
    // A service this trace does not know yet: its first four integer arguments, raw.
    line.format("0x%llx, 0x%llx, 0x%llx, 0x%llx) = 0x%llx",
                static_cast<unsigned long long>(call.gpr[0]), static_cast<unsigned long long>(call.gpr[1]),
                static_cast<unsigned long long>(call.gpr[2]), static_cast<unsigned long long>(call.gpr[3]),
                static_cast<unsigned long long>(call.result));
    return line.take();
  }
  unsigned integer = 0, single = 0;
  for (const auto& arg : shape->args) {
    if (arg.kind == Arg::end) break;
    if (integer + single) line << ", ";
    if (*arg.name) line << arg.name << "=";
    show_argument(line, call, arg.kind, integer, single);
    (arg.kind == Arg::f32 ? single : integer) += 1;
  }
  line << ")";
  show_result(line, shape->result, call.result);
  return line.take();
}

CallTrace::CallTrace(int fd, unsigned groups) {
  g_trace = {fd, groups};
  add_host_call_observer(kTraceObserver);
}

CallTrace::~CallTrace() {
  remove_host_call_observer(kTraceObserver);
  g_trace = {};
}

}  // namespace nk::sim
