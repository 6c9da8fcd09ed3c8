// Reads the exception table (LSDA) that clang emits for an SjLj frame: which call site is
// active, whether it has cleanups, and whether one of its catch clauses takes the thrown
// type. Tables are read defensively: a malformed one means "nothing to do here".

#include "runtime/exception_abi.h"

namespace {

constexpr uint8_t kOmitted = 0xFF;
constexpr uint8_t kIndirect = 0x80;
constexpr uint8_t kApplicationMask = 0x70;
constexpr uint8_t kPcRelative = 0x10;
// Longer numbers cannot occur in a sound table; stopping there keeps a run of bytes with
// bit 7 set from being read on for ever.
constexpr int kMaxLeb128Bytes = 10;
// A cycle of displacements must not keep the search going.
constexpr int kMaxActionEntries = 64;

// A position in the table and the first byte it may not read (null: no known end).
struct Cursor {
  const uint8_t* position;
  const uint8_t* end;
  bool ok = true;

  bool can_read() const {
    return end == nullptr ||
           reinterpret_cast<uintptr_t>(position) < reinterpret_cast<uintptr_t>(end);
  }
};

uint64_t decode_leb128(Cursor& cursor, bool is_signed) {
  uint64_t value = 0;
  unsigned shift = 0;
  for (int i = 0; i < kMaxLeb128Bytes; ++i) {
    if (!cursor.can_read()) break;
    uint8_t byte = *cursor.position++;
    value |= uint64_t(byte & 0x7F) << shift;
    shift += 7;
    if ((byte & 0x80) == 0) {
      if (is_signed && shift < 64 && (byte & 0x40)) value |= ~uint64_t(0) << shift;
      return value;
    }
  }
  cursor.ok = false;
  return value;
}

// Bytes a type-table entry takes, or 0 when the encoding has no fixed size.
unsigned encoded_size(uint8_t encoding) {
  switch (encoding & 0x0F) {
    case 0x2: case 0xA: return 2;
    case 0x3: case 0xB: return 4;
    case 0x0: case 0x4: case 0xC: return 8;
    default: return 0;
  }
}

// Positions computed from table contents may point anywhere, so they are moved and compared
// as plain addresses.
const uint8_t* advance(const uint8_t* p, uint64_t bytes) {
  return reinterpret_cast<const uint8_t*>(reinterpret_cast<uintptr_t>(p) + bytes);
}

bool within(const uint8_t* p, const uint8_t* low, const uint8_t* high) {
  uintptr_t address = reinterpret_cast<uintptr_t>(p);
  return address >= reinterpret_cast<uintptr_t>(low) &&
         (high == nullptr || address < reinterpret_cast<uintptr_t>(high));
}

}  // namespace

extern "C" {

uint64_t read_unaligned(const void* address, unsigned n) {
  const uint8_t* bytes = static_cast<const uint8_t*>(address);
  uint64_t value = 0;
  for (unsigned i = n; i > 0; --i) value = (value << 8) | bytes[i - 1];
  return value;
}

uint64_t read_uleb128(const uint8_t** position) {
  Cursor cursor{*position, nullptr};
  uint64_t value = decode_leb128(cursor, false);
  *position = cursor.position;
  return value;
}

int64_t read_sleb128(const uint8_t** position) {
  Cursor cursor{*position, nullptr};
  uint64_t value = decode_leb128(cursor, true);
  *position = cursor.position;
  return static_cast<int64_t>(value);
}

uint64_t read_encoded_pointer(uint8_t encoding, const uint8_t** position) {
  if (encoding == kOmitted) return 0;
  const uint8_t* start = *position;
  uint64_t value;
  switch (encoding & 0x0F) {
    case 0x0: case 0x4: case 0xC: value = read_unaligned(start, 8); *position += 8; break;
    case 0x2: value = read_unaligned(start, 2); *position += 2; break;
    case 0x3: value = read_unaligned(start, 4); *position += 4; break;
    case 0xA: value = uint64_t(int64_t(int16_t(read_unaligned(start, 2)))); *position += 2; break;
    case 0xB: value = uint64_t(int64_t(int32_t(read_unaligned(start, 4)))); *position += 4; break;
    case 0x1: value = read_uleb128(position); break;
    case 0x9: value = uint64_t(read_sleb128(position)); break;
    default: return 0;
  }
  if (value == 0) return 0;
  switch (encoding & kApplicationMask) {
    case 0x00: break;
    case kPcRelative: value += reinterpret_cast<uintptr_t>(start); break;
    default: return 0;
  }
  if (encoding & kIndirect) value = read_unaligned(reinterpret_cast<const void*>(value), 8);
  return value;
}

}  // extern "C"

namespace {

// The parts of a table's header that the call-site search and the type lookup need.
struct TableLayout {
  uint8_t type_encoding;
  const uint8_t* type_base;     // null: no type table
  const uint8_t* call_sites;
  const uint8_t* action_table;  // where the call-site table ends
};

// Landing-pad base (not needed: landing pads are dispatch values), type table, call-site
// encoding (records are always ULEB128) and call-site table length.
bool read_layout(const uint8_t* p, TableLayout* layout) {
  uint8_t base_encoding = *p++;
  if (base_encoding != kOmitted) read_encoded_pointer(base_encoding, &p);
  layout->type_encoding = *p++;
  layout->type_base = nullptr;
  if (layout->type_encoding != kOmitted) {
    Cursor cursor{p, nullptr};
    uint64_t offset = decode_leb128(cursor, false);
    if (!cursor.ok || offset > UINTPTR_MAX - reinterpret_cast<uintptr_t>(cursor.position))
      return false;
    layout->type_base = advance(cursor.position, offset);
    p = cursor.position;
  }
  ++p;  // call-site encoding
  Cursor records{p, nullptr};
  uint64_t table_length = decode_leb128(records, false);
  if (!records.ok || table_length > UINTPTR_MAX - reinterpret_cast<uintptr_t>(records.position))
    return false;
  layout->call_sites = records.position;
  layout->action_table = advance(records.position, table_length);
  return true;
}

// The type a catch clause names; null (a catch-all) also for entries that cannot be read.
const void* catch_type(const TableLayout& layout, int64_t filter) {
  unsigned type_size = layout.type_base != nullptr ? encoded_size(layout.type_encoding) : 0;
  int32_t index = static_cast<int32_t>(filter);
  if (type_size == 0 || index <= 0) return nullptr;
  const uint8_t* entry = advance(layout.type_base, 0 - uint64_t(index) * type_size);
  // An entry outside the type table is unreadable and reads as a catch-all.
  if (!within(entry, layout.action_table, layout.type_base)) return nullptr;
  return reinterpret_cast<const void*>(read_encoded_pointer(layout.type_encoding, &entry));
}

}  // namespace

bool nk::inspect_context_catch(const NorrikSjLjContext* context, const void* thrown_type,
                               NorrikHandler* handler, const void** clause_type) {
  int32_t wanted = context->call_site;
  TableLayout layout;
  if (context->lsda == nullptr || wanted <= 0 || !read_layout(context->lsda, &layout))
    return false;

  Cursor records{layout.call_sites, layout.action_table};
  uint64_t landing_pad = 0, action = 0;
  for (int32_t n = 0; n < wanted; ++n) {
    if (!records.can_read()) return false;
    landing_pad = decode_leb128(records, false);
    action = decode_leb128(records, false);
    if (!records.ok) return false;  // a record cut off by the end of the table
  }
  handler->call_site_found = 1;
  handler->landing_pad = static_cast<uint32_t>(landing_pad);
  if (static_cast<uint32_t>(action) == 0) {
    handler->needs_cleanup = 1;
    return false;
  }

  // Action entries lie between the call-site table and the type table.
  Cursor actions{advance(layout.action_table, action - 1), layout.type_base};
  for (int i = 0; i < kMaxActionEntries; ++i) {
    if (!within(actions.position, layout.action_table, layout.type_base)) return false;
    int64_t filter = static_cast<int64_t>(decode_leb128(actions, true));
    const uint8_t* displacement_at = actions.position;
    int64_t displacement = static_cast<int64_t>(decode_leb128(actions, true));
    if (!actions.ok) return false;
    if (filter == 0) {
      handler->needs_cleanup = 1;
    } else if (filter > 0) {
      const void* type = catch_type(layout, filter);
      if (type_matches(thrown_type, type)) {
        handler->handler_found = 1;
        handler->selector = static_cast<uint32_t>(filter);
        *clause_type = type;
        return true;
      }
    }
    if (displacement == 0) return false;
    actions.position = advance(displacement_at, uint64_t(displacement));
  }
  return false;
}

extern "C" bool inspect_context(const NorrikSjLjContext* context, const void* thrown_type,
                                NorrikHandler* handler) {
  const void* clause_type;
  return nk::inspect_context_catch(context, thrown_type, handler, &clause_type);
}
