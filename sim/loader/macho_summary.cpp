#include "sim/loader/macho_summary.h"

#include <cstdio>
#include <cstring>

#include "sim/loader/export_trie.h"
#include "sim/loader/macho_file.h"
#include "sim/loader/macho_format.h"

namespace nk::sim {
namespace {

std::string protection(uint32_t prot) {
  std::string text = "---";
  if (prot & macho::kProtRead) text[0] = 'r';
  if (prot & macho::kProtWrite) text[1] = 'w';
  if (prot & macho::kProtExecute) text[2] = 'x';
  return text;
}

// Undefined external symbols: what the file imports.
size_t count_imports(const MachFile& file, std::span<const uint8_t> bytes) {
  size_t count = 0;
  auto table = file.symbols.in(bytes);
  for (uint32_t i = 0; i < file.symbol_count; ++i) {
    uint8_t type = table[i * macho::kNlistSize + 4];
    if (!(type & macho::kNStab) && (type & macho::kNTypeMask) == 0 && (type & 1)) ++count;
  }
  return count;
}

}  // namespace

std::string summarize_mach_file(std::span<const uint8_t> bytes) {
  MachFile file = parse_mach_file(bytes);
  auto exports = read_export_trie(file.exports.in(bytes));
  std::string out;
  char line[256];
  out += std::string("type: ") + filetype_name(file.filetype) + " (x86-64)\n";
  if (!file.install_name.empty()) out += "install name: " + file.install_name + "\n";
  for (const auto& dylib : file.dylibs)
    out += "needs: " + dylib.name + (dylib.weak ? " (weak)" : "") + "\n";
  out += "segments:\n";
  for (const auto& s : file.segments) {
    snprintf(line, sizeof line, "  %-16s vm 0x%09llx size 0x%08llx  file 0x%08llx size 0x%08llx  %s%s\n",
             s.name.c_str(), static_cast<unsigned long long>(s.vmaddr),
             static_cast<unsigned long long>(s.vmsize), static_cast<unsigned long long>(s.fileoff),
             static_cast<unsigned long long>(s.filesize), protection(s.initprot).c_str(),
             s.mapped ? "" : "  (not loaded)");
    out += line;
  }
  uint64_t initializers = 0;
  for (const auto& section : file.initializers) initializers += section.size / 8;
  snprintf(line, sizeof line, "exports: %zu\nimports: %zu\nsymbols: %u\ninitialisers: %llu\n",
           exports.size(), count_imports(file, bytes), file.symbol_count,
           static_cast<unsigned long long>(initializers));
  out += line;
  if (file.entry_vmaddr) {
    snprintf(line, sizeof line, "entry point: 0x%llx\n",
             static_cast<unsigned long long>(*file.entry_vmaddr));
    out += line;
  }
  return out;
}

}  // namespace nk::sim
