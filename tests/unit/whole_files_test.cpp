// Whole-file operations, renaming by copy and delete, and a guest program that keeps its
// files with the host.

#include <cstdint>

#include "support/file_store_test.h"

namespace {

using nk::sim::Entry;
using Lines = std::vector<std::string>;

class WholeFiles : public nk::test::FileStoreTest {
 protected:
  int& error_number = *lib.data<int>("nk_errno");
  bool (*read_file)(const char*, void**, uint64_t*) = fn<bool(const char*, void**, uint64_t*)>("nkfs_read_entire_file");
  bool (*write_file)(const char*, const void*, uint64_t) = fn<bool(const char*, const void*, uint64_t)>("nkfs_write_entire_file");
  int (*remove_file)(const char*) = fn<int(const char*)>("nkfs_remove");
  int (*rename_file)(const char*, const char*) = fn<int(const char*, const char*)>("nkfs_rename");
  void (*release)(void*) = fn<void(void*)>("free");
};

TEST_F(WholeFiles, ReadGivesExactlyTheBytesInABlockOfItsOwn) {
  put("five", "12345");
  put("empty", "");
  void* data = nullptr;
  uint64_t size = 99;
  ASSERT_TRUE(read_file("five", &data, &size));
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(std::string(static_cast<char*>(data), 5), "12345");
  release(data);
  ASSERT_TRUE(read_file("empty", &data, &size));
  EXPECT_EQ(size, 0u);
  EXPECT_NE(data, nullptr);
  release(data);
  EXPECT_EQ(machine.memory().counters().live_blocks, 0u);

  void* untouched = &size;
  EXPECT_FALSE(read_file("missing", &untouched, &size));
  EXPECT_FALSE(read_file("five", nullptr, &size));
  EXPECT_FALSE(read_file(nullptr, &untouched, &size));
  machine.memory().fail_nth(1);
  EXPECT_FALSE(read_file("five", &untouched, &size));
  EXPECT_EQ(untouched, &size);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(error_number, 0);
}

TEST_F(WholeFiles, WriteCreatesOrReplacesAndNeverStoresAPart) {
  std::filesystem::create_directories(root / "sub");
  EXPECT_TRUE(write_file("sub/new", "abc", 3));
  EXPECT_EQ(get("sub/new"), "abc");
  EXPECT_TRUE(write_file("sub/new", nullptr, 0));
  EXPECT_EQ(get("sub/new"), "");

  machine.clear_calls();
  EXPECT_FALSE(write_file("x", nullptr, 1));
  EXPECT_FALSE(write_file(nullptr, "a", 1));
  // 4 GiB or more cannot be described to the host; the low 32 bits (here 1 byte) would
  // store a different file.
  EXPECT_FALSE(write_file("x", "a", (uint64_t{1} << 32) + 1));
  EXPECT_TRUE(machine.calls().empty());
  machine.table().disable(Entry::file_write);
  EXPECT_FALSE(write_file("x", "a", 1));
  EXPECT_FALSE(exists("x"));
  EXPECT_EQ(error_number, 0);
}

TEST_F(WholeFiles, RemoveAndRename) {
  EXPECT_EQ(remove_file("missing"), -1);
  EXPECT_EQ(error_number, 5);
  EXPECT_EQ(remove_file(nullptr), -1);
  EXPECT_EQ(error_number, 22);

  put("old", "data");
  put("taken", "other");
  EXPECT_EQ(rename_file("old", "taken"), 0);
  EXPECT_FALSE(exists("old"));
  EXPECT_EQ(get("taken"), "data");
  EXPECT_EQ(remove_file("taken"), 0);
  EXPECT_FALSE(exists("taken"));

  put("keep", "mine");
  EXPECT_EQ(rename_file("missing", "keep"), -1);
  EXPECT_EQ(error_number, 2);
  EXPECT_EQ(get("keep"), "mine");

  // A file renamed to its own name stays where it is.
  machine.clear_calls();
  EXPECT_EQ(rename_file("keep", "keep"), 0);
  EXPECT_EQ(get("keep"), "mine");
  EXPECT_EQ(host_calls(Entry::file_write) + host_calls(Entry::file_delete), 0u);

  error_number = 0;
  EXPECT_EQ(rename_file(nullptr, "keep"), -1);
  EXPECT_EQ(error_number, 22);

  // The copy cannot be stored: the old file stays.
  machine.table().disable(Entry::file_write);
  EXPECT_EQ(rename_file("keep", "new"), -1);
  EXPECT_EQ(error_number, 5);
  EXPECT_EQ(get("keep"), "mine");
  EXPECT_FALSE(exists("new"));
  // The old name cannot be deleted: both exist.
  machine.table().enable(Entry::file_write);
  machine.table().disable(Entry::file_delete);
  error_number = 0;
  EXPECT_EQ(rename_file("keep", "new"), -1);
  EXPECT_EQ(error_number, 5);
  EXPECT_EQ(get("new"), "mine");
  EXPECT_TRUE(exists("keep"));
}

// Two names of one file (spelt differently, a link to it, a second hard link): renaming
// one to the other leaves the file where it is, instead of deleting what was just copied.
TEST_F(WholeFiles, RenamingBetweenNamesOfOneFileKeepsIt) {
  put("f", "data");
  std::filesystem::create_directories(root / "sub");
  std::filesystem::create_symlink("f", root / "in");
  std::filesystem::create_hard_link(root / "f", root / "hard");
  const std::pair<const char*, const char*> renames[] = {
      {"f", "./f"}, {"f", "sub/../f"}, {"f", ".//f"}, {"in", "f"}, {"f", "in"}, {"f", "hard"}, {"hard", "./f"}};
  for (const auto& [from, to] : renames) {
    EXPECT_EQ(rename_file(from, to), 0) << from << " -> " << to;
    EXPECT_EQ(get("f"), "data") << from << " -> " << to;
    EXPECT_TRUE(std::filesystem::is_symlink(root / "in"));
    EXPECT_EQ(get("hard"), "data");
  }
  // Removing the link removes only the link; the file and its other names stay, and are
  // removed and renamed as ever.
  EXPECT_EQ(remove_file("in"), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(root / "in")));
  EXPECT_EQ(get("f"), "data");
  EXPECT_EQ(rename_file("f", "g"), 0);
  EXPECT_FALSE(exists("f"));
  EXPECT_EQ(get("g"), "data");
  EXPECT_EQ(remove_file("hard"), 0);
  EXPECT_FALSE(exists("hard"));
}

TEST_F(WholeFiles, ImageAndVirtualFileFunctionsAreFixed) {
  machine.clear_calls();
  error_number = 0;
  EXPECT_TRUE(fn<bool()>("nkfs_is_mounted")());
  EXPECT_EQ(fn<int(const void*, size_t)>("nkfs_mount_image")("image", 5), 0);
  EXPECT_EQ(fn<size_t()>("nkfs_image_size")(), 0u);
  EXPECT_EQ(fn<const void*()>("nkfs_image_data")(), nullptr);
  EXPECT_EQ(fn<int(const char*, const void*, size_t)>("nkfs_register_virtual_file")("v", "x", 1), 0);
  EXPECT_EQ(fn<int(const char*)>("nkfs_export_image")("out"), 0);
  fn<void()>("nkfs_clear_virtual_files")();
  fn<void()>("nkfs_unmount")();
  EXPECT_TRUE(fn<bool()>("nkfs_is_mounted")());
  EXPECT_TRUE(machine.calls().empty());
  EXPECT_EQ(error_number, 0);
}

TEST_F(WholeFiles, GuestKeepsItsFilesWithTheHost) {
  put("notes.txt", "first\n");
  EXPECT_EQ(run_guest("files_demo"), 0);
  EXPECT_EQ(machine.console().lines(),
            (Lines{"read notes.txt: first|second|third|", "log.txt has 2 lines, 12 bytes",
                   "renamed: old name gone, new name 12 bytes", "removed: moved.txt gone",
                   "missing.txt: no such file", "gap: 4 zero bytes then 'end'", "done"}));
  EXPECT_FALSE(exists("moved.txt"));
  EXPECT_FALSE(exists("log.txt"));
  EXPECT_EQ(get("notes.txt"), "first\nsecond\nthird\n");
  EXPECT_EQ(get("gap.bin"), std::string(4, '\0') + "end");
  EXPECT_EQ(machine.memory().counters().live_blocks, 0u);
}

}  // namespace
