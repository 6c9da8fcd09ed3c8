#pragma once
// The symbols of a Mach-O image, local ones included, with C++ names demangled: what turns
// a code address into "draw_sprite+0x1c". Addresses are the file's own (as nm prints them);
// a loaded image adds its slide.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/loader/macho_file.h"

namespace nk::sim {

struct SymbolInfo {
  uint64_t address = 0;
  std::string name;       // demangled, without Mach-O's leading underscore
  std::string mach_name;  // as the symbol table spells it
  bool external = false;  // visible to other images (exported)
  bool code = false;      // in a section of instructions
};

// Every defined symbol of the file, in address order. The file must have parsed.
std::vector<SymbolInfo> read_symbols(std::span<const uint8_t> bytes, const MachFile& file);

// The code symbols, for lookups that must not allocate (signal handlers).
class SymbolTable {
 public:
  struct Symbol {
    uint64_t address;
    uint64_t size;  // up to the next symbol or the end of its section
    const char* name;
  };
  struct Section {
    uint64_t start, end;
    const char* name;  // "__stubs": how to name code that no symbol covers
  };

  SymbolTable() = default;
  SymbolTable(std::span<const uint8_t> bytes, const MachFile& file);
  // Symbols point into names_, which a copy or a move (of a short string) would not keep.
  SymbolTable(const SymbolTable&) = delete;
  SymbolTable& operator=(const SymbolTable&) = delete;

  // The symbol whose range holds the address, or null.
  const Symbol* symbol_at(uint64_t address) const noexcept;
  // The code section that holds the address, or null.
  const Section* section_at(uint64_t address) const noexcept;
  std::span<const Symbol> symbols() const { return symbols_; }

 private:
  std::string names_;  // every name, NUL-terminated; filled before any pointer is taken
  std::vector<Symbol> symbols_;
  std::vector<Section> sections_;
};

}  // namespace nk::sim
