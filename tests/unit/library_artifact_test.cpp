// The shipped file itself, read with LLVM's tools rather than our own loader: its kind,
// install name, exported set, imports and initialisers.

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

std::set<std::string> lines_of(std::istream& in, bool skip_comments) {
  std::set<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && !(skip_comments && line[0] == '#')) lines.insert(line);
  return lines;
}

std::string library() { return nk::test::library_path().string(); }

TEST(LibraryArtifact, IsAnX86_64DylibWithTheInstallName) {
  std::string header = command_output(std::string(NK_LLVM_OBJDUMP) + " --macho --private-header " + library());
  EXPECT_NE(header.find("X86_64"), std::string::npos) << header;
  EXPECT_NE(header.find("DYLIB"), std::string::npos) << header;
  std::string id = command_output(std::string(NK_LLVM_OBJDUMP) + " --macho --dylib-id " + library());
  EXPECT_NE(id.find("\n/lib/OrvaneWindow.dylib\n"), std::string::npos) << id;
}

TEST(LibraryArtifact, ExportsExactlyThePublicInterface) {
  std::ifstream listed(std::string(NK_SOURCE_DIR) + "/tests/exports.txt");
  std::set<std::string> expected;
  for (const auto& name : lines_of(listed, true)) expected.insert("_" + name);
  std::istringstream nm(command_output(std::string(NK_LLVM_NM) + " -gU --just-symbol-name " + library()));
  std::set<std::string> exported = lines_of(nm, false);
  for (const auto& name : expected) EXPECT_TRUE(exported.count(name)) << "not exported: " << name;
  for (const auto& name : exported) EXPECT_TRUE(expected.count(name)) << "exported but not public: " << name;
}

TEST(LibraryArtifact, HasNoImportsAndNoStaticInitialisers) {
  EXPECT_EQ(command_output(std::string(NK_LLVM_NM) + " -u " + library()), "");
  std::string sections = command_output(std::string(NK_LLVM_OBJDUMP) + " --macho --section-headers " + library());
  EXPECT_NE(sections.find("__text"), std::string::npos) << sections;
  EXPECT_EQ(sections.find("__mod_init_func"), std::string::npos) << sections;
  EXPECT_EQ(sections.find("__init_offsets"), std::string::npos) << sections;
}

}  // namespace
