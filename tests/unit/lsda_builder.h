#pragma once
// Hand-built SjLj function contexts and exception tables (LSDAs) for the unwinder's tests.

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

namespace nk::test {

// The compiler's SjLj function context, by the offsets registering code uses.
struct Context {
  Context* prev;
  int32_t call_site;
  uint32_t resume_data[4];
  uint32_t alignment;
  const void* personality;
  const uint8_t* lsda;
  void* jbuf[5];
};
static_assert(offsetof(Context, lsda) == 40 && offsetof(Context, jbuf) == 48);

struct Handler {
  uint8_t call_site_found;
  uint8_t needs_cleanup;
  uint8_t handler_found;
  uint32_t landing_pad;
  uint32_t selector;
};

struct Descriptor {
  const void* vtable;
  const char* name;
  const Descriptor* base;
};

inline std::vector<uint8_t> uleb(uint64_t value) {
  std::vector<uint8_t> out;
  do {
    uint8_t byte = value & 0x7F;
    value >>= 7;
    out.push_back(byte | (value != 0 ? 0x80 : 0));
  } while (value != 0);
  return out;
}

inline std::vector<uint8_t> sleb(int64_t value) {
  std::vector<uint8_t> out;
  for (;;) {
    uint8_t byte = value & 0x7F;
    value >>= 7;
    bool done = (value == 0 && !(byte & 0x40)) || (value == -1 && (byte & 0x40));
    out.push_back(byte | (done ? 0 : 0x80));
    if (done) return out;
  }
}

inline void append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes) {
  to.insert(to.end(), bytes.begin(), bytes.end());
}

// Action entries that follow one another, each linked to the next; filters in order.
inline std::vector<uint8_t> action_chain(const std::vector<int64_t>& filters) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < filters.size(); ++i) {
    append(out, sleb(filters[i]));
    out.push_back(i + 1 < filters.size() ? 1 : 0);  // the next entry starts right after
  }
  return out;
}

inline unsigned entry_size(uint8_t encoding) {
  switch (encoding & 0x0F) {
    case 0x2: case 0xA: return 2;
    case 0x3: case 0xB: return 4;
    default: return 8;
  }
}

struct CallSite {
  uint64_t landing_pad;
  uint64_t action;
};

struct TableLayout {
  uint8_t type_encoding = 0xFF;
  std::vector<CallSite> call_sites;
  std::vector<uint8_t> actions;
  std::vector<const Descriptor*> types;       // entry i is types[i - 1]; null: catch-all
  std::optional<uint64_t> declared_length;  // call-site table length, when it should lie
};

constexpr size_t kPage = 4096;

// One read-write page below 2 GiB between two inaccessible ones. Type descriptors and
// indirection slots go to its first 512 bytes (reachable with negative relative offsets)
// or its last 512 (positive ones); tables go in between or against either edge.
class Arena {
 public:
  Arena() {
    void* area = mmap(nullptr, 3 * kPage, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    if (area == MAP_FAILED) throw std::runtime_error("no low memory for the arena");
    base_ = static_cast<uint8_t*>(area);
    mprotect(page(), kPage, PROT_READ | PROT_WRITE);
    low_next_ = page();
    high_next_ = page() + kPage - 512;
  }
  ~Arena() { munmap(base_, 3 * kPage); }
  uint8_t* page() { return base_ + kPage; }

  // Lays the table out at offset (from the page start); at_end puts its last byte last.
  const uint8_t* place(const TableLayout& layout, size_t offset, bool at_end = false) {
    std::vector<uint8_t> call_sites;
    for (const CallSite& site : layout.call_sites) {
      append(call_sites, uleb(site.landing_pad));
      append(call_sites, uleb(site.action));
    }
    bool has_types = layout.type_encoding != 0xFF;
    size_t types_size = has_types ? layout.types.size() * entry_size(layout.type_encoding) : 0;
    std::vector<uint8_t> length = uleb(layout.declared_length.value_or(call_sites.size()));

    std::vector<uint8_t> bytes{0xFF, layout.type_encoding};
    if (has_types)
      append(bytes, uleb(1 + length.size() + call_sites.size() + layout.actions.size() + types_size));
    bytes.push_back(0x01);
    append(bytes, length);
    append(bytes, call_sites);
    append(bytes, layout.actions);
    bytes.resize(bytes.size() + types_size);

    uint8_t* table = page() + (at_end ? kPage - bytes.size() : offset);
    if (table + bytes.size() > page() + kPage)
      throw std::logic_error("table does not fit the arena");
    std::memcpy(table, bytes.data(), bytes.size());
    if (has_types) {
      uint8_t* type_base = table + bytes.size();
      for (size_t i = 0; i < layout.types.size(); ++i)
        write_type(layout.type_encoding, type_base - (i + 1) * entry_size(layout.type_encoding),
                   layout.types[i]);
    }
    return table;
  }

 private:
  // Copies the descriptor into one of the edge areas and writes its encoded address.
  void write_type(uint8_t encoding, uint8_t* entry, const Descriptor* type) {
    uint64_t raw = 0;
    if (type != nullptr) {
      bool relative = (encoding & 0x70) == 0x10;
      bool is_signed = (encoding & 0x08) != 0;
      uint8_t*& next = relative && !is_signed ? high_next_ : low_next_;
      auto* copy = reinterpret_cast<Descriptor*>(next);
      *copy = *type;
      next += sizeof(Descriptor);
      uint64_t target = reinterpret_cast<uintptr_t>(copy);
      if (encoding & 0x80) {
        std::memcpy(next, &target, 8);
        target = reinterpret_cast<uintptr_t>(next);
        next += 8;
      }
      raw = relative ? target - reinterpret_cast<uintptr_t>(entry) : target;
    }
    std::memcpy(entry, &raw, entry_size(encoding));
  }

  uint8_t* base_;
  uint8_t* low_next_;
  uint8_t* high_next_;
};

}  // namespace nk::test
