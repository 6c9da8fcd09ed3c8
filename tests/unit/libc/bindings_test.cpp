// Which name comes from where in a program with the C library: the functions the library
// keeps are bound to OrvaneWindow.dylib, and none of those newlib supplies (the list in
// libc/names_from_newlib.txt) is, whatever the program calls.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "support/command_output.h"
#include "support/library_test.h"

using nk::test::command_output;

namespace {

std::set<std::string> names_from_newlib() {
  std::set<std::string> names;
  std::ifstream in(std::string(NK_SOURCE_DIR) + "/libc/names_from_newlib.txt");
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') names.insert("_" + line);
  return names;
}

// dylib name and symbol of every bind and lazy-bind entry.
std::set<std::pair<std::string, std::string>> bindings(const std::string& program) {
  std::set<std::pair<std::string, std::string>> bound;
  std::istringstream lines(command_output(std::string(NK_LLVM_OBJDUMP) + " --macho --bind --lazy-bind " + program));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::vector<std::string> fields;
    for (std::string word; words >> word;) fields.push_back(word);
    // __DATA_CONST __got 0x... pointer 0 OrvaneWindow _memcpy, or, lazily, without type and addend
    if (fields.size() >= 5 && fields[2].rfind("0x", 0) == 0)
      bound.insert({fields[fields.size() - 2], fields.back()});
  }
  return bound;
}

TEST(CLibraryBindings, NarrowLibraryFunctionsAreNeverBound) {
  std::string program = nk::test::guest_path("libc_bindings").string();
  auto bound = bindings(program);
  auto narrow = names_from_newlib();
  ASSERT_EQ(narrow.size(), 54u);
  ASSERT_FALSE(bound.empty());
  std::set<std::string> bound_names;
  for (const auto& [dylib, symbol] : bound) {
    if (symbol == "dyld_stub_binder") continue;  // named by every program, never called
    EXPECT_EQ(dylib, "OrvaneWindow") << symbol;
    EXPECT_EQ(narrow.count(symbol), 0u) << symbol << " is bound to the library";
    bound_names.insert(symbol);
  }
  for (const char* kept : {"_memcpy", "_memmove", "_memset", "_bzero", "_strlen", "_strcmp",
                           "_strdup", "_malloc", "_free", "_realloc", "_setjmp", "_longjmp",
                           "_abort", "_clock"})
    EXPECT_EQ(bound_names.count(kept), 1u) << kept << " is not bound to the library";
  // The program carries newlib's definitions of the others.
  std::string defined = command_output(std::string(NK_LLVM_NM) + " --defined-only --just-symbol-name " + program);
  std::set<std::string> defined_names;
  std::istringstream lines(defined);
  for (std::string name; std::getline(lines, name);) defined_names.insert(name);
  for (const auto& name : narrow) EXPECT_EQ(defined_names.count(name), 1u) << name << " is not in the program";
}

}  // namespace
