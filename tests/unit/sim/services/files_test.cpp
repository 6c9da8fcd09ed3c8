// nkhost's file store, called through the host table exactly as the library calls it.

#include <fcntl.h>
#include <sys/file.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include "sim/machine/machine.h"
#include "sim/services/files.h"
#include "support/host_entry.h"

namespace {

namespace fs = std::filesystem;
using nk::sim::Entry;
using nk::sim::Machine;

struct FileInfo {
  uint32_t data_address, size, reserved;
};

class FileServices : public ::testing::Test {
 protected:
  Machine machine;
  fs::path root = fs::temp_directory_path() / ("nkhost_files_" + std::to_string(getpid()));
  fs::path outside = root.string() + "_outside";

  void SetUp() override {
    fs::remove_all(root);
    fs::remove_all(outside);
    fs::create_directories(root / "sub");
    fs::create_directories(outside);
    machine.files().set_root(root);
  }
  void TearDown() override {
    fs::remove_all(root);
    fs::remove_all(outside);
  }

  int32_t stat(const char* name, FileInfo* info) {
    return nk::test::host_entry<int32_t(const char*, FileInfo*)>(machine, Entry::file_stat)(name, info);
  }
  int32_t write(const char* name, const void* data, uint32_t size) {
    return nk::test::host_entry<int32_t(const char*, const void*, uint64_t)>(machine, Entry::file_write)(name, data, size);
  }
  int32_t remove(const char* name) {
    return nk::test::host_entry<int32_t(const char*)>(machine, Entry::file_delete)(name);
  }
  std::string write_quietly(const std::string& name, const std::string& text) {
    ::testing::internal::CaptureStderr();
    EXPECT_NE(write(name.c_str(), text.data(), uint32_t(text.size())), 0) << name;
    return ::testing::internal::GetCapturedStderr();
  }
  static std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  static std::string bytes_at(const FileInfo& info) {
    return std::string(reinterpret_cast<const char*>(uintptr_t(info.data_address)), info.size);
  }
  // Every entry of the store, subdirectories included.
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(root)) names.push_back(fs::relative(e.path(), root).string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(FileServices, WriteStatAndDelete) {
  EXPECT_EQ(machine.files().root(), fs::canonical(root));
  FileInfo info{};
  EXPECT_EQ(stat("script.lua", &info), 0);
  ASSERT_NE(write("script.lua", "print(1)", 8), 0);
  EXPECT_EQ(contents(root / "script.lua"), "print(1)");
  ASSERT_NE(stat("script.lua", &info), 0);
  EXPECT_EQ(info.size, 8u);
  EXPECT_EQ(bytes_at(info), "print(1)");
  FileInfo again{};
  ASSERT_NE(stat("script.lua", &again), 0);
  EXPECT_EQ(again.data_address, info.data_address);  // unchanged contents are not copied again

  // Subdirectories are names with '/'; storing makes the directories a name needs.
  ASSERT_NE(write("sub/empty", nullptr, 0), 0);
  ASSERT_NE(stat("sub/../sub/empty", &info), 0);
  EXPECT_EQ(info.size, 0u);
  ASSERT_NE(write("saves/slot1/data", "abc", 3), 0);
  EXPECT_EQ(contents(root / "saves/slot1/data"), "abc");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(write("script.lua/x", "x", 1), 0);  // a file is no directory
  EXPECT_EQ(stat("sub", &info), 0);
  EXPECT_EQ(write("sub", "x", 1), 0);
  EXPECT_EQ(write("nodata", nullptr, 5), 0);
  std::string messages = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find("file_stat(\"sub\"): it is a directory, not a file"), std::string::npos) << messages;
  EXPECT_NE(messages.find("file_write(\"nodata\"): no data for 5 bytes"), std::string::npos) << messages;

  EXPECT_NE(remove("script.lua"), 0);
  EXPECT_FALSE(fs::exists(root / "script.lua"));
  EXPECT_EQ(remove("script.lua"), 0);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(remove("sub"), 0);
  ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(fs::exists(root / "sub"));

  const auto& calls = machine.calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back().entry, Entry::file_delete);
  EXPECT_EQ(calls.back().text, "sub");
  EXPECT_EQ(calls[1].entry, Entry::file_write);
  EXPECT_EQ(calls[1].args[2], 8u);
}

// Names are looked up by the kernel (openat2) where it can, and one component at a time
// where it cannot; both ways must give the same answers.
class FileLookups : public FileServices, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    FileServices::SetUp();
    machine.files().set_kernel_lookup(GetParam());
    FileInfo info{};
    stat("sub/none", &info);
    if (GetParam() && !machine.files().kernel_lookup()) GTEST_SKIP() << "this kernel has no openat2";
  }
};
INSTANTIATE_TEST_SUITE_P(Kernel, FileLookups, ::testing::Values(true));
INSTANTIATE_TEST_SUITE_P(Walk, FileLookups, ::testing::Values(false));

TEST_P(FileLookups, NamesCannotLeaveTheStoreAndRefusalsSayWhy) {
  std::ofstream(outside / "secret") << "secret";
  fs::create_symlink(outside, root / "link_dir");
  fs::create_symlink(outside / "secret", root / "link_file");
  fs::create_symlink("../../" + outside.filename().string(), root / "sub" / "up_and_out");
  fs::create_symlink("loop_b", root / "loop_a");
  fs::create_symlink("loop_a", root / "loop_b");
  std::string absolute = (outside / "secret").string();
  std::string dotdot = "../" + outside.filename().string() + "/secret";
  std::string long_component = "sub/" + std::string(256, 'c');
  std::string long_name = std::string(2100, 'a') + "/" + std::string(2100, 'b');
  const std::pair<std::string, const char*> cases[] = {
      {absolute, "an absolute name is outside the file store"},
      {dotdot, "it leads outside the file store"},
      {"sub/../../x", "it leads outside the file store"},
      {"link_dir/secret", "a symbolic link in it leads outside the file store"},
      {"link_file", "a symbolic link in it leads outside the file store"},
      {"sub/up_and_out/secret", "a symbolic link in it leads outside the file store"},
      {"sub/up_and_out/new/x", "a symbolic link in it leads outside the file store"},
      {"loop_a", "its symbolic links form a loop"},
      {"loop_b/x", "its symbolic links form a loop"},
      {"", "the name is empty"},
      {".", "it names a directory"},
      {"sub/..", "it names a directory"},
      {long_component, "a component of the name is longer than 255 bytes"},
      {long_name, "the name is longer than 4095 bytes"},
  };
  FileInfo info{};
  for (const auto& [name, why] : cases) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(stat(name.c_str(), &info), 0) << name;
    EXPECT_EQ(write(name.c_str(), "gotcha", 6), 0) << name;
    EXPECT_EQ(remove(name.c_str()), 0) << name;
    std::string message = ::testing::internal::GetCapturedStderr();
    for (const char* service : {"file_stat", "file_write", "file_delete"})
      EXPECT_NE(message.find(std::string(service) + "(\"" + name.substr(0, 200)), std::string::npos) << message;
    EXPECT_NE(message.find(std::string("name refused: ") + why), std::string::npos) << name << ": " << message;
  }
  EXPECT_EQ(contents(outside / "secret"), "secret");
  EXPECT_EQ(fs::directory_iterator(outside)->path().filename(), "secret");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(stat(nullptr, &info), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "nkhost: file_stat(null): name refused: no name\n");

  // A name cannot move the cursor or forge a line of its own: control bytes are escaped.
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(stat("\x1b[2J\nnkhost: all is well\x7f\xc2\x9b\"\\\xff/..", &info), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "nkhost: file_stat(\"\\x1B[2J\\nnkhost: all is well\\x7F\\xC2\\x9B\\\"\\\\\\xFF/..\"): "
            "name refused: it names a directory\n");
  ASSERT_NE(write("caf\xc3\xa9", "x", 1), 0);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(write("caf\xc3\xa9/x", "x", 1), 0);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("(\"caf\xc3\xa9/x\")"), std::string::npos);
}

// On a kernel without openat2 (here: one whose filter answers ENOSYS), the walk takes over
// by itself, with the same answers.
TEST_F(FileServices, WithoutOpenat2NamesAreWalked) {
  std::ofstream(root / "sub" / "f") << "f";
  fs::create_symlink(outside, root / "link_dir");
  auto without_openat2 = [&] {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat2, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{sizeof filter / sizeof filter[0], filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
      _exit(2);
    FileInfo info{};
    bool found = stat("sub/f", &info) == 1 && bytes_at(info) == "f";
    bool walked = !machine.files().kernel_lookup();
    bool refused = stat("link_dir/x", &info) == 0 && write("link_dir/x", "x", 1) == 0;
    bool stored = write("sub/new/g", "g", 1) == 1;
    _exit(found && walked && refused && stored ? 0 : 1);
  };
  EXPECT_EXIT(without_openat2(), ::testing::ExitedWithCode(0), "leads outside the file store");
  EXPECT_TRUE(fs::is_empty(outside));
  EXPECT_EQ(contents(root / "sub/new/g"), "g");
}

// Links that stay in the store lead where they point, however they are spelt; a link's ".."
// is the folder above where the link itself is.
TEST_P(FileLookups, LinksInsideTheStoreAreFollowed) {
  std::ofstream(root / "f") << "content";
  fs::create_directories(root / "sub" / "deep");
  fs::create_symlink("../../f", root / "sub" / "deep" / "up");
  fs::create_symlink(root / "f", root / "absolute");
  fs::create_symlink("../" + root.filename().string() + "/f", root / "out_and_back");
  fs::create_symlink("sub/deep", root / "folder");
  fs::create_symlink("folder/up", root / "chain");
  fs::create_symlink("sub/made", root / "dangling");
  FileInfo info{};
  for (const char* name : {"sub/deep/up", "absolute", "out_and_back", "chain", "folder/up", "folder/../f"}) {
    ASSERT_EQ(stat(name, &info), 1) << name;
    EXPECT_EQ(bytes_at(info), "content") << name;
  }
  ASSERT_EQ(write("folder/new", "n", 1), 1);
  EXPECT_EQ(contents(root / "sub/deep/new"), "n");
  ASSERT_EQ(write("dangling", "d", 1), 1);  // the link stays; the file it names appears
  EXPECT_TRUE(fs::is_symlink(root / "dangling"));
  EXPECT_EQ(contents(root / "sub/made"), "d");
  ASSERT_EQ(write("chain", "rewritten", 9), 1);
  EXPECT_TRUE(fs::is_symlink(root / "chain"));
  EXPECT_EQ(contents(root / "f"), "rewritten");
  ASSERT_EQ(write("folder/made/deeper/x", "x", 1), 1);  // folders are made where the link leads
  EXPECT_EQ(contents(root / "sub/deep/made/deeper/x"), "x");

  // Removing a link removes the link, never the file it leads to.
  EXPECT_EQ(remove("absolute"), 1);
  EXPECT_FALSE(fs::exists(fs::symlink_status(root / "absolute")));
  EXPECT_EQ(contents(root / "f"), "rewritten");
  EXPECT_EQ(remove("folder/up"), 1);
  EXPECT_FALSE(fs::exists(fs::symlink_status(root / "sub/deep/up")));
  EXPECT_EQ(contents(root / "f"), "rewritten");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(stat("folder", &info), 0);
  EXPECT_EQ(remove("folder"), 0);
  std::string messages = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find("file_stat(\"folder\"): it is a directory, not a file"), std::string::npos) << messages;
  EXPECT_NE(messages.find("file_delete(\"folder\"): it is a directory, not a file; not deleted"), std::string::npos);
  EXPECT_TRUE(fs::is_symlink(root / "folder"));
}

// A store interrupted after the new content is written but before it replaces the old one
// (a crash, a full disk, a failing rename) leaves the old content, and nothing else.
TEST_F(FileServices, AStoreIsAllOrNothing) {
  ASSERT_NE(write("data.bin", "original", 8), 0);
  auto only_data = std::vector<std::string>{"data.bin", "sub"};

  // The program's buffer ends in unreadable memory.
  long page = sysconf(_SC_PAGESIZE);
  void* pages = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(pages, MAP_FAILED);
  std::memset(pages, 'n', page);
  mprotect(static_cast<char*>(pages) + page, page, PROT_NONE);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(write("data.bin", pages, static_cast<uint32_t>(2 * page)), 0);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("file_write(\"data.bin\"): not stored: Bad address"),
            std::string::npos);
  munmap(pages, 2 * page);

  // The disk fills up (the file size limit stands in for it).
  rlimit old_limit;
  getrlimit(RLIMIT_FSIZE, &old_limit);
  auto old_handler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = old_limit;
  small.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &small);
  std::string big(10000, 'b');
  ::testing::internal::CaptureStderr();
  int32_t stored = write("data.bin", big.data(), uint32_t(big.size()));
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);
  EXPECT_EQ(stored, 0);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("not stored: File too large"), std::string::npos);
  EXPECT_EQ(contents(root / "data.bin"), "original");
  EXPECT_EQ(listing(), only_data);

  // A store that does succeed keeps the file's permissions.
  fs::permissions(root / "data.bin", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_NE(write("data.bin", "new", 3), 0);
  EXPECT_EQ(contents(root / "data.bin"), "new");
  EXPECT_EQ(fs::status(root / "data.bin").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(listing(), only_data);
}

// A temporary file is nkhost's alone: no program can name it, and one that a killed nkhost
// left is removed by the next to open the store, unless its writer may still be alive.
TEST_F(FileServices, TemporaryFilesAreNotTheProgramsAndDoNotOutliveTheirWriter) {
  ASSERT_NE(write("data.bin", "original", 8), 0);
  machine.files().set_before_replace([] { _exit(3); });
  EXPECT_EXIT(write("data.bin", "replacement", 11), ::testing::ExitedWithCode(3), "");
  machine.files().set_before_replace({});
  EXPECT_EQ(contents(root / "data.bin"), "original");
  auto names = listing();
  ASSERT_EQ(names.size(), 3u);
  std::string killed = names[0];  // the dead writer's, named before it could be renamed
  ASSERT_TRUE(killed.starts_with(".nkhost-")) << killed;

  pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  std::string dead = ".nkhost-" + std::to_string(gone) + "-7";
  std::string claimed = ".nkhost-" + std::to_string(gone) + "-8";  // a writer in another PID namespace
  std::string alive = ".nkhost-" + std::to_string(getpid()) + "-99999";
  for (const auto& name : {dead, claimed, alive, std::string(".nkhost-notes")}) std::ofstream(root / name) << "x";
  int claim = open((root / claimed).c_str(), O_RDONLY);
  ASSERT_EQ(flock(claim, LOCK_EX), 0);

  FileInfo info{};
  for (const std::string& name : {killed, "sub/../" + dead, "./" + alive}) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(stat(name.c_str(), &info), 0);
    EXPECT_EQ(write(name.c_str(), "x", 1), 0);
    EXPECT_EQ(remove(name.c_str()), 0);
    std::string messages = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find("name refused: names that begin with .nkhost- are nkhost's own"), std::string::npos)
        << messages;
  }
  EXPECT_EQ(contents(root / alive), "x");

  nk::sim::FileStore next(machine.memory());
  next.set_root(root);
  ASSERT_EQ(next.stat("data.bin", &info), 1);
  std::vector<std::string> expected{claimed, alive, ".nkhost-notes", "data.bin", "sub"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listing(), expected);
  close(claim);
}

// A read-only stream reads the bytes file_stat handed out for as long as it is open, so they
// survive rewriting and deleting the file; the store holds only the program's files.
TEST_F(FileServices, HandedOutBytesOutliveTheFile) {
  ASSERT_NE(write("notes.txt", "first", 5), 0);
  FileInfo first{};
  ASSERT_NE(stat("notes.txt", &first), 0);
  ASSERT_NE(write("notes.txt", "second version", 14), 0);
  EXPECT_EQ(bytes_at(first), "first");
  FileInfo second{};
  ASSERT_NE(stat("notes.txt", &second), 0);
  EXPECT_EQ(bytes_at(second), "second version");
  ASSERT_NE(remove("notes.txt"), 0);
  EXPECT_EQ(bytes_at(first), "first");
  EXPECT_EQ(bytes_at(second), "second version");
  EXPECT_EQ(listing(), std::vector<std::string>{"sub"});
  EXPECT_EQ(machine.files().kept_bytes(), 19u);

  // The program frees nothing of them: they are nkhost's.
  ::testing::internal::CaptureStderr();
  machine.memory().service_free(reinterpret_cast<void*>(uintptr_t(first.data_address)));
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("belong to nkhost; ignored"), std::string::npos);
  EXPECT_EQ(bytes_at(first), "first");
}

// Past the limit, copies that no block of the program points at are released; one a stream
// still points at is kept, and when even that is not enough, file_stat refuses.
TEST_F(FileServices, KeptCopiesAreBounded) {
  machine.files().set_kept_limit(3000);
  std::string a(1000, 'a'), b(1000, 'b'), c(1000, 'c'), d(2500, 'd');
  FileInfo held{}, info{};
  write_quietly("f", a);
  ASSERT_NE(stat("f", &held), 0);
  auto* stream = static_cast<uint64_t*>(machine.memory().service_allocate(64));
  stream[3] = held.data_address;  // where a stream record keeps it
  write_quietly("f", b);
  ASSERT_NE(stat("f", &info), 0);
  write_quietly("g", c);
  ASSERT_NE(stat("g", &info), 0);
  EXPECT_EQ(machine.files().kept_bytes(), 3000u);
  write_quietly("g", std::string(1000, 'e'));
  ASSERT_NE(stat("g", &info), 0);  // b and c go, a stays
  EXPECT_EQ(machine.files().kept_bytes(), 2000u);
  EXPECT_EQ(bytes_at(held), a);
  write_quietly("h", d);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(stat("h", &info), 0);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("no room for 2500 bytes more"), std::string::npos);
  EXPECT_EQ(bytes_at(held), a);
  machine.memory().service_free(stream);
  EXPECT_NE(stat("h", &info), 0);
  EXPECT_EQ(bytes_at(info), d);
}

// A FIFO, a socket or a file of 4 GiB is refused at once, before anything is opened or read.
TEST_F(FileServices, OnlyRegularFilesOfUnder4GiB) {
  ASSERT_EQ(mkfifo((root / "pipe").c_str(), 0600), 0);
  {
    std::ofstream huge(root / "huge");
  }
  ASSERT_EQ(truncate((root / "huge").c_str(), off_t(1) << 32), 0);  // sparse: no disk used
  FileInfo info{};
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(stat("pipe", &info), 0);
  EXPECT_EQ(write("pipe", "x", 1), 0);
  EXPECT_EQ(remove("pipe"), 0);
  EXPECT_EQ(stat("huge", &info), 0);
  std::string messages = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find("file_stat(\"pipe\"): it is a FIFO, not a file"), std::string::npos) << messages;
  EXPECT_NE(messages.find("file_write(\"pipe\"): not stored: it is a FIFO, not a file"), std::string::npos);
  EXPECT_NE(messages.find("file_delete(\"pipe\"): it is a FIFO, not a file; not deleted"), std::string::npos);
  EXPECT_NE(messages.find("file_stat(\"huge\"): it is 4 GiB or larger"), std::string::npos) << messages;
  EXPECT_TRUE(fs::is_fifo(root / "pipe"));
  EXPECT_EQ(machine.files().kept_bytes(), 0u);
}

}  // namespace
