#pragma once
// What the fuzz targets share. A broken property is a finding like a crash: the message goes
// to standard output (scripts/fuzz closes the targets' standard error, where nkhost's
// refusals would flood the log) and abort() makes libFuzzer save the input.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace nk::fuzz {

[[noreturn]] inline void finding(const std::string& what) {
  printf("fuzz finding: %s\n", what.c_str());
  fflush(stdout);
  abort();
}

inline void require(bool holds, const char* what) {
  if (!holds) finding(what);
}

// A fresh folder for a target's files, removed when the fuzzer ends; on a memory file system
// when there is one, because the store flushes every file it writes.
class ScratchFolder {
 public:
  explicit ScratchFolder(const char* target) {
    namespace fs = std::filesystem;
    std::string base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
    std::string pattern = base + "/nk_fuzz_" + target + "_XXXXXX";
    if (!mkdtemp(pattern.data())) finding("cannot make a scratch folder under " + base);
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace nk::fuzz
