// The shipped file itself, read with LLVM's tools rather than our own loader: its kind,
// install name, exported set, imports and initialisers.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "support/library_test.h"

namespace {

std::string run(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char chunk[4096];
  while (size_t n = fread(chunk, 1, sizeof chunk, pipe)) out.append(chunk, n);
  pclose(pipe);
  return out;
}

std::set<std::string> lines_of(std::istream& in, bool skip_comments) {
  std::set<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && !(skip_comments && line[0] == '#')) lines.insert(line);
  return lines;
}

std::string library() { return nk::test::library_path().string(); }

TEST(LibraryArtifact, IsAnX86_64DylibWithTheInstallName) {
  std::string header = run(std::string(NK_LLVM_OBJDUMP) + " --macho --private-header " + library());
  EXPECT_NE(header.find("X86_64"), std::string::npos) << header;
  EXPECT_NE(header.find("DYLIB"), std::string::npos) << header;
  std::string id = run(std::string(NK_LLVM_OBJDUMP) + " --macho --dylib-id " + library());
  EXPECT_NE(id.find("\n/lib/OrvaneWindow.dylib\n"), std::string::npos) << id;
}

TEST(LibraryArtifact, ExportsExactlyThePublicInterface) {
  std::ifstream listed(std::string(NK_SOURCE_DIR) + "/tests/exports.txt");
  std::set<std::string> expected;
  for (const auto& name : lines_of(listed, true)) expected.insert("_" + name);
  std::istringstream nm(run(std::string(NK_LLVM_NM) + " -gU --just-symbol-name " + library()));
  std::set<std::string> exported = lines_of(nm, false);
  for (const auto& name : expected) EXPECT_TRUE(exported.count(name)) << "not exported: " << name;
  for (const auto& name : exported) EXPECT_TRUE(expected.count(name)) << "exported but not public: " << name;
}

TEST(LibraryArtifact, HasNoImportsAndNoStaticInitialisers) {
  EXPECT_EQ(run(std::string(NK_LLVM_NM) + " -u " + library()), "");
  std::string sections = run(std::string(NK_LLVM_OBJDUMP) + " --macho --section-headers " + library());
  EXPECT_NE(sections.find("__text"), std::string::npos) << sections;
  EXPECT_EQ(sections.find("__mod_init_func"), std::string::npos) << sections;
  EXPECT_EQ(sections.find("__init_offsets"), std::string::npos) << sections;
}

}  // namespace
