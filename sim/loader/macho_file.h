#pragma once
// The load commands of a Mach-O file, checked against the file's bounds: everything the
// loader needs to map the image, fix it up and find its symbols.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace nk::sim {

struct FileRange {
  uint64_t offset = 0;
  uint64_t size = 0;
  std::span<const uint8_t> in(std::span<const uint8_t> file) const {
    return file.subspan(offset, size);
  }
};

struct MachSegment {
  std::string name;
  uint64_t vmaddr = 0, vmsize = 0, fileoff = 0, filesize = 0;
  uint32_t initprot = 0;
  bool mapped = false;  // false for __PAGEZERO-like segments that reserve nothing we copy
};

struct MachSection {
  std::string segment, name;
  uint64_t addr = 0, size = 0;
  uint32_t type = 0;
};

struct DylibReference {
  std::string name;
  bool weak = false;
};

struct MachFile {
  uint32_t filetype = 0;
  std::vector<MachSegment> segments;  // in load-command order: the fix-ups' segment numbers
  std::vector<MachSection> initializers;  // __mod_init_func sections
  bool has_dyld_info = false;
  FileRange rebase, bind, weak_bind, lazy_bind, exports;
  FileRange symbols, strings;
  uint32_t symbol_count = 0;
  std::vector<DylibReference> dylibs;  // bind ordinal n refers to dylibs[n - 1]
  std::string install_name;            // LC_ID_DYLIB
  std::optional<uint64_t> entry_vmaddr;  // LC_MAIN, as an unslid address
  uint64_t header_vmaddr = 0;  // where the Mach-O header lies; export offsets count from it
  uint64_t min_vmaddr = 0;     // lowest mapped address
  uint64_t vm_span = 0;        // page-rounded size of the mapped range
};

// Throws Malformed for anything that does not hold up.
MachFile parse_mach_file(std::span<const uint8_t> bytes);

const char* filetype_name(uint32_t filetype);

}  // namespace nk::sim
