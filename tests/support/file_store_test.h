#pragma once
// Library tests whose machine keeps its files in a fresh temporary directory.

#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "support/library_test.h"

namespace nk::test {

class FileStoreTest : public LibraryTest {
 protected:
  FileStoreTest() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nk_files_XXXXXX").string();
    root = mkdtemp(pattern.data());
    machine.files().set_root(root);
  }
  ~FileStoreTest() override { std::filesystem::remove_all(root); }

  void put(const std::string& name, const std::string& bytes) {
    std::ofstream(root / name, std::ios::binary) << bytes;
  }
  std::string get(const std::string& name) {
    std::ifstream in(root / name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  bool exists(const std::string& name) { return std::filesystem::exists(root / name); }
  size_t host_calls(sim::Entry entry) {
    size_t count = 0;
    for (const auto& call : machine.calls()) count += call.entry == entry;
    return count;
  }

  std::filesystem::path root;
};

}  // namespace nk::test
