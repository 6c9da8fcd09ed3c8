#include "sim/loader/symbol_table.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "sim/base/byte_reader.h"
#include "sim/loader/macho_format.h"

namespace nk::sim {
namespace {

constexpr uint32_t kPureInstructions = 0x80000000, kSomeInstructions = 0x400;

struct SectionHeader {
  std::string name;
  uint64_t addr, size;
  bool code;
};

// Every section in load-command order: symbols name theirs by that position, from 1.
std::vector<SectionHeader> read_sections(std::span<const uint8_t> bytes) {
  std::vector<SectionHeader> sections;
  ByteReader header(bytes, "");
  header.seek(16);
  uint32_t count = header.fixed<uint32_t>();
  uint32_t size = header.fixed<uint32_t>();
  ByteReader commands(bytes.subspan(macho::kHeaderSize, size), "");
  uint64_t at = 0;
  for (uint32_t i = 0; i < count && at + 8 <= size; ++i) {
    commands.seek(at);
    uint32_t cmd = commands.fixed<uint32_t>();
    uint32_t cmdsize = commands.fixed<uint32_t>();
    if (cmdsize < 8) break;
    if (cmd == macho::kSegment64) {
      commands.seek(at + 64);
      uint32_t nsects = commands.fixed<uint32_t>();
      for (uint32_t s = 0; s < nsects; ++s) {
        uint64_t base = at + macho::kSegmentCommandSize + s * macho::kSectionSize;
        commands.seek(base);
        char name[17] = {};
        for (int c = 0; c < 16; ++c) name[c] = static_cast<char>(commands.u8());
        commands.seek(base + 32);
        uint64_t addr = commands.fixed<uint64_t>();
        uint64_t length = commands.fixed<uint64_t>();
        commands.seek(base + 64);
        uint32_t flags = commands.fixed<uint32_t>();
        sections.push_back({name, addr, length, (flags & (kPureInstructions | kSomeInstructions)) != 0});
      }
    }
    at += cmdsize;
  }
  return sections;
}

// Calls visit(value, name, type, section) for each symbol the file defines in a section
// and names.
template <class Visit>
void for_each_defined(std::span<const uint8_t> bytes, const MachFile& file, Visit visit) {
  auto table = file.symbols.in(bytes);
  auto strings = file.strings.in(bytes);
  for (uint32_t i = 0; i < file.symbol_count && (i + 1) * macho::kNlistSize <= table.size(); ++i) {
    const uint8_t* entry = table.data() + i * macho::kNlistSize;
    uint32_t strx;
    uint64_t value;
    std::memcpy(&strx, entry, 4);
    std::memcpy(&value, entry + 8, 8);
    uint8_t type = entry[4], section = entry[5];
    if ((type & macho::kNStab) || (type & macho::kNTypeMask) != macho::kNSect) continue;
    if (strx >= strings.size()) continue;
    const char* text = reinterpret_cast<const char*>(strings.data() + strx);
    size_t length = strnlen(text, strings.size() - strx);
    if (length == 0 || length == strings.size() - strx) continue;
    visit(value, std::string_view(text, length), type, section);
  }
}

std::string demangle(std::string_view mach_name) {
  std::string plain(mach_name.starts_with('_') ? mach_name.substr(1) : mach_name);
  if (!plain.starts_with("_Z")) return plain;
  int status = 0;
  char* text = abi::__cxa_demangle(plain.c_str(), nullptr, nullptr, &status);
  if (status != 0 || !text) return plain;
  std::string result(text);
  free(text);
  return result;
}

}  // namespace

std::vector<SymbolInfo> read_symbols(std::span<const uint8_t> bytes, const MachFile& file) {
  std::vector<SymbolInfo> symbols;
  std::vector<SectionHeader> sections;
  try {
    sections = read_sections(bytes);
  } catch (const Malformed&) {
    return symbols;  // the loader checked the commands; a file it refused has no names to give
  }
  for_each_defined(bytes, file, [&](uint64_t value, std::string_view mach_name, uint8_t type, uint8_t section) {
    bool code = section >= 1 && section <= sections.size() && sections[section - 1].code;
    symbols.push_back({value, demangle(mach_name), std::string(mach_name), (type & 1) != 0, code});
  });
  std::stable_sort(symbols.begin(), symbols.end(),
                   [](const SymbolInfo& a, const SymbolInfo& b) { return a.address < b.address; });
  return symbols;
}

SymbolTable::SymbolTable(std::span<const uint8_t> bytes, const MachFile& file) {
  std::vector<SectionHeader> headers;
  try {
    headers = read_sections(bytes);
  } catch (const Malformed&) {
    return;  // the loader checked the commands; a file it refused has no names to give
  }
  // Every image is read at load time, so only what a report can name is kept: the code
  // symbols, still as the file spells them, in address order. Only those are demangled.
  struct Found {
    uint64_t address;
    std::string_view mach_name;
  };
  std::vector<Found> found;
  for_each_defined(bytes, file, [&](uint64_t value, std::string_view mach_name, uint8_t, uint8_t section) {
    if (section >= 1 && section <= headers.size() && headers[section - 1].code)
      found.push_back({value, mach_name});
  });
  std::stable_sort(found.begin(), found.end(),
                   [](const Found& a, const Found& b) { return a.address < b.address; });
  // Two names at one address (an alias): keep the first, which the file lists first.
  found.erase(std::unique(found.begin(), found.end(),
                          [](const Found& a, const Found& b) { return a.address == b.address; }),
              found.end());

  // Offsets first: the pool must stop growing before pointers into it are taken.
  std::vector<size_t> section_names, symbol_names;
  for (const auto& header : headers)
    if (header.code) {
      section_names.push_back(names_.size());
      names_ += header.name;
      names_ += '\0';
    }
  for (const auto& symbol : found) {
    symbol_names.push_back(names_.size());
    names_ += demangle(symbol.mach_name);
    names_ += '\0';
    symbols_.push_back({symbol.address, 0, nullptr});
  }
  size_t next = 0;
  for (const auto& header : headers)
    if (header.code)
      sections_.push_back({header.addr, header.addr + header.size, names_.c_str() + section_names[next++]});
  for (size_t i = 0; i < symbols_.size(); ++i) {
    Symbol& symbol = symbols_[i];
    symbol.name = names_.c_str() + symbol_names[i];
    const Section* home = section_at(symbol.address);
    uint64_t end = home ? home->end : symbol.address;
    if (i + 1 < symbols_.size()) end = std::min(end, symbols_[i + 1].address);
    symbol.size = end > symbol.address ? end - symbol.address : 0;
  }
}

const SymbolTable::Section* SymbolTable::section_at(uint64_t address) const noexcept {
  for (const auto& section : sections_)
    if (address >= section.start && address < section.end) return &section;
  return nullptr;
}

const SymbolTable::Symbol* SymbolTable::symbol_at(uint64_t address) const noexcept {
  auto after = std::upper_bound(symbols_.begin(), symbols_.end(), address,
                                [](uint64_t a, const Symbol& s) { return a < s.address; });
  if (after == symbols_.begin()) return nullptr;
  const Symbol& candidate = *(after - 1);
  if (address - candidate.address >= candidate.size) return nullptr;
  return &candidate;
}

}  // namespace nk::sim
