#include "sim/debug/symbolize.h"

#include <cstdio>

#include "sim/base/fd_writer.h"
#include "sim/loader/macho_file.h"
#include "sim/loader/symbol_table.h"
#include "sim/machine/image_registry.h"

namespace nk::sim {

std::optional<uint64_t> parse_address(std::string_view text) {
  if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
  if (text.empty() || text.size() > 16) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    int digit = c >= '0' && c <= '9' ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  return value;
}

std::string symbolize(std::span<const uint8_t> bytes, const std::string& image_name,
                      std::span<const uint64_t> addresses) {
  SymbolTable symbols(bytes, parse_mach_file(bytes));
  std::string text;
  FdWriter out(text);
  for (uint64_t address : addresses) {
    out.hex(address) << " ";
    if (symbols.section_at(address) || symbols.section_at(address - 1)) {
      // An address no symbol covers may be a return address just past its function's end.
      write_file_code_name(out, symbols, address, !symbols.symbol_at(address));
      out << " (" << image_name << ")\n";
    } else {
      out << "(not in the code of " << image_name << ")\n";
    }
  }
  out.flush();
  return text;
}

std::string list_symbols(std::span<const uint8_t> bytes) {
  auto symbols = read_symbols(bytes, parse_mach_file(bytes));
  std::string out = "symbols (" + std::to_string(symbols.size()) + "):\n";
  char line[64];
  for (const auto& symbol : symbols) {
    snprintf(line, sizeof line, "  %016llx  %-8s %-4s  ", static_cast<unsigned long long>(symbol.address),
             symbol.external ? "exported" : "local", symbol.code ? "code" : "data");
    out += line + symbol.name + "\n";
  }
  return out;
}

}  // namespace nk::sim
