#include "sim/loader/loaded_image.h"

#include <algorithm>
#include <cstring>

#include "sim/loader/macho_format.h"

namespace nk::sim {
namespace {

// Appends text to a fixed buffer without allocating (signal handlers use it).
class FixedText {
 public:
  FixedText(char* out, size_t capacity) : out_(out), capacity_(capacity) {
    if (capacity_) out_[0] = 0;
  }
  FixedText& operator<<(std::string_view text) {
    for (char c : text)
      if (length_ + 1 < capacity_) out_[length_++] = c;
    if (capacity_) out_[length_] = 0;
    return *this;
  }
  FixedText& hex(uint64_t value) {
    char digits[19] = "0x";
    int n = 0;
    char reversed[16];
    do {
      reversed[n++] = "0123456789abcdef"[value & 15];
      value >>= 4;
    } while (value);
    for (int i = 0; i < n; ++i) digits[2 + i] = reversed[n - 1 - i];
    return *this << std::string_view(digits, 2 + n);
  }

 private:
  char* out_;
  size_t capacity_;
  size_t length_ = 0;
};

std::string_view c_name(std::string_view mach_name) {
  return mach_name.starts_with('_') ? mach_name.substr(1) : mach_name;
}

}  // namespace

LoadedImage::LoadedImage(std::string name, std::shared_ptr<const ImageBytes> bytes,
                         MachFile file, Mapping mapping, std::vector<Export> exports)
    : name_(std::move(name)),
      bytes_(std::move(bytes)),
      file_(std::move(file)),
      mapping_(std::move(mapping)),
      exports_(std::move(exports)) {
  std::sort(exports_.begin(), exports_.end(),
            [](const Export& a, const Export& b) { return a.address < b.address; });
  export_index_.reserve(exports_.size());
  for (const auto& e : exports_) export_index_.emplace(e.name, e.address);
}

LoadedImage::~LoadedImage() = default;

std::optional<uint64_t> LoadedImage::find_mach_export(std::string_view mach_name) const {
  auto it = export_index_.find(mach_name);
  if (it == export_index_.end()) return std::nullopt;
  return it->second;
}

std::optional<uint64_t> LoadedImage::find_export(std::string_view name) const {
  return find_mach_export("_" + std::string(name));
}

std::optional<uint64_t> LoadedImage::find_symbol(std::string_view name) const {
  if (!symbols_) {
    // Built on first use: most loads never look at the symbol table.
    symbols_.emplace();
    auto file = bytes_->bytes();
    auto table = file_.symbols.in(file);
    auto strings = file_.strings.in(file);
    for (uint32_t i = 0; i < file_.symbol_count; ++i) {
      const uint8_t* entry = table.data() + i * macho::kNlistSize;
      uint32_t strx;
      uint64_t value;
      std::memcpy(&strx, entry, 4);
      std::memcpy(&value, entry + 8, 8);
      uint8_t type = entry[4];
      if ((type & macho::kNStab) || (type & macho::kNTypeMask) != macho::kNSect) continue;
      if (strx >= strings.size()) continue;
      const char* text = reinterpret_cast<const char*>(strings.data() + strx);
      size_t length = strnlen(text, strings.size() - strx);
      if (length == strings.size() - strx) continue;
      uint64_t address = value + slide();
      if (!contains(address)) continue;
      symbols_->emplace(std::string(c_name({text, length})), address);
    }
  }
  auto it = symbols_->find(std::string(name));
  if (it == symbols_->end()) return find_export(name);
  return it->second;
}

std::optional<uint64_t> LoadedImage::entry_point() const {
  if (!file_.entry_vmaddr) return std::nullopt;
  return *file_.entry_vmaddr + slide();
}

void LoadedImage::describe_into(uint64_t address, char* out, size_t capacity) const noexcept {
  FixedText text(out, capacity);
  if (!contains(address)) {
    text.hex(address) << " (outside " << name_ << ")";
    return;
  }
  auto after = std::upper_bound(exports_.begin(), exports_.end(), address,
                                [](uint64_t a, const Export& e) { return a < e.address; });
  if (after == exports_.begin()) {
    text << "offset ";
    text.hex(address - base()) << " in " << name_;
    return;
  }
  const Export& nearest = *(after - 1);
  text << c_name(nearest.name) << "+";
  text.hex(address - nearest.address) << " in " << name_;
}

std::string LoadedImage::describe(uint64_t address) const {
  char text[512];
  describe_into(address, text, sizeof text);
  return text;
}

bool LoadedImage::in_code(uint64_t address) const {
  for (const auto& segment : file_.segments) {
    uint64_t start = segment.vmaddr + slide();
    if (segment.mapped && (segment.initprot & macho::kProtExecute) && address >= start &&
        address - start < segment.vmsize)
      return true;
  }
  return false;
}

std::vector<uint64_t> LoadedImage::initializers() const {
  std::vector<uint64_t> functions;
  for (uint64_t slot : initializer_slots()) {
    uint64_t pointer;
    std::memcpy(&pointer, reinterpret_cast<const void*>(slot), 8);
    functions.push_back(pointer);
  }
  return functions;
}

std::vector<uint64_t> LoadedImage::initializer_slots() const {
  std::vector<uint64_t> slots;
  for (const auto& section : file_.initializers)
    for (uint64_t at = 0; at < section.size; at += 8) slots.push_back(section.addr + slide() + at);
  return slots;
}

}  // namespace nk::sim
