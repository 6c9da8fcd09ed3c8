// The console's pending line, the lines the host receives, and line input.

#include <cstdint>
#include <string>
#include <vector>

#include "support/library_test.h"

namespace {

using nk::sim::Entry;
using Lines = std::vector<std::string>;

class Console : public nk::test::LibraryTest {
 protected:
  void write(const std::string& bytes) { write_(bytes.data(), bytes.size()); }
  const Lines& lines() { return machine.console().lines(); }

  void (*write_)(const char*, size_t) = fn<void(const char*, size_t)>("nk_lua_write");
  void (*writeline)() = fn<void()>("nk_lua_writeline");
  void (*flush)() = fn<void()>("nk_lua_flush_output");
  void (*errorf)(const char*, const char*) = fn<void(const char*, const char*)>("nk_lua_write_errorf");
  bool (*readline)(char*, size_t, const char*, bool) =
      fn<bool(char*, size_t, const char*, bool)>("nk_lua_readline");
};

TEST_F(Console, LinesEndAtLineFeedAndCarriageReturnsAreDropped) {
  write("ab\r\ncd");
  EXPECT_EQ(lines(), Lines{"ab"});
  flush();
  EXPECT_EQ(lines(), (Lines{"ab", "cd"}));
  flush();
  EXPECT_EQ(lines().size(), 2u);

  write("\r\r\r");
  flush();
  EXPECT_EQ(lines().size(), 2u);
  write("\n\n");
  writeline();
  EXPECT_EQ(lines(), (Lines{"ab", "cd", "", "", ""}));

  // Every line travels through console_write_line, one call per line.
  size_t writes = 0;
  for (const auto& call : machine.calls()) writes += call.entry == Entry::console_write_line;
  EXPECT_EQ(writes, 5u);
}

TEST_F(Console, BackspaceErasesOnlyPendingBytes) {
  write("abc\b\b\b\bx\n");
  EXPECT_EQ(lines(), Lines{"x"});
  write("sent\n\b\bnew\n");
  EXPECT_EQ(lines(), (Lines{"x", "sent", "new"}));
}

TEST_F(Console, FullLinesAreHandedOverAt511Bytes) {
  write(std::string(511, 'a') + "\n");
  write(std::string(512, 'b') + "\n");
  write(std::string(1000, 'c') + "\n");
  EXPECT_EQ(lines(), (Lines{std::string(511, 'a'), std::string(511, 'b'), "b", std::string(511, 'c'),
                            std::string(489, 'c')}));
}

TEST_F(Console, ControlBytesAreKeptAndAZeroByteCutsTheHostsView) {
  write(std::string("a\tb\x01", 4) + "\n");
  write(std::string("x\0y", 3) + "\n");
  EXPECT_EQ(lines(), (Lines{"a\tb\x01", "x"}));
  // The zero byte still took its place in the line: the next full line comes as usual.
  write(std::string("\0", 1) + std::string(511, 'z'));
  writeline();
  EXPECT_EQ(lines().size(), 4u);
  EXPECT_EQ(lines()[3], "z");
}

TEST_F(Console, NullBytesWriteNothing) {
  write_(nullptr, 100);
  writeline();
  EXPECT_EQ(lines(), Lines{""});
}

TEST_F(Console, MissingWriteEntryDropsLinesWithoutPilingThemUp) {
  machine.table().disable(Entry::console_write_line);
  write(std::string(700, 'a') + "\nlost");
  flush();
  machine.table().enable(Entry::console_write_line);
  write("kept\n");
  EXPECT_EQ(lines(), Lines{"kept"});
}

TEST_F(Console, FormattedErrors) {
  errorf("error: %s\n", "x");
  EXPECT_EQ(lines(), Lines{"error: x"});
  errorf(nullptr, nullptr);
  errorf("%s", "");
  flush();
  EXPECT_EQ(lines().size(), 1u);
  errorf(nullptr, "no line end");
  flush();
  errorf("[%s]\n", nullptr);
  EXPECT_EQ(lines(), (Lines{"error: x", "no line end", "[]"}));

  std::string long_text(400, 'm');
  errorf("%s", long_text.c_str());
  flush();
  EXPECT_EQ(lines().back(), std::string(319, 'm'));
  // The format's own text counts too, and only the first 319 characters arrive.
  errorf(("<" + std::string(330, 'f') + "%s>").c_str(), "arg");
  flush();
  EXPECT_EQ(lines().back(), "<" + std::string(318, 'f'));
  // Conversions beyond the one argument read empty strings, not stray registers.
  errorf("%s|%s|%s|%s\n", "only");
  EXPECT_EQ(lines().back(), "only|||");
}

TEST_F(Console, BannerAndHelp) {
  fn<void()>("nk_lua_show_banner")();
  EXPECT_EQ(lines(), (Lines{"NorrikLua Desktop For NorrikBoot",
                            "type Lua code at the NorrikBoot prompt and press Enter",
                            "type exit or press Esc on an empty prompt to leave",
                            "autoruns index.lua if it is present",
                            "use dofile(\"name.lua\") to run files from disk", ""}));
  EXPECT_EQ(machine.calls().size(), 6u);
  machine.console().clear();
  fn<void()>("nk_lua_show_help")();
  EXPECT_EQ(lines(), (Lines{"Embedded Version:: NorrikLua 0.2", ""}));
}

TEST_F(Console, ReadlineHandsOverThePromptFirstAndPassesItsArguments) {
  machine.console().script({"print(1)"});
  write("> ");
  nk::test::GuardedBuffer buffer(64);
  const char* prompt = "lua";
  EXPECT_TRUE(readline(buffer.data(), buffer.size(), prompt, true));
  EXPECT_EQ(buffer.str(), "print(1)");
  EXPECT_TRUE(buffer.intact());
  EXPECT_EQ(lines(), Lines{"> "});

  const auto& calls = machine.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].entry, Entry::console_write_line);
  EXPECT_EQ(calls[1].entry, Entry::console_read_line);
  EXPECT_EQ(calls[1].args[0], reinterpret_cast<uint64_t>(buffer.data()));
  EXPECT_EQ(calls[1].args[1], 64u);
  EXPECT_EQ(calls[1].args[2], reinterpret_cast<uint64_t>(prompt));
  EXPECT_EQ(calls[1].args[3], 1u);

  // Script exhausted: no line, and nothing pending to hand over first.
  EXPECT_FALSE(readline(buffer.data(), buffer.size(), "", false));
  EXPECT_EQ(lines().size(), 1u);
  EXPECT_EQ(machine.calls().back().args[3], 0u);
}

TEST_F(Console, ReadlineCapacityIsCutToThirtyTwoBits) {
  machine.console().script({"x"});
  nk::test::GuardedBuffer buffer(64);
  // The host sees 40 bytes of room: the low 32 bits of the capacity.
  EXPECT_TRUE(readline(buffer.data(), 0x100000028ull, "", false));
  EXPECT_EQ(machine.calls().back().args[1], 0x28u);
  EXPECT_EQ(buffer.str(), "x");
  EXPECT_TRUE(buffer.intact());
}

TEST_F(Console, ReadlineWithoutBufferOrHostReadsNothing) {
  machine.console().script({"a", "b"});
  write("pending");
  nk::test::GuardedBuffer buffer(8);
  EXPECT_FALSE(readline(nullptr, 8, "", false));
  EXPECT_FALSE(readline(buffer.data(), 0, "", false));
  EXPECT_TRUE(machine.calls().empty()) << "pending output stays pending";

  machine.table().disable(Entry::console_read_line);
  EXPECT_FALSE(readline(buffer.data(), buffer.size(), "", false));
  EXPECT_EQ(lines(), Lines{"pending"});
  machine.table().enable(Entry::console_read_line);
  EXPECT_TRUE(readline(buffer.data(), buffer.size(), "", false));
  EXPECT_EQ(buffer.str(), "a");
  EXPECT_TRUE(buffer.intact());
}

}  // namespace

namespace {

TEST_F(Console, ProgramSession) {
  machine.console().script({"1+1", "print('hi')"});
  EXPECT_EQ(run_guest("console_demo"), 2);
  EXPECT_EQ(lines(), (Lines{"NorrikLua Desktop For NorrikBoot",
                            "type Lua code at the NorrikBoot prompt and press Enter",
                            "type exit or press Esc on an empty prompt to leave",
                            "autoruns index.lua if it is present",
                            "use dofile(\"name.lua\") to run files from disk",
                            "",
                            "1 squared is 1, hex ff, a third 0.333333",
                            "2 squared is 4, hex 1fe, a third 0.666666",
                            "3 squared is 9, hex 2fd, a third 1.000000",
                            "text|Z|-2.500000|-1|%|?",
                            "16 0123456",
                            "half a line, then the rest",
                            "> ",
                            "echo: 1+1",
                            "> ",
                            "echo: print('hi')",
                            "> ",
                            "error: no more input",
                            "Embedded Version:: NorrikLua 0.2",
                            ""}));
}

}  // namespace
