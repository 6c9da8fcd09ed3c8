// The store under attack: while another process swaps a folder of the store with a link to
// a folder outside it, over and over, a program stores, streams and reads files in that
// folder. Nothing outside may be read or created, and no temporary file may be left.

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "support/library_test.h"
#include "support/nkhost_process.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kInside = "inside secret";
constexpr std::string_view kOutside = "outside secret";
constexpr auto kAttack = std::chrono::milliseconds(1500);

// A child process that exchanges two names as fast as it can until it is destroyed.
class Swapper {
 public:
  Swapper(const fs::path& a, const fs::path& b) {
    swaps_ = static_cast<std::atomic<long>*>(
        mmap(nullptr, sizeof(std::atomic<long>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    new (swaps_) std::atomic<long>(0);
    pid_ = fork();
    if (pid_ == 0) {
      for (;;)
        if (syscall(SYS_renameat2, AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) ++*swaps_;
    }
  }
  ~Swapper() {
    stop();
    munmap(swaps_, sizeof *swaps_);
  }
  void stop() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  long swaps() const { return *swaps_; }

 private:
  pid_t pid_ = -1;
  std::atomic<long>* swaps_;
};

struct Tally {
  long rounds = 0, reads = 0, foreign = 0;
};

class StoreRace : public nk::test::LibraryTest {
 protected:
  fs::path base, store, outside;

  StoreRace() {
    std::string pattern = (fs::temp_directory_path() / "nk_race_XXXXXX").string();
    base = mkdtemp(pattern.data());
    store = base / "store";
    outside = base / "outside";
    fs::create_directories(store / "d");
    fs::create_directories(store / "e");
    fs::create_directories(outside);
    std::ofstream(store / "d" / "secret") << kInside;
    std::ofstream(store / "e" / "secret") << kInside;
    std::ofstream(outside / "secret") << kOutside;
    fs::create_symlink("../outside", store / "l");
    fs::create_symlink("../../outside/secret", store / "e" / "s");
    machine.files().set_root(store);
  }
  ~StoreRace() override { fs::remove_all(base); }

  void put_back(const char* name) {
    fs::path swapped = store / name, link = swapped.parent_path() / (swapped.filename() == "d" ? "l" : "s");
    if (fs::is_symlink(swapped))
      syscall(SYS_renameat2, AT_FDCWD, swapped.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE);
  }

  // The attack is over: the folder is put back, and nothing may have changed outside and
  // no temporary file may be left anywhere. Says what it found.
  std::string expect_nothing_escaped(Swapper& swapper) {
    swapper.stop();
    EXPECT_GT(swapper.swaps(), 0);
    for (const char* name : {"d", "e/secret"}) put_back(name);
    long created = 0, temporaries = 0;
    for (const auto& entry : fs::directory_iterator(outside)) {
      created += entry.path().filename() != "secret";
      temporaries += entry.path().filename().string().starts_with(".nkhost-");
    }
    for (const auto& entry : fs::recursive_directory_iterator(store))
      temporaries += entry.path().filename().string().starts_with(".nkhost-");
    EXPECT_EQ(created, 0);
    EXPECT_EQ(temporaries, 0);
    EXPECT_EQ(nk::test::slurp(outside / "secret"), kOutside);
    return std::to_string(created) + " files created outside, " + std::to_string(temporaries) +
           " temporary files left, " + std::to_string(swapper.swaps()) + " swaps";
  }
};

// Both ways of looking names up: the kernel's (openat2) and the walk.
class StoreRaceLookups : public StoreRace, public ::testing::WithParamInterface<bool> {};
INSTANTIATE_TEST_SUITE_P(Kernel, StoreRaceLookups, ::testing::Values(true));
INSTANTIATE_TEST_SUITE_P(Walk, StoreRaceLookups, ::testing::Values(false));

TEST_P(StoreRaceLookups, ALibraryProgramNeitherReadsNorCreatesOutside) {
  machine.files().set_kernel_lookup(GetParam());
  auto write_file = fn<bool(const char*, const void*, uint64_t)>("nkfs_write_entire_file");
  auto read_file = fn<bool(const char*, void**, uint64_t*)>("nkfs_read_entire_file");
  auto open = fn<void*(const char*, const char*)>("nkfs_fopen");
  auto write = fn<size_t(const void*, size_t, size_t, void*)>("nkfs_fwrite");
  auto read = fn<size_t(void*, size_t, size_t, void*)>("nkfs_fread");
  auto close = fn<int(void*)>("nkfs_fclose");
  auto release = fn<void(void*)>("free");

  Tally tally;
  auto read_both_ways = [&](const char* name) {
    void* data;
    uint64_t size;
    if (read_file(name, &data, &size)) {
      ++tally.reads;
      tally.foreign += std::string_view(static_cast<char*>(data), size) != kInside;
      release(data);
    }
    if (void* stream = open(name, "r")) {
      char buffer[64];
      size_t got = read(buffer, 1, sizeof buffer, stream);
      close(stream);
      ++tally.reads;
      tally.foreign += std::string_view(buffer, got) != kInside;
    }
  };
  // A folder swapped for a link to outside, and a file swapped for a link to one.
  Swapper swapper(store / "d", store / "l");
  Swapper file_swapper(store / "e" / "secret", store / "e" / "s");
  ::testing::internal::CaptureStderr();  // every refusal says why; thousands of lines
  for (auto end = Clock::now() + kAttack; Clock::now() < end; ++tally.rounds) {
    write_file("d/x", "whole", 5);
    if (void* y = open("d/y", "w")) {
      write("streamed", 1, 8, y);
      close(y);
    }
    read_both_ways("d/secret");
    read_both_ways("e/secret");
  }
  file_swapper.stop();
  ::testing::internal::GetCapturedStderr();
  std::string found = expect_nothing_escaped(swapper);
  printf("[ race ] %s: %ld operations (6 a round), %ld reads done, %ld of them not the store's secret; %s\n",
         GetParam() ? "kernel lookup" : "walk", tally.rounds * 6, tally.reads, tally.foreign, found.c_str());
  if (GetParam() && !machine.files().kernel_lookup()) printf("[ race ] this kernel has no openat2\n");
  EXPECT_GT(tally.reads, 0);
  EXPECT_EQ(tally.foreign, 0);
}

TEST_F(StoreRace, AProgramUnderNkhostNeitherReadsNorCreatesOutside) {
  Swapper swapper(store / "d", store / "l");
  nk::test::NkhostProcess run(base, "store_race", {"--files", store.string()});
  std::this_thread::sleep_for(kAttack);
  std::ofstream(store / "stop") << "";
  ASSERT_EQ(run.wait(), 0) << run.err();
  std::string found = expect_nothing_escaped(swapper);
  long rounds = 0, reads = 0, foreign = -1;
  ASSERT_EQ(sscanf(run.out().c_str(), "rounds %ld reads %ld foreign %ld", &rounds, &reads, &foreign), 3)
      << run.out();
  printf("[ race ] under nkhost: %ld operations (4 a round), %ld reads done, %ld of them not the store's secret; %s\n",
         rounds * 4, reads, foreign, found.c_str());
  EXPECT_GT(reads, 0);
  EXPECT_EQ(foreign, 0);
}

}  // namespace
