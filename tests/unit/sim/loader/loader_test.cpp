// nkhost's Mach-O loader on the real library and programs, and on damaged copies of them:
// every damaged file must give a LoadError that names it, never a crash.

#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>

#include "support/library_test.h"

namespace {

using nk::sim::Image;
using nk::sim::LoadError;
using nk::sim::Machine;
using nk::test::guest_path;
using nk::test::library_path;
using Bytes = std::vector<uint8_t>;

Bytes read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint32_t get32(const Bytes& b, size_t at) {
  uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
void put32(Bytes& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }
void put64(Bytes& b, size_t at, uint64_t v) { std::memcpy(b.data() + at, &v, 8); }

constexpr uint32_t kSegment64 = 0x19, kDyldInfoOnly = 0x80000022;

// Offset of the first load command with this cmd value.
size_t find_command(const Bytes& b, uint32_t cmd) {
  size_t at = 32;
  for (uint32_t i = 0, n = get32(b, 16); i < n; ++i) {
    if (get32(b, at) == cmd) return at;
    at += get32(b, at + 4);
  }
  ADD_FAILURE() << "no load command " << cmd;
  return 0;
}

// Fields of LC_DYLD_INFO_ONLY, by offset in the command.
constexpr size_t kRebaseOff = 8, kRebaseSize = 12, kBindOff = 16, kBindSize = 20,
                 kLazyBindOff = 32, kLazyBindSize = 36, kExportOff = 40, kExportSize = 44;

// Replaces an opcode stream with the given bytes, placed at the end of the file.
void replace_stream(Bytes& b, size_t off_field, size_t size_field, const Bytes& stream) {
  size_t info = find_command(b, kDyldInfoOnly);
  put32(b, info + off_field, static_cast<uint32_t>(b.size()));
  put32(b, info + size_field, static_cast<uint32_t>(stream.size()));
  b.insert(b.end(), stream.begin(), stream.end());
}

// Offset of the segment command with this name.
size_t find_segment(const Bytes& b, std::string_view name) {
  size_t at = 32;
  for (uint32_t i = 0, n = get32(b, 16); i < n; ++i) {
    if (get32(b, at) == kSegment64 && std::string_view(reinterpret_cast<const char*>(&b[at + 8])).starts_with(name))
      return at;
    at += get32(b, at + 4);
  }
  ADD_FAILURE() << "no segment " << name;
  return 0;
}

// Replaces every occurrence of a NUL-terminated name with one of the same length.
int rename_symbol(Bytes& b, std::string_view from, std::string_view to) {
  EXPECT_EQ(from.size(), to.size());
  std::string needle = std::string(from) + '\0';
  int count = 0;
  for (auto it = b.begin();
       (it = std::search(it, b.end(), needle.begin(), needle.end())) != b.end(); ++count)
    std::copy(to.begin(), to.end(), it);
  return count;
}

// The LoadError text of a failed load, or "" when it loaded.
template <class Load>
std::string load_error(Load load) {
  try {
    load();
  } catch (const LoadError& e) {
    return e.what();
  }
  return "";
}

bool mapped(uint64_t address) {
  return msync(reinterpret_cast<void*>(address & ~uint64_t(4095)), 4096, MS_ASYNC) == 0 ||
         errno != ENOMEM;
}

class Loader : public ::testing::Test {
 protected:
  Bytes library = read_file(library_path());
  Bytes program = read_file(guest_path("loader_fixups"));
  Machine machine;

  std::string library_error(const Bytes& bytes) {
    return load_error([&] { machine.load_library(bytes, "lib.dylib"); });
  }
  std::string program_error(const Bytes& bytes) {
    return load_error([&] { machine.load_program(bytes, "prog"); });
  }
};

TEST_F(Loader, MapsTheLibraryBelow4GiBWithItsExportsAndSymbols) {
  Image& lib = machine.load_library(library_path());
  EXPECT_EQ(lib.name(), "OrvaneWindow.dylib");
  EXPECT_LE(lib.base() + lib.size(), uint64_t(1) << 32);
  auto strlen_at = lib.find_export("strlen");
  ASSERT_TRUE(strlen_at);
  EXPECT_TRUE(lib.contains(*strlen_at));
  EXPECT_EQ(lib.function<size_t(const char*)>("strlen")("seven c"), 7u);
  EXPECT_EQ(lib.describe(*strlen_at + 0x1c), "strlen+0x1c in OrvaneWindow.dylib");
  EXPECT_FALSE(lib.find_export("no_such_function"));
  // A hidden function is in the symbol table only.
  EXPECT_FALSE(lib.find_export("nk_lua_flush_output_line"));
  EXPECT_TRUE(lib.find_symbol("nk_lua_flush_output_line"));
  EXPECT_EQ(lib.find_symbol("strlen"), strlen_at);
  EXPECT_FALSE(lib.entry_point());
  EXPECT_THROW(lib.export_address("no_such_function"), std::out_of_range);
}

TEST(LoaderMachines, EveryLoadIsAFreshCopyAndIsUnmappedWithTheMachine) {
  uint64_t first_base;
  {
    Machine own;
    Image& first = own.load_library(library_path());
    Image& second = own.load_library(library_path());
    first_base = first.base();
    EXPECT_NE(first.base(), second.base());
    *first.data<int>("nk_errno") = 5;
    EXPECT_EQ(*second.data<int>("nk_errno"), 0);
  }
  EXPECT_FALSE(mapped(first_base));
  Machine again;
  EXPECT_EQ(*again.load_library(library_path()).data<int>("nk_errno"), 0);
}

TEST_F(Loader, ProgramsAreRebasedAndBoundToTheLibrary) {
  machine.load_library(library_path());
  Image& prog = machine.load_program(guest_path("loader_fixups"));
  EXPECT_LE(prog.base() + prog.size(), uint64_t(1) << 32);
  ASSERT_TRUE(prog.entry_point());
  EXPECT_TRUE(prog.contains(*prog.entry_point()));
  EXPECT_EQ(machine.run_main(prog), 42);
  EXPECT_EQ(machine.console().lines(), std::vector<std::string>{"fixed up"});
  // Each program load has its own static data too.
  EXPECT_EQ(machine.run_main(machine.load_program(guest_path("loader_fixups"))), 42);
}

// Without its lazy binds, a call through a stub reaches dyld_stub_binder, which nkhost never
// expects to run.
TEST_F(Loader, ACallThatWouldBindLazilyIsReported) {
  machine.load_library(library, "lib.dylib");
  Bytes b = program;
  replace_stream(b, kLazyBindOff, kLazyBindSize, {});
  Image& unbound = machine.load_program(b, "prog");
  EXPECT_EXIT(machine.run_main(unbound), ::testing::ExitedWithCode(nk::sim::kExitCrashed),
              "nkhost: dyld_stub_binder was called");
}

TEST_F(Loader, RunsInitialisersBeforeMainButOnlyCode) {
  machine.load_library(library, "lib.dylib");
  EXPECT_EQ(machine.run_main(machine.load_program(guest_path("loader_init"))), 11);

  // Point the initialiser at its own (writable, not executable) section instead.
  Bytes b = read_file(guest_path("loader_init"));
  std::string name("__mod_init_func\0", 16);
  auto header = std::search(b.begin(), b.end(), name.begin(), name.end());
  ASSERT_NE(header, b.end());
  size_t at = header - b.begin();
  uint64_t section_address;
  std::memcpy(&section_address, &b[at + 32], 8);
  put64(b, get32(b, at + 48), section_address);
  EXPECT_NE(program_error(b).find("prog: initialiser 0x"), std::string::npos) << program_error(b);

  // The segment that holds the initialiser pointers is not readable, or not loaded at all.
  b = read_file(guest_path("loader_init"));
  size_t data_const = find_segment(b, "__DATA_CONST");
  put32(b, data_const + 60, 0);  // initprot
  EXPECT_NE(program_error(b).find("section __mod_init_func lies in segment __DATA_CONST, which is not readable"),
            std::string::npos) << program_error(b);
  put64(b, data_const + 48, 0);  // filesize
  EXPECT_NE(program_error(b).find("lies in segment __DATA_CONST, which is not loaded"), std::string::npos)
      << program_error(b);
}

TEST_F(Loader, ProgramsNeedTheirLibrary) {
  EXPECT_EQ(program_error(program),
            "prog: needs /lib/OrvaneWindow.dylib, but no library is loaded");
  machine.load_library(library, "lib.dylib");
  Bytes other = program;
  ASSERT_GT(rename_symbol(other, "/lib/OrvaneWindow.dylib", "/lib/ElsewhereXYZ.dylib"), 0);
  EXPECT_NE(program_error(other).find("prog: needs /lib/ElsewhereXYZ.dylib"), std::string::npos);
}

TEST_F(Loader, AMissingSymbolIsAnErrorUnlessItsImportIsWeak) {
  machine.load_library(library, "lib.dylib");
  Bytes missing = program;
  ASSERT_GT(rename_symbol(missing, "_strlen", "_strlex"), 0);
  EXPECT_EQ(program_error(missing),
            "prog: undefined symbol strlex (expected from /lib/OrvaneWindow.dylib)");
  // A name from the program is printed with its control bytes escaped.
  Bytes forged = program;
  ASSERT_GT(rename_symbol(forged, "_strlen", "_s\x1b[2J\n"), 0);
  EXPECT_EQ(program_error(forged),
            "prog: undefined symbol s\\x1B[2J\\n (expected from /lib/OrvaneWindow.dylib)");

  // The same import marked weak (the flags of SET_SYMBOL_TRAILING_FLAGS) binds to null.
  Bytes weak = missing;
  std::string opcode = std::string("\x40") + "_strlex";
  int marked = 0;
  for (auto it = weak.begin(); (it = std::search(it, weak.end(), opcode.begin(), opcode.end())) != weak.end(); ++it, ++marked)
    *it = 0x41;
  ASSERT_GT(marked, 0);
  EXPECT_EQ(program_error(weak), "");
}

TEST_F(Loader, RejectsFilesOfTheWrongKind) {
  EXPECT_EQ(library_error({}), "lib.dylib: file too short for a Mach-O header");
  EXPECT_EQ(library_error(Bytes(10, 0)), "lib.dylib: not a Mach-O file (magic 0x0)");
  Bytes text(100, 'x');
  EXPECT_NE(library_error(text).find("not a Mach-O file"), std::string::npos);
  Bytes wrong_cpu = library;
  put32(wrong_cpu, 4, 0x0100000C);  // arm64
  EXPECT_NE(library_error(wrong_cpu).find("not an x86-64 image"), std::string::npos);
  Bytes big_endian = library;
  put32(big_endian, 0, 0xCFFAEDFE);
  EXPECT_NE(library_error(big_endian).find("not a 64-bit little-endian"), std::string::npos);
  EXPECT_EQ(library_error(program), "lib.dylib: is an executable, not a dynamic library");
  machine.load_library(library, "lib.dylib");
  EXPECT_EQ(program_error(library), "prog: is a dynamic library, not an executable");
  EXPECT_NE(load_error([&] { machine.load_program("/nonexistent/prog"); }).find("cannot open"),
            std::string::npos);
}

TEST_F(Loader, TruncatedFilesNeverLoad) {
  for (const Bytes* original : {&library, &program}) {
    for (size_t cut : {size_t(4), size_t(31), size_t(32), size_t(200), size_t(1000),
                       original->size() / 2, original->size() - 1}) {
      Bytes cut_bytes(original->begin(), original->begin() + cut);
      std::string error = original == &library ? library_error(cut_bytes) : program_error(cut_bytes);
      EXPECT_FALSE(error.empty()) << "cut at " << cut;
      EXPECT_TRUE(error.starts_with(original == &library ? "lib.dylib: " : "prog: ")) << error;
    }
  }
}

TEST_F(Loader, RejectsBadLoadCommandsAndSegments) {
  Bytes b = library;
  put32(b, 20, static_cast<uint32_t>(b.size()));  // sizeofcmds
  EXPECT_EQ(library_error(b), "lib.dylib: load commands run past the end of the file");
  b = library;
  put32(b, 16, get32(b, 16) + 50);  // ncmds: more commands than the area holds
  EXPECT_NE(library_error(b).find("runs past the end"), std::string::npos);
  b = library;
  put32(b, 32 + 4, 0);  // first cmdsize
  EXPECT_NE(library_error(b).find("load command 0 has a bad size (0)"), std::string::npos);
  b = library;
  put32(b, 32 + 4, 0x7FFFFFF0);
  EXPECT_NE(library_error(b).find("has a bad size"), std::string::npos);

  size_t text = find_segment(library, "__TEXT"), linkedit = find_segment(library, "__LINKEDIT");
  b = library;
  put64(b, text + 40, b.size());  // fileoff
  EXPECT_NE(library_error(b).find("segment __TEXT lies past the end of the file"), std::string::npos);
  b = library;
  put64(b, linkedit + 48, b.size());  // filesize
  EXPECT_NE(library_error(b).find("segment __LINKEDIT lies past the end of the file"), std::string::npos);
  b = library;
  put64(b, text + 32, 0x100000);  // vmsize: __TEXT now covers the next segment
  EXPECT_NE(library_error(b).find("overlap"), std::string::npos);
  b = library;
  put64(b, linkedit + 32, uint64_t(1) << 40);  // vmsize
  EXPECT_NE(library_error(b).find("too large"), std::string::npos);

  b = library;
  put32(b, find_command(b, kDyldInfoOnly), 0x80000034);
  EXPECT_NE(library_error(b).find("chained fix-ups"), std::string::npos);
  b = library;
  put32(b, find_command(b, kDyldInfoOnly), 0x80000077);
  EXPECT_NE(library_error(b).find("unsupported required load command 0x80000077"), std::string::npos);
}

TEST_F(Loader, RejectsFixupsOutsideTheImageAndBrokenOpcodeStreams) {
  struct Case {
    Bytes stream;
    const char* error;
  };
  // Rebase streams: set type pointer, segment 1 (__TEXT of the library is 0), ...
  const Case rebases[] = {
      {{0x11, 0x21, 0xFF, 0xFF, 0xFF, 0x7F, 0x51, 0x00}, "rebase info: fix-up outside segment"},
      {{0x11, 0x2F, 0x00, 0x51, 0x00}, "rebase info: segment number 15 does not exist"},
      {{0x11, 0x21, 0x80}, "rebase info: runs past its end"},
      {{0x11, 0x21, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01, 0x00},
       "rebase info: over-long LEB128 number"},
      {{0x11, 0x21, 0x00, 0x60, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00},
       "rebase info: fix-up outside segment"},
      {{0x51, 0x00}, "rebase info: fix-up before any segment was chosen"},
      {{0x12, 0x00}, "rebase info: unsupported rebase type 2"},
      {{0xE0}, "rebase info: unknown opcode 224"},
  };
  for (const auto& c : rebases) {
    Bytes b = library;
    replace_stream(b, kRebaseOff, kRebaseSize, c.stream);
    EXPECT_NE(library_error(b).find(c.error), std::string::npos) << c.error << " / " << library_error(b);
  }
  machine.load_library(library, "lib.dylib");
  // Bind streams of the program: ordinal 1, symbol _strlen, type pointer, ...
  const Bytes bind_prefix = {0x11, 0x40, '_', 's', 't', 'r', 'l', 'e', 'n', 0x00, 0x51};
  const Case binds[] = {
      {{0x72, 0xFF, 0xFF, 0xFF, 0x0F, 0x90, 0x00}, "bind info: fix-up outside segment"},
      {{0x7F, 0x00, 0x90, 0x00}, "bind info: segment number 15 does not exist"},
      {{0x72, 0x00, 0xC0, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        0xFF, 0xFF, 0xFF, 0x01, 0x00},
       "bind info: "},
      {{0x72, 0x00, 0xD0}, "bind info: threaded binds are not supported"},
  };
  for (const auto& c : binds) {
    Bytes stream = bind_prefix;
    stream.insert(stream.end(), c.stream.begin(), c.stream.end());
    Bytes b = program;
    replace_stream(b, kBindOff, kBindSize, stream);
    EXPECT_NE(program_error(b).find(c.error), std::string::npos) << c.error << " / " << program_error(b);
  }
  Bytes b = program;
  replace_stream(b, kBindOff, kBindSize, {0x11, 0x51, 0x72, 0x00, 0x90, 0x00});
  EXPECT_NE(program_error(b).find("bind info: bind without a symbol"), std::string::npos);
  b = program;
  replace_stream(b, kLazyBindOff, kLazyBindSize, {0x72, 0x00, 0x19, 0x40, '_', 'x', 0x00, 0x90, 0x00});
  EXPECT_NE(program_error(b).find("prog: a bind names dylib 9, which does not exist"), std::string::npos);
}

TEST_F(Loader, RejectsBrokenExportTries) {
  struct Case {
    Bytes trie;
    const char* error;
  };
  const Case cases[] = {
      {{0x00, 0x01, '_', 0x00, 0x00}, "export trie: a node is reached twice (cycle)"},
      {{0x00, 0x01, '_', 0x00, 0x05, 0x00, 0x01, 'a', 0x00, 0x05}, "cycle"},
      {{0x00, 0x01, '_', 0x00, 0x7F}, "export trie: child offset past the end"},
      {{0x00, 0x01, '_', 'a'}, "export trie: unterminated string"},
      {{0x00, 0x01, 0x00, 0x03}, "export trie: empty edge label"},
      {{0x00, 0x01, '_', 0x00, 0x05, 0x09, 0x00, 0x80}, "export trie: "},
  };
  for (const auto& c : cases) {
    Bytes b = library;
    replace_stream(b, kExportOff, kExportSize, c.trie);
    EXPECT_NE(library_error(b).find(c.error), std::string::npos) << c.error << " / " << library_error(b);
  }
}

// Random damage to the headers and load commands: each copy loads or is refused cleanly.
TEST_F(Loader, SurvivesRandomDamageToHeadersAndCommands) {
  machine.load_library(library, "lib.dylib");
  std::mt19937 random(20240611);
  size_t commands_end = 32 + get32(program, 20);
  for (int round = 0; round < 400; ++round) {
    Bytes b = program;
    for (int flips = 1 + round % 4; flips > 0; --flips)
      b[random() % commands_end] ^= static_cast<uint8_t>(1 + random() % 255);
    std::string error = program_error(b);
    EXPECT_TRUE(error.empty() || error.starts_with("prog: ")) << error;
  }
}

}  // namespace
