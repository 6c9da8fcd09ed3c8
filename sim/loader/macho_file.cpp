#include "sim/loader/macho_file.h"

#include <algorithm>
#include <cstring>

#include "sim/base/byte_reader.h"
#include "sim/base/hex_text.h"
#include "sim/loader/macho_format.h"

namespace nk::sim {
namespace {

using namespace macho;

constexpr uint64_t kPage = 4096;
// Generous for anything built for the platform, and small enough that a bogus vmsize cannot
// make us reserve absurd amounts of address space below 4 GiB.
constexpr uint64_t kMaxImageSpan = uint64_t(256) << 20;

// A range of the file given by offset and size; both must stay inside it.
FileRange file_range(ByteReader& commands, uint64_t file_size, uint64_t offset, uint64_t size,
                     const char* what) {
  if (offset > file_size || size > file_size - offset)
    commands.fail(std::string(what) + " lies past the end of the file");
  return {offset, size};
}

std::string fixed_name(const char (&raw)[16]) {
  return std::string(raw, strnlen(raw, sizeof raw));
}

class Parser {
 public:
  explicit Parser(std::span<const uint8_t> bytes) : bytes_(bytes), header_(bytes, "") {}

  MachFile parse() {
    read_header();
    for (uint32_t i = 0; i < ncmds_; ++i) read_command(i);
    finish();
    return std::move(file_);
  }

 private:
  void read_header() {
    if (bytes_.size() < 4) header_.fail("file too short for a Mach-O header");
    uint32_t magic = header_.fixed<uint32_t>();
    if (magic != kMagic64) {
      if (magic == 0xCEFAEDFE || magic == 0xCFFAEDFE || magic == 0xFEEDFACE)
        header_.fail("not a 64-bit little-endian Mach-O file");
      if (magic == 0xBEBAFECA) header_.fail("universal (fat) files are not supported");
      header_.fail("not a Mach-O file (magic " + hex_text(magic) + ")");
    }
    if (bytes_.size() < kHeaderSize) header_.fail("file too short for a Mach-O header");
    uint32_t cputype = header_.fixed<uint32_t>();
    header_.fixed<uint32_t>();  // cpu subtype
    file_.filetype = header_.fixed<uint32_t>();
    ncmds_ = header_.fixed<uint32_t>();
    sizeofcmds_ = header_.fixed<uint32_t>();
    if (cputype != kCpuTypeX86_64) header_.fail("not an x86-64 image (cpu type " + hex_text(cputype) + ")");
    if (file_.filetype != kFileExecute && file_.filetype != kFileDylib)
      header_.fail("unsupported file type " + std::to_string(file_.filetype) +
                   " (only executables and dynamic libraries load)");
    if (sizeofcmds_ > bytes_.size() - kHeaderSize)
      header_.fail("load commands run past the end of the file");
  }

  void read_command(uint32_t index) {
    ByteReader area(bytes_.subspan(kHeaderSize, sizeofcmds_), "");
    area.seek(next_command_);
    if (area.size() - area.position() < 8)
      area.fail("load command " + std::to_string(index) + " runs past the end");
    uint32_t cmd = area.fixed<uint32_t>();
    uint32_t cmdsize = area.fixed<uint32_t>();
    if (cmdsize < 8 || cmdsize > area.size() - next_command_)
      area.fail("load command " + std::to_string(index) + " has a bad size (" +
                std::to_string(cmdsize) + ")");
    ByteReader command(bytes_.subspan(kHeaderSize + next_command_, cmdsize),
                       "load command " + std::to_string(index) + " (" + hex_text(cmd) + ")");
    command.seek(8);
    next_command_ += cmdsize;

    switch (cmd) {
      case kSegment64: return read_segment(command);
      case kDyldInfo:
      case kDyldInfoOnly: return read_dyld_info(command);
      case kSymtab: return read_symtab(command);
      case kLoadDylib:
      case kLoadWeakDylib:
      case kReexportDylib:
      case kLazyLoadDylib:
      case kUpwardDylib:
        file_.dylibs.push_back({std::string(dylib_name(command)), cmd == kLoadWeakDylib});
        return;
      case kIdDylib: file_.install_name = dylib_name(command); return;
      case kMain: return read_main(command);
      case kDyldChainedFixups:
      case kDyldExportsTrie:
        command.fail("uses chained fix-ups (LC_DYLD_CHAINED_FIXUPS), which nkhost does not "
                     "load; link with -no_fixup_chains");
      case kSegment32: command.fail("has a 32-bit segment; only 64-bit images load");
      case kThread:
      case kUnixThread: command.fail("has an LC_UNIXTHREAD entry point; only LC_MAIN is supported");
      default:
        if (cmd & kRequiredByDyld) command.fail("unsupported required load command " + hex_text(cmd));
    }
  }

  void read_segment(ByteReader& command) {
    if (command.size() < kSegmentCommandSize) command.fail("segment command too short");
    MachSegment segment;
    char name[16];
    for (char& c : name) c = static_cast<char>(command.u8());
    segment.name = fixed_name(name);
    segment.vmaddr = command.fixed<uint64_t>();
    segment.vmsize = command.fixed<uint64_t>();
    segment.fileoff = command.fixed<uint64_t>();
    segment.filesize = command.fixed<uint64_t>();
    command.fixed<uint32_t>();  // maxprot
    segment.initprot = command.fixed<uint32_t>();
    uint32_t nsects = command.fixed<uint32_t>();
    command.fixed<uint32_t>();  // flags
    if (nsects > (command.size() - kSegmentCommandSize) / kSectionSize)
      command.fail("segment " + segment.name + " has more sections than its command holds");
    if (segment.fileoff > bytes_.size() || segment.filesize > bytes_.size() - segment.fileoff)
      command.fail("segment " + segment.name + " lies past the end of the file");
    if (segment.filesize > segment.vmsize)
      command.fail("segment " + segment.name + " has more file bytes than memory");
    if (segment.vmaddr + segment.vmsize < segment.vmaddr)
      command.fail("segment " + segment.name + " wraps around the address space");
    segment.mapped = segment.vmsize > 0 && !(segment.initprot == 0 && segment.filesize == 0);
    if (segment.mapped && segment.vmaddr % kPage)
      command.fail("segment " + segment.name + " is not page aligned");
    for (uint32_t i = 0; i < nsects; ++i) read_section(command, segment);
    file_.segments.push_back(std::move(segment));
  }

  void read_section(ByteReader& command, const MachSegment& segment) {
    MachSection section;
    char name[16];
    for (char& c : name) c = static_cast<char>(command.u8());
    section.name = fixed_name(name);
    for (char& c : name) c = static_cast<char>(command.u8());
    section.segment = fixed_name(name);
    section.addr = command.fixed<uint64_t>();
    section.size = command.fixed<uint64_t>();
    command.fixed<uint32_t>();  // offset
    command.fixed<uint32_t>();  // align
    command.fixed<uint32_t>();  // reloff
    command.fixed<uint32_t>();  // nreloc
    section.type = command.fixed<uint32_t>() & kSectionTypeMask;
    for (int i = 0; i < 3; ++i) command.fixed<uint32_t>();
    if (section.addr < segment.vmaddr || section.size > segment.vmsize ||
        section.addr - segment.vmaddr > segment.vmsize - section.size)
      command.fail("section " + section.name + " lies outside its segment " + segment.name);
    if (section.type == kInitFuncOffsets)
      command.fail("has initialisers as offsets (__init_offsets), which nkhost does not run");
    if (section.type == kModInitFuncPointers) {
      // nkhost reads these pointers from the loaded image, so they must be there to read.
      if (!segment.mapped)
        command.fail("section " + section.name + " lies in segment " + segment.name +
                     ", which is not loaded");
      if (!(segment.initprot & kProtRead))
        command.fail("section " + section.name + " lies in segment " + segment.name +
                     ", which is not readable");
      if (section.size % 8) command.fail("section " + section.name + " has a partial pointer");
      file_.initializers.push_back(std::move(section));
    }
  }

  void read_dyld_info(ByteReader& command) {
    if (file_.has_dyld_info) command.fail("has two LC_DYLD_INFO commands");
    file_.has_dyld_info = true;
    uint64_t size = bytes_.size();
    auto range = [&](const char* what) {
      uint32_t offset = command.fixed<uint32_t>();
      uint32_t length = command.fixed<uint32_t>();
      return file_range(command, size, offset, length, what);
    };
    file_.rebase = range("rebase info");
    file_.bind = range("bind info");
    file_.weak_bind = range("weak bind info");
    file_.lazy_bind = range("lazy bind info");
    file_.exports = range("export trie");
  }

  void read_symtab(ByteReader& command) {
    uint32_t symoff = command.fixed<uint32_t>();
    uint32_t nsyms = command.fixed<uint32_t>();
    uint32_t stroff = command.fixed<uint32_t>();
    uint32_t strsize = command.fixed<uint32_t>();
    file_.symbols = file_range(command, bytes_.size(), symoff, uint64_t(nsyms) * kNlistSize,
                               "symbol table");
    file_.strings = file_range(command, bytes_.size(), stroff, strsize, "string table");
    file_.symbol_count = nsyms;
  }

  std::string_view dylib_name(ByteReader& command) {
    uint32_t offset = command.fixed<uint32_t>();
    if (offset < 12) command.fail("dylib command has a bad name offset");
    command.seek(offset);
    return command.cstring();
  }

  void read_main(ByteReader& command) { entryoff_ = command.fixed<uint64_t>(); }

  void finish() {
    ByteReader whole(bytes_, "");
    std::vector<const MachSegment*> mapped;
    for (const auto& segment : file_.segments)
      if (segment.mapped) mapped.push_back(&segment);
    if (mapped.empty()) whole.fail("has no segment to load");
    std::sort(mapped.begin(), mapped.end(),
              [](auto* a, auto* b) { return a->vmaddr < b->vmaddr; });
    for (size_t i = 1; i < mapped.size(); ++i)
      if (mapped[i]->vmaddr < mapped[i - 1]->vmaddr + mapped[i - 1]->vmsize)
        whole.fail("segments " + mapped[i - 1]->name + " and " + mapped[i]->name + " overlap");
    file_.min_vmaddr = mapped.front()->vmaddr;
    uint64_t end = mapped.back()->vmaddr + mapped.back()->vmsize;
    if (end - file_.min_vmaddr > kMaxImageSpan) whole.fail("image is too large to load");
    file_.vm_span = (end - file_.min_vmaddr + kPage - 1) / kPage * kPage;

    bool found_header = false;
    for (auto* segment : mapped)
      if (segment->fileoff == 0 && segment->filesize > 0) {
        file_.header_vmaddr = segment->vmaddr;
        found_header = true;
        break;
      }
    if (!found_header) whole.fail("no segment maps the Mach-O header");

    if (entryoff_) {
      for (auto* segment : mapped)
        if (*entryoff_ >= segment->fileoff && *entryoff_ - segment->fileoff < segment->filesize &&
            (segment->initprot & kProtExecute))
          file_.entry_vmaddr = segment->vmaddr + (*entryoff_ - segment->fileoff);
      if (!file_.entry_vmaddr) whole.fail("entry point " + hex_text(*entryoff_) + " is not in code");
    }
  }

  std::span<const uint8_t> bytes_;
  ByteReader header_;
  MachFile file_;
  uint32_t ncmds_ = 0, sizeofcmds_ = 0;
  uint64_t next_command_ = 0;
  std::optional<uint64_t> entryoff_;
};

}  // namespace

MachFile parse_mach_file(std::span<const uint8_t> bytes) { return Parser(bytes).parse(); }

const char* filetype_name(uint32_t filetype) {
  switch (filetype) {
    case macho::kFileExecute: return "executable";
    case macho::kFileDylib: return "dynamic library";
    default: return "other";
  }
}

}  // namespace nk::sim
